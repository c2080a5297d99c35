// SPDX-License-Identifier: GPL-3.0-or-later
#include "ManageTestSupport.h"
#include "app/Notices.h"
#include "controls/NameEdit.h"

#include <QClipboard>
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace ManageTest;

namespace {

bool passes(int code)
{
    qint16 k = qint16(code);
    Commands::FilterNameKey(k);
    if (k != 0 && k != qint16(code))
        ADD_FAILURE() << "code " << code << " changed to " << k;
    return k != 0;
}

} // namespace

TEST(FilterNameKey, ControlKeysAndPunctuationBelowDigits)
{
    for (int code = -32768; code < 0; code += 97)
        EXPECT_FALSE(passes(code)) << code;
    EXPECT_FALSE(passes(-1));
    for (int code = 0; code < 48; ++code) {
        const bool expected = code == 3 || code == 8 || code == 13 || code == 22 || code == 32
            || code == 33 || code == 38 || code == 39 || code == 43 || code == 45;
        EXPECT_EQ(passes(code), expected) << code;
    }
}

TEST(FilterNameKey, BoundariesAroundDigitsLettersAndAbove)
{
    EXPECT_FALSE(passes(47)); // '/'
    EXPECT_TRUE(passes(48)); // '0'
    EXPECT_TRUE(passes(57)); // '9'
    for (int code = 58; code <= 62; ++code)
        EXPECT_FALSE(passes(code)) << code;
    EXPECT_TRUE(passes(63)); // '?'
    EXPECT_TRUE(passes(64));
    EXPECT_TRUE(passes(65));
    EXPECT_TRUE(passes(90)); // 'Z'
    for (int code = 91; code <= 94; ++code)
        EXPECT_FALSE(passes(code)) << code;
    for (int code = 95; code <= 127; ++code)
        EXPECT_TRUE(passes(code)) << code;
    for (int code = 128; code <= 32767; code += 131)
        EXPECT_TRUE(passes(code)) << code;
    EXPECT_TRUE(passes(255));
    EXPECT_TRUE(passes(32767));
}

TEST(ShowNotice, EmptyTitleShowsProgramCaptionWithKindIcon)
{
    QWidget parent;
    const std::pair<qint16, QMessageBox::Icon> kinds[] = { { 1, QMessageBox::Information },
        { 2, QMessageBox::Warning }, { 3, QMessageBox::Critical }, { 4, QMessageBox::Question } };
    for (const auto& [kind, icon] : kinds) {
        ModalAnswerer answer(QMessageBox::Ok);
        Commands::ShowNotice(&parent, QStringLiteral("Hello"), kind);
        ASSERT_TRUE(answer.seen.seen) << kind;
        EXPECT_EQ(answer.seen.title, QStringLiteral("Vorn's Sorvanto"));
        EXPECT_EQ(answer.seen.text, QStringLiteral("Hello"));
        EXPECT_EQ(answer.seen.icon, icon);
        EXPECT_EQ(answer.seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        EXPECT_EQ(answer.seen.parent, &parent);
    }
    ModalAnswerer titled(QMessageBox::Ok);
    Commands::ShowNotice(&parent, QStringLiteral("x"), 1, QStringLiteral("Other"));
    EXPECT_EQ(titled.seen.title, QStringLiteral("Other"));
}

TEST(ShowNotice, UnknownKindShowsNothing)
{
    for (qint16 kind : { qint16(0), qint16(5), qint16(-1), qint16(64) }) {
        ModalAnswerer answer(QMessageBox::Ok);
        Commands::ShowNotice(nullptr, QStringLiteral("x"), kind);
        QTest::qWait(20);
        EXPECT_FALSE(answer.seen.seen) << kind;
    }
}

class NameEditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        edit.setKeyHandler(&Commands::FilterNameKey);
        edit.show();
        edit.setFocus();
    }
    NameEdit edit;
};

TEST_F(NameEditTest, TypedCharactersAreScreened)
{
    QTest::keyClicks(&edit, QStringLiteral("a.b"));
    EXPECT_EQ(edit.text(), QStringLiteral("ab"));
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("x(1)"));
    EXPECT_EQ(edit.text(), QStringLiteral("x1"));
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("a:b;c<d=e>f[g\\h]i^j/k\"l#m$n%o*p,q"));
    EXPECT_EQ(edit.text(), QStringLiteral("abcdefghijklmnopq"));
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("? |-+&'!_`{}~@"));
    EXPECT_EQ(edit.text(), QStringLiteral("? |-+&'!_`{}~@"));
    edit.clear();
    // Characters beyond Latin-1 arrive as key events that carry only their text.
    for (const QChar c : QStringLiteral("Čaj ÿ 漢\uFB01\uFFFD")) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&edit, &press);
    }
    EXPECT_EQ(edit.text(), QStringLiteral("Čaj ÿ 漢\uFB01\uFFFD"));
}

TEST_F(NameEditTest, EditingKeysWorkAndSwallowedControlKeysDoNothing)
{
    QTest::keyClicks(&edit, QStringLiteral("abcd"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("abc"));
    QTest::keyClick(&edit, Qt::Key_Left);
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.text(), QStringLiteral("ab"));
    QTest::keyClick(&edit, Qt::Key_Home);
    QTest::keyClick(&edit, Qt::Key_X);
    EXPECT_EQ(edit.text(), QStringLiteral("xab"));

    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier); // Ctrl+X is swallowed
    EXPECT_EQ(edit.text(), QStringLiteral("xab"));
    QTest::keyClick(&edit, Qt::Key_Escape);
    EXPECT_EQ(edit.text(), QStringLiteral("xab"));

    QApplication::clipboard()->setText(QStringLiteral("old"));
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("xab"));
    QApplication::clipboard()->setText(QStringLiteral("p.q/r"));
    edit.end(false);
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier); // pasted text is not screened
    EXPECT_EQ(edit.text(), QStringLiteral("xabp.q/r"));
}

TEST_F(NameEditTest, KeyHandlerSeesCodesAndCanSwallow)
{
    QApplication::clipboard()->setText(QStringLiteral("Z"));
    std::vector<int> codes;
    edit.setKeyHandler([&codes](qint16& k) {
        codes.push_back(k);
        if (k == 'q')
            k = 0;
    });
    QTest::keyClicks(&edit, QStringLiteral("a.q"));
    QTest::keyClick(&edit, Qt::Key_Return);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(&edit, Qt::Key_Right); // types nothing: not seen
    EXPECT_EQ(codes, (std::vector<int> { 'a', '.', 'q', 13, 8, 22 }));
    EXPECT_EQ(edit.text().left(1), QStringLiteral("a"));
    EXPECT_FALSE(edit.text().contains(QLatin1Char('q')));
}
