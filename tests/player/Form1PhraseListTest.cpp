// SPDX-License-Identifier: GPL-3.0-or-later
// The phrase lists' presses: what the handler sees is the row this very press selected.

#include "player/PhraseList.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class Form1PhraseList : public ::testing::Test
{
protected:
    void SetUp() override
    {
        list.setGeometry(0, 0, 209, 381);
        list.addItems({ "a_1", "b_1", "c_1", "Count-in" });
        list.show();
        // The row seen by the listener at the moment of each press.
        QObject::connect(&list, &PhraseList::MouseDown, &list, [this](Qt::MouseButton button) {
            const QList<QListWidgetItem*> selected = list.selectedItems();
            seen.append({ button, selected.isEmpty() ? -1 : list.row(selected.first()) });
        });
    }

    QPoint rowCentre(int row) const { return list.visualItemRect(list.item(row)).center(); }

    PhraseList list;
    QList<std::pair<Qt::MouseButton, int>> seen;
};

} // namespace

TEST_F(Form1PhraseList, LeftPressReportsTheRowItJustSelected)
{
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, rowCentre(2));
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0], std::make_pair(Qt::LeftButton, 2));
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, rowCentre(2));
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, rowCentre(0));
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[1].second, 0);
}

TEST_F(Form1PhraseList, RightPressSelectsThePressedRowButNotBelowTheLast)
{
    list.setCurrentRow(1);
    QTest::mousePress(list.viewport(), Qt::RightButton, {}, rowCentre(3));
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0], std::make_pair(Qt::RightButton, 3));
    EXPECT_EQ(list.selectedItems(), QList<QListWidgetItem*> { list.item(3) });
    QTest::mousePress(list.viewport(), Qt::RightButton, {}, QPoint(100, 370));
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[1], std::make_pair(Qt::RightButton, 3));
}

TEST_F(Form1PhraseList, MiddlePressSelectsLikeALeftPress)
{
    QTest::mousePress(list.viewport(), Qt::MiddleButton, {}, rowCentre(3));
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0], std::make_pair(Qt::MiddleButton, 3));
}

TEST_F(Form1PhraseList, ModifierKeysNeitherClearNorExtendTheSelection)
{
    list.setCurrentRow(1);
    // Ctrl on the selected row would deselect it in a Qt list; a list box keeps it.
    QTest::mousePress(list.viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(1));
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(1));
    QTest::mousePress(list.viewport(), Qt::LeftButton, Qt::ShiftModifier, rowCentre(3));
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[0].second, 1);
    EXPECT_EQ(seen[1].second, 3);
    EXPECT_EQ(list.selectedItems().size(), 1);
}

TEST_F(Form1PhraseList, PressBelowTheLastRowKeepsTheSelection)
{
    list.setCurrentRow(2);
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, QPoint(100, 370));
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].second, 2);
}

TEST_F(Form1PhraseList, PressOnAnEmptyListReportsNoRow)
{
    list.clear();
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, QPoint(100, 10));
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].second, -1);
}

TEST_F(Form1PhraseList, ADoubleClickIsOnePress)
{
    // Through the window system path, as a real double-click arrives: Qt turns the second
    // press into a double-click event, which is no press.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    const QPoint at = list.viewport()->mapTo(&list, rowCentre(1));
    QTest::mouseDClick(list.windowHandle(), Qt::LeftButton, {}, at);
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0], std::make_pair(Qt::LeftButton, 1));
}

TEST_F(Form1PhraseList, ARightDoubleClickIsOnePressOnThePressedRow)
{
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    list.setCurrentRow(3);
    const QPoint at = list.viewport()->mapTo(&list, rowCentre(0));
    QTest::mouseDClick(list.windowHandle(), Qt::RightButton, {}, at);
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0], std::make_pair(Qt::RightButton, 0));
}

TEST_F(Form1PhraseList, KeyboardMovesTheSelectionWithoutAPress)
{
    list.setCurrentRow(0);
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_EQ(list.currentRow(), 1);
}
