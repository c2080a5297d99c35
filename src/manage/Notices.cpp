// Placeholder so that the program links while the filter and notices are being built.
#include "manage/Notices.h"

namespace Commands {
void FilterNameKey(qint16&) { }
void ShowNotice(QWidget*, const QString&, qint16, const QString&) { }
} // namespace Commands
