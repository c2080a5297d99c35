// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Placement.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include <algorithm>
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

QPoint KeptInside(QRect area, QPoint topLeft, QSize window)
{
    const int x = std::max(area.left(), std::min(topLeft.x(), area.right() + 1 - window.width()));
    const int y = std::max(area.top(), std::min(topLeft.y(), area.bottom() + 1 - window.height()));
    return { x, y };
}

namespace {

// Moves a window back inside the available area once the window manager has framed it (the
// frame adds a title bar that the first placement could not measure), then goes. A window
// that is never framed keeps it until the window goes; it acts at most once.
class FrameWatch : public QObject
{
public:
    static constexpr const char* kName = "placementFrameWatch";

    explicit FrameWatch(QWidget& window)
        : QObject(&window)
        , m_window(window)
    {
        setObjectName(QLatin1String(kName));
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::Move && type != QEvent::Resize && type != QEvent::Show)
            return false;
        const QRect frame = m_window.frameGeometry();
        if (!m_window.isVisible() || frame == m_window.geometry())
            return false; // no frame yet
        if (const QScreen* screen = m_window.screen()) {
            const QPoint inside
                = KeptInside(screen->availableGeometry(), frame.topLeft(), frame.size());
            if (inside != frame.topLeft())
                m_window.move(inside);
        }
        deleteLater();
        m_window.removeEventFilter(this);
        return false;
    }

private:
    QWidget& m_window;
};

} // namespace

void PlaceWindow(QWidget& window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // move() places the outer frame of a top-level window, which is what the rule measures.
    const QSize size = window.frameGeometry().size();
    window.move(KeptInside(area, area.topLeft() + PlacementFor(area.size(), size), size));
    if (!window.findChild<QObject*>(QLatin1String(FrameWatch::kName), Qt::FindDirectChildrenOnly))
        new FrameWatch(window);
}

void BringToFront(QWidget& window)
{
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    // QWindow::requestActivate: _NET_ACTIVE_WINDOW on X11, the activation protocol elsewhere.
    window.activateWindow();
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
