// SPDX-License-Identifier: GPL-3.0-or-later
// The lists' popup and its items from the keyboard, on the real window: the Menu key and
// Shift+F10 open the popup for the cursor row, F2, Shift+F2, Delete and Shift+Delete do what
// the popup's items do when chosen from a popup opened there, Ctrl+Q ends the program as the
// close box does, and a menu opened from the keyboard has its first item ready for Return.
#include "e2e/PlayerFixture.h"

#include "controls/NameEdit.h"
#include "manage/LibraryCommands.h"
#include "manage/frmRenSet.h"
#include "manage/frmRename.h"
#include "player/Form1.h"
#include "player/PhraseList.h"
#include "player/PlayerModel.h"
#include "support/EventLoopKit.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace PlayerTest;

namespace {

class PopupKeys : public PlayerFixture
{
protected:
    void SetUp() override
    {
        autoPlay = 0;
        addSet(QStringLiteral("a"), 600, 800, 1000);
        addSet(QStringLiteral("intro"), 300, 400, 500);
        start();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
        QApplication::setActiveWindow(&form());
    }

    // A key to the widget with the focus, as the keyboard gives it.
    void type(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, static_cast<Qt::Key>(key), mods);
        settle();
    }

    // Puts list `c`'s cursor on `row` with the arrow keys (which press nothing).
    void cursorTo(int c, int row)
    {
        // A dialog closed last: the main window is active again, as the window manager does.
        QApplication::setActiveWindow(&form());
        ui().lstPhrase[c]->setFocus();
        type(Qt::Key_Home);
        for (int i = 0; i < row; ++i)
            type(Qt::Key_Down);
    }

    // Runs `gesture`, which asks a question, and answers No; returns the question's text.
    QString questionOf(const std::function<void()>& gesture)
    {
        QString text;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            text = box->text();
            if (QAbstractButton* no = box->button(QMessageBox::No))
                no->click();
            else
                box->close();
        });
        // The question's modal loop needs a running application loop.
        EventLoopKit::runInApplicationLoop(gesture);
        settle();
        return text;
    }

    // A right press on the row and the popup item chosen, as the mouse does it.
    void chooseByMouse(int c, const QString& entry, QAction* item)
    {
        pressRow(c, entry, Qt::RightButton);
        settle();
        ui().mnuPop->close();
        item->trigger();
        settle();
    }
};

} // namespace

