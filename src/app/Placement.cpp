#include "app/Placement.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace Commands {

namespace {

// Nearest integer, halves to the even neighbour.
int roundHalfEven(double v)
{
    return int(std::nearbyint(v));
}

} // namespace

QPoint PlacementFor(QSize screen, QSize window)
{
    const int H = roundHalfEven(screen.height() * 0.85);
    // Integer division in C++ truncates toward zero, as the rule asks.
    int top = H / 2 - window.height() / 2;
    int left = screen.width() / 2 - window.width() / 2;
    if (top < 0)
        top = 0;
    if (left < 0)
        left = 0;
    return { left, top };
}

void PlaceWindow(QWidget& window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    // move() places the outer frame of a top-level window, which is what the rule measures.
    window.move(area.topLeft() + PlacementFor(area.size(), window.frameGeometry().size()));
}

void MakeTopmost(QWidget& window)
{
    const bool wasVisible = window.isVisible();
    const QPoint pos = window.pos();
    // setWindowFlags re-creates the native window and hides it; the parent stays, so the
    // dialog also stays above the main window where the window manager ignores the hint.
    window.setWindowFlags(window.windowFlags() | Qt::WindowStaysOnTopHint);
    window.move(pos);
    if (wasVisible)
        window.show();
    QCoreApplication::processEvents();
}

void PressButtonsOnEnter(QWidget& dialog)
{
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
        button->setAutoDefault(true);
}

} // namespace Commands
