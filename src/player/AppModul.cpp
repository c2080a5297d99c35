// Placeholder so that the program links while start-up is being built.
#include "player/AppModul.h"

#include <QApplication>

namespace AppModul {
int Main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return 0;
}
} // namespace AppModul