TEST_F(PopupKeys, MenuKeyAndShiftF10OpenThePopupForTheCursorRowWithItsFirstItemReady)
{
    cursorTo(1, 1);
    ASSERT_EQ(ui().lstPhrase[1]->currentItem()->text(), QStringLiteral("intro_2"));
    type(Qt::Key_Menu);
    ASSERT_TRUE(ui().mnuPop->isVisible());
    EXPECT_EQ(form().model().currentListIndex(), 1);
    EXPECT_EQ(form().model().selectedEntry(1), QStringLiteral("intro_2"));
    EXPECT_EQ(ui().mnuPop->activeAction(), ui().mnuRename);
    // At the row, not wherever the pointer rests.
    const PhraseList* list = ui().lstPhrase[1];
    const QRect row = list->visualItemRect(list->currentItem());
    const QPoint rowBottom = list->viewport()->mapToGlobal(row.bottomLeft());
    EXPECT_LE(std::abs(ui().mnuPop->geometry().top() - rowBottom.y()), 2);
    // Nothing else happened: a right press neither plays nor lines up the other lists.
    EXPECT_EQ(playingFlags(), (std::array<bool, 3> {}));
    ui().mnuPop->close();
    settle();

    cursorTo(2, 0);
    type(Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(ui().mnuPop->isVisible());
    EXPECT_EQ(form().model().currentListIndex(), 2);
    EXPECT_EQ(form().model().selectedEntry(2), QStringLiteral("a_3"));
    ui().mnuPop->close();
    settle();

    // Outside a list the keys are nobody's.
    ui().animKnob1->setFocus();
    type(Qt::Key_Menu);
    EXPECT_FALSE(ui().mnuPop->isVisible());
}

TEST_F(PopupKeys, F2AndShiftF2OpenTheRenameDialogsAsThePopupItemsDo)
{
    chooseByMouse(1, QStringLiteral("intro_2"), ui().mnuRename);
    QPointer<frmRename> byMouse = form().libraryCommands().renameDialog();
    ASSERT_NE(byMouse, nullptr);
    const QString mouseOld = byMouse->oldNameLabel->text();
    const QString mouseNew = byMouse->txtNewName->text();
    byMouse->close();
    settle();
    ASSERT_EQ(mouseOld, QStringLiteral("intro_2.wav"));

    // Another list selected last, then the keyboard on list 2's cursor row.
    pressRow(0, QStringLiteral("a_1"));
    settle();
    cursorTo(1, 1);
    type(Qt::Key_F2);
    QPointer<frmRename> byKey = form().libraryCommands().renameDialog();
    ASSERT_NE(byKey, nullptr);
    EXPECT_TRUE(byKey->isVisible());
    EXPECT_EQ(byKey->oldNameLabel->text(), mouseOld);
    EXPECT_EQ(byKey->txtNewName->text(), mouseNew);
    EXPECT_EQ(form().model().currentListIndex(), 1);
    EXPECT_FALSE(ui().mnuPop->isVisible()) << "the item runs without the popup";
    byKey->close();
    settle();

    cursorTo(0, 1);
    type(Qt::Key_F2, Qt::ShiftModifier);
    QPointer<frmRenSet> set = form().libraryCommands().renameSetDialog();
    ASSERT_NE(set, nullptr);
    EXPECT_TRUE(set->isVisible());
    EXPECT_EQ(set->txtNewName->text(), QStringLiteral("intro"));
    set->close();
    settle();
}

TEST_F(PopupKeys, DeleteAndShiftDeleteAskTheSameQuestionsAsThePopupItems)
{
    pressRow(0, QStringLiteral("intro_1"));
    settle();
    pressRow(2, QStringLiteral("intro_3"), Qt::RightButton);
    settle();
    ui().mnuPop->close();
    const QString mouseOne = questionOf([&] { ui().mnuDel->trigger(); });
    const QString mouseSet = questionOf([&] { ui().mnuDelSet->trigger(); });
    ASSERT_FALSE(mouseOne.isEmpty());
    ASSERT_FALSE(mouseSet.isEmpty());
    ASSERT_NE(mouseOne, mouseSet);
    EXPECT_TRUE(mouseOne.contains(QStringLiteral("intro_3"))) << qPrintable(mouseOne);

    pressRow(0, QStringLiteral("a_1"));
    settle();
    pressRow(2, QStringLiteral("intro_3"));
    settle();
    cursorTo(2, 1);
    EXPECT_EQ(questionOf([&] { type(Qt::Key_Delete); }), mouseOne);
    cursorTo(2, 1);
    EXPECT_EQ(questionOf([&] { type(Qt::Key_Delete, Qt::ShiftModifier); }), mouseSet);
    // Answered No: every file is still there.
    for (const char* name : { "intro_1.wav", "intro_2.wav", "intro_3.wav" })
        EXPECT_TRUE(QFile::exists(soundPath(QLatin1String(name)))) << name;
}

TEST_F(PopupKeys, AltOReadiesTheFirstItemForReturnAndCtrlQEndsTheProgram)
{
    ui().lstPhrase[0]->setFocus();
    type(Qt::Key_O, Qt::AltModifier);
    ASSERT_TRUE(ui().mnuOptions->isVisible());
    EXPECT_EQ(ui().mnuOptions->activeAction(), ui().mnuSettings);
    QSignalSpy settings(ui().mnuSettings, &QAction::triggered);
    QTest::keyClick(ui().mnuOptions, Qt::Key_Return);
    settle();
    EXPECT_EQ(settings.count(), 1);
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != &form() && window->isVisible())
            window->close();
    settle();

    QApplication::setActiveWindow(&form());
    ui().lstPhrase[0]->setFocus();
    EventLoopKit::runInApplicationLoop([&] { type(Qt::Key_Q, Qt::ControlModifier); });
    EXPECT_TRUE(form().unloaded());
    EXPECT_FALSE(form().isVisible());
}
