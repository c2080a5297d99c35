// Placeholder so that the program links while the single-instance lock is being built.
#include "app/SingleInstance.h"

#include <QLockFile>

namespace Commands {
SingleInstance::SingleInstance(const QString&, const QString&) { m_first = true; }
SingleInstance::~SingleInstance() = default;
bool SingleInstance::isFirst() const { return m_first; }
} // namespace Commands
