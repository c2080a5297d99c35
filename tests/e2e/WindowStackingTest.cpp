// SPDX-License-Identifier: GPL-3.0-or-later
// Under a real window manager (openbox on Xvfb), every question and notice stacks above the
// program's dialogs, which are kept on top: a box hidden under the Rename dialog would block
// the whole program unseen. The stacking order is read from the root window, as the window
// manager publishes it (_NET_CLIENT_LIST_STACKING, bottom to top).
//
// The test runs itself again inside xvfb-run with openbox started first; that second run
// (SORVANTO_STACKING_RUN set) drives the real window and measures.
#include "e2e/PlayerFixture.h"
#include "player/PlayerModel.h"
#include "support/WindowManagerRun.h"

#include "manage/LibraryCommands.h"
#include "manage/frmRename.h"
#include "player/Form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace PlayerTest;

namespace {

// Window ids from the bottom of the stack to its top.
QList<WId> stackingOrder()
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), { "-root", "_NET_CLIENT_LIST_STACKING" });
    if (!xprop.waitForFinished(10000))
        return {};
    QList<WId> ids;
    static const QRegularExpression hex(QStringLiteral("0x[0-9a-fA-F]+"));
    auto it = hex.globalMatch(QString::fromLatin1(xprop.readAllStandardOutput()));
    while (it.hasNext())
        ids << WId(it.next().captured().toULongLong(nullptr, 16));
    return ids;
}

class WindowStacking : public PlayerFixture
{
protected:
    // Waits for the next modal box, lets the window manager stack it, records where it and
    // `dialog` stand (-1 when absent), then answers it No or OK.
    void measureNextBox(QWidget* dialog, qsizetype& boxAt, qsizetype& dialogAt, qsizetype& top)
    {
        QTimer poll;
        bool done = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || done || !box->isVisible())
                return;
            done = true;
            poll.stop();
            QTest::qWait(500); // the window manager maps, frames and stacks the new window
            const QList<WId> order = stackingOrder();
            boxAt = order.indexOf(box->winId());
            dialogAt = order.indexOf(dialog->winId());
            top = order.size() - 1;
            // No to a question (nothing changes), OK to a notice.
            QAbstractButton* answer = box->button(QMessageBox::No);
            (answer ? answer : box->button(QMessageBox::Ok))->click();
        });
        poll.start(20);
        m_trigger();
        EXPECT_TRUE(done);
    }
    std::function<void()> m_trigger;
};

} // namespace

TEST_F(WindowStacking, QuestionsAndNoticesShowAboveTheTopmostRenameDialog)
{
    if (!WindowManagerRun::inside("SORVANTO_STACKING_RUN", QStringLiteral("WindowStacking.*")))
        return;

    autoPlay = 0;
    addSet(QStringLiteral("intro"), 300, 400, 500);
    start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
    pressRow(0, QStringLiteral("intro_1"));
    form().model().aimPopup(0);
    form().libraryCommands().mnuRename_Click();
    frmRename* rename = form().libraryCommands().renameDialog();
    ASSERT_NE(rename, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(rename));
    QTest::qWait(500);
    const QList<WId> before = stackingOrder();
    ASSERT_GT(before.indexOf(rename->winId()), before.indexOf(form().winId()))
        << "the Rename dialog stays above the main window";

    struct Trigger
    {
        const char* what;
        std::function<void()> run;
    };
    const Trigger triggers[] = {
        { "the delete question", [&] { form().libraryCommands().mnuDel_Click(); } },
        { "the Save Settings notice", [&] { ui().mnuSave->trigger(); } },
    };
    for (const Trigger& t : triggers) {
        SCOPED_TRACE(t.what);
        qsizetype boxAt = -1, dialogAt = -1, top = -1;
        m_trigger = t.run;
        measureNextBox(rename, boxAt, dialogAt, top);
        EXPECT_GE(dialogAt, 0);
        EXPECT_GT(boxAt, dialogAt);
        EXPECT_EQ(boxAt, top);
    }
}
