// SPDX-License-Identifier: GPL-3.0-or-later
// Window placement: the rule's numbers, and the real calls on widgets.
#include "app/Placement.h"

#include <QDialog>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>

#include <gtest/gtest.h>

using Commands::PlacementFor;

TEST(PlacementFor, CentresAcrossWithTheMiddleAt425PercentDown)
{
    const struct
    {
        QSize screen, window;
        QPoint expected;
    } cases[] = {
        { { 1024, 768 }, { 400, 300 }, { 312, 176 } }, // 653 div 2 - 150
        { { 1920, 1080 }, { 716, 697 }, { 602, 111 } }, // 918 div 2 - 348
        { { 1024, 768 }, { 401, 301 }, { 312, 176 } }, // odd sizes truncate
        { { 1024, 768 }, { 400, 653 }, { 312, 0 } }, // exactly 0.85 H tall
        { { 1024, 768 }, { 400, 700 }, { 312, 0 } }, // taller: pinned to the top
        { { 1024, 768 }, { 1100, 300 }, { 0, 176 } }, // wider: pinned to the left
        { { 1024, 768 }, { 2000, 2000 }, { 0, 0 } },
        { { 100, 10 }, { 0, 0 }, { 50, 4 } }, // 8.5 rounds to the even 8
        { { 100, 30 }, { 0, 0 }, { 50, 13 } }, // 25.5 rounds to the even 26
        { { 100, 50 }, { 0, 0 }, { 50, 21 } }, // 42.5 rounds to 42
        { { 0, 0 }, { 10, 10 }, { 0, 0 } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlacementFor(c.screen, c.window), c.expected)
            << c.screen.width() << "x" << c.screen.height() << " / " << c.window.width() << "x"
            << c.window.height();
}

TEST(PlaceWindow, MovesTheWindowByTheRuleOnThePrimaryScreen)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->geometry();
    QMainWindow window;
    window.resize(300, 200);
    window.move(5, 5);
    Commands::PlaceWindow(window);
    EXPECT_EQ(window.frameGeometry().topLeft(),
        area.topLeft() + PlacementFor(area.size(), window.frameGeometry().size()));
    EXPECT_EQ(window.size(), QSize(300, 200));
}

TEST(MakeTopmost, KeepsParentPlaceAndVisibility)
{
    QMainWindow main;
    main.show();
    QDialog dialog(&main);
    dialog.resize(200, 100);
    dialog.move(40, 30);
    dialog.show();
    Commands::MakeTopmost(dialog);
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(dialog.parentWidget(), &main);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.isWindow());
    EXPECT_EQ(dialog.pos(), QPoint(40, 30));
    EXPECT_EQ(dialog.size(), QSize(200, 100));
    EXPECT_FALSE(main.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    QDialog hidden(&main);
    Commands::MakeTopmost(hidden);
    EXPECT_TRUE(hidden.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(hidden.isVisible()); // a dialog not yet shown is not shown by this
}
