// SPDX-License-Identifier: GPL-3.0-or-later
// Real key strokes under a real window manager (openbox on Xvfb): the keys arrive from the X
// server through the keyboard layout, with their real scan codes, as a player's keyboard sends
// them. Enter picks and starts a set, Shift+2 (which types '@' on the US layout) mutes column 2,
// 3 stops column 3, Space stops everything.
//
// The test runs itself again inside xvfb-run with openbox started first; that second run
// (SORVANTO_KEYS_X_RUN set) drives the real window with xdotool.
#include "e2e/PlayerFixture.h"
#include "support/WindowManagerRun.h"

#include "controls/StripButton.h"
#include "player/Form1.h"
#include "player/PhraseList.h"
#include "player/PlayerModel.h"
#include "ui/KeyMap.h"

#include <QApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace PlayerTest;

namespace {

// Records the key presses the application receives, as the X server delivered them (before
// any other filter: the last one installed runs first).
class PressLog : public QObject
{
public:
    PressLog() { qApp->installEventFilter(this); }
    struct Press
    {
        int key;
        quint32 scanCode;
    };
    QList<Press> presses;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() != Qt::Key_Shift)
                presses << Press { key->key(), key->nativeScanCode() };
        }
        return false;
    }
};

class KeysUnderWindowManager : public PlayerFixture
{
protected:
    // Sends one key stroke (xdotool's key names) to the window with the focus.
    static void strike(const char* keys)
    {
        QProcess xdotool;
        xdotool.start(
            QStringLiteral("xdotool"), { QStringLiteral("key"), QString::fromLatin1(keys) });
        ASSERT_TRUE(xdotool.waitForFinished(10000));
        ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
    }
};

} // namespace

TEST_F(KeysUnderWindowManager, RealKeyStrokesStartMuteAndStop)
{
    for (const char* tool : { "xvfb-run", "openbox", "xdotool", "xprop" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    if (!WindowManagerRun::inside(
            "SORVANTO_KEYS_X_RUN", QStringLiteral("KeysUnderWindowManager.*")))
        return;

    addSet(QStringLiteral("intro"), 300, 400, 500);
    start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
    form().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
    ASSERT_EQ(QApplication::focusWidget(), ui().lstPhrase[0]);

    // The cursor stands on the first row; Enter presses it: the set lines up and starts.
    strike("Return");
    QTRY_COMPARE_WITH_TIMEOUT(playingFlags(), (std::array<bool, 3> { true, true, true }), 10000);
    EXPECT_EQ(form().model().selectedEntry(1), QStringLiteral("intro_2"));
    EXPECT_TRUE(engine().status(2).playing);

    PressLog log;
    strike("shift+2");
    QTRY_VERIFY_WITH_TIMEOUT(ui().miniButton2->Value(), 10000);
    // The key that types '@' here is the digit row's second key: its XKB code is what the key
    // map counts by on any layout.
    ASSERT_FALSE(log.presses.isEmpty());
    const PressLog::Press at = log.presses.last();
    EXPECT_EQ(at.key, Qt::Key_At);
    EXPECT_EQ(at.scanCode, 11u);
    EXPECT_TRUE(Keys::platformHasXkbScanCodes());
    EXPECT_FALSE(ui().miniButton1->Value());
    EXPECT_FALSE(ui().miniButton3->Value());
    settle();
    EXPECT_EQ(engine().status(1).volume, -6000) << "muted: level 0";

    strike("3");
    QTRY_VERIFY_WITH_TIMEOUT(!playingFlags()[2], 10000);
    EXPECT_FALSE(ui().miniButtonGreen3->Value());
    EXPECT_TRUE(playingFlags()[0]);

    strike("space");
    QTRY_VERIFY_WITH_TIMEOUT(!ui().syncButton1->Value(), 10000);
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> {}));
    settle();
    EXPECT_FALSE(engine().status(0).playing);
    // The list's own type-ahead never saw the digit.
    EXPECT_EQ(form().model().selectedEntry(0), QStringLiteral("intro_1"));
}
