// SPDX-License-Identifier: GPL-3.0-or-later
// Where the windows land under a real window manager at a scale factor of 1.5 on a 1280x1024
// screen (853x682 device-independent pixels): the main window and every dialog, frame and all,
// inside the screen's available area once openbox has framed them (the main window, taller
// than this screen, at its top with every control on it); and no caption of a dialog
// clipped by its own box or covered by the control beside it.
//
// The test runs itself again inside xvfb-run with openbox and QT_SCALE_FACTOR=1.5; that second
// run (SORVANTO_PLACEMENT_X_RUN set) shows the windows.
#include "e2e/PlayerFixture.h"
#include "support/WindowManagerRun.h"

#include "app/Placement.h"
#include "dialogs/SettingsCommand.h"
#include "dialogs/frmDirSelect.h"
#include "dialogs/frmSettings.h"
#include "manage/LibraryCommands.h"
#include "manage/frmRenSet.h"
#include "manage/frmRename.h"
#include "player/Form1.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>
#include <QTest>

using namespace PlayerTest;

namespace {

class WindowPlacement : public PlayerFixture
{
protected:
    // Waits until the window manager has framed `window` and the frame has settled, then
    // checks that the whole frame lies in the available area; a frame taller than the area
    // stands at its top, title bar and menus in sight, and `lowest` (the lowest control) is
    // still on the screen.
    static void expectInside(QWidget* window, QWidget* lowest = nullptr)
    {
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        (void)QTest::qWaitFor([&] { return window->frameGeometry() != window->geometry(); }, 5000);
        QTest::qWait(300);
        const QRect area = window->screen()->availableGeometry();
        const QRect frame = window->frameGeometry();
        if (frame.height() > area.height()) {
            EXPECT_EQ(frame.top(), area.top()) << qPrintable(window->windowTitle());
            EXPECT_TRUE(frame.left() >= area.left() && frame.right() <= area.right());
            ASSERT_NE(lowest, nullptr) << qPrintable(window->windowTitle()) << " is too tall";
            const QRect control(lowest->mapToGlobal(QPoint(0, 0)), lowest->size());
            EXPECT_TRUE(area.contains(control))
                << "the lowest control ends at " << control.bottom();
            return;
        }
        EXPECT_TRUE(area.contains(frame))
            << qPrintable(window->windowTitle()) << ": frame " << frame.x() << ',' << frame.y()
            << ' ' << frame.width() << 'x' << frame.height() << " in " << area.width() << 'x'
            << area.height();
    }

    // No label of `dialog` is narrower or lower than its text, or covered by a sibling control.
    static void expectNoCaptionClipped(QWidget* dialog)
    {
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            if (!label->isVisibleTo(dialog) || label->text().isEmpty())
                continue;
            const QSize need = label->sizeHint();
            EXPECT_GE(label->width(), need.width()) << qPrintable(label->text());
            EXPECT_GE(label->height(), need.height()) << qPrintable(label->text());
            // Where the text is drawn; a neighbour's one-pixel border may touch it.
            const QRect text = QStyle::alignedRect(
                label->layoutDirection(), label->alignment(), need, label->geometry());
            for (QWidget* other : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (other == label || !other->isVisibleTo(dialog) || qobject_cast<QLabel*>(other))
                    continue;
                EXPECT_FALSE(text.intersects(other->geometry().adjusted(1, 1, -1, -1)))
                    << qPrintable(label->text()) << " under " << qPrintable(other->objectName());
            }
        }
    }
};

} // namespace

TEST(KeptInside, MovesTheLeastThatKeepsTheFrameInsideAndKeepsTheTitleBarWhenTooBig)
{
    const QRect area(0, 24, 853, 658);
    // Inside already: stays.
    EXPECT_EQ(Commands::KeptInside(area, QPoint(10, 30), QSize(300, 200)), QPoint(10, 30));
    // Off the bottom and the right: moved up and left just enough.
    EXPECT_EQ(Commands::KeptInside(area, QPoint(700, 600), QSize(300, 200)), QPoint(553, 482));
    // Above the top, left of the left (a panel at the top): moved in.
    EXPECT_EQ(Commands::KeptInside(area, QPoint(-5, 0), QSize(300, 200)), QPoint(0, 24));
    // Exactly the area's size fits.
    EXPECT_EQ(Commands::KeptInside(area, QPoint(3, 3), QSize(853, 658)), QPoint(0, 24));
    // Larger than the area: the top-left corner (title bar, close box) stays inside.
    EXPECT_EQ(Commands::KeptInside(area, QPoint(50, 50), QSize(900, 700)), QPoint(0, 24));
}

TEST_F(WindowPlacement, EveryWindowStaysInsideTheScreenAtScaleOnePointFive)
{
    for (const char* tool : { "xvfb-run", "openbox", "xprop" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    if (!WindowManagerRun::inside("SORVANTO_PLACEMENT_X_RUN", QStringLiteral("WindowPlacement.*"),
            { QStringLiteral("QT_SCALE_FACTOR=1.5") }))
        return;
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    ASSERT_LE(std::abs(screen.width() - 853), 1) << screen.width();
    ASSERT_LE(std::abs(screen.height() - 683), 1) << screen.height();

    autoPlay = 0;
    addSet(QStringLiteral("intro"), 300, 400, 500);
    start();
    // Framed, the main window is 1035 device pixels tall here, 11 more than the screen: it
    // stands at the top and only the margin under the sync panel is off the screen.
    expectInside(&form(), ui().syncButton1);

    form().settingsCommand().mnuSettings_Click();
    auto* settings = form().findChild<frmSettings*>();
    expectInside(settings);
    expectNoCaptionClipped(settings);
    settings->close();

    const QPointer<frmDirSelect> chooser
        = new frmDirSelect(QStringLiteral("/"), QStringLiteral("Choose"), &form());
    chooser->load();
    expectInside(chooser);
    chooser->close();

    pressRow(0, QStringLiteral("intro_1"));
    settle();
    form().libraryCommands().mnuRename_Click();
    expectInside(form().libraryCommands().renameDialog());
    expectNoCaptionClipped(form().libraryCommands().renameDialog());
    form().libraryCommands().renameDialog()->close();
    form().libraryCommands().mnuRenameSet_Click();
    expectInside(form().libraryCommands().renameSetDialog());
    expectNoCaptionClipped(form().libraryCommands().renameSetDialog());
    form().libraryCommands().renameSetDialog()->close();
    settle();
}
