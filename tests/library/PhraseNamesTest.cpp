// SPDX-License-Identifier: GPL-3.0-or-later
// The naming rules of phrases and phrase sets, without any window.
#include "library/PhraseNames.h"

#include <gtest/gtest.h>

using Library::IsLibraryName;
using Library::IsPlainName;
using Library::WithoutWavExtension;
using Library::WithWavExtension;

TEST(PhraseNames, ExtensionIsAddedAndDroppedWithoutRegardToCase)
{
    EXPECT_EQ(WithWavExtension("a_1"), QStringLiteral("a_1.wav"));
    EXPECT_EQ(WithWavExtension("a_1.WaV"), QStringLiteral("a_1.WaV"));
    EXPECT_EQ(WithWavExtension(""), QStringLiteral(".wav"));
    EXPECT_EQ(WithWavExtension("wav"), QStringLiteral("wav.wav")) << "no dot, no extension";
    EXPECT_EQ(WithoutWavExtension("a_1.WAV"), QStringLiteral("a_1"));
    EXPECT_EQ(WithoutWavExtension(".wav"), QString());
    EXPECT_EQ(WithoutWavExtension("a.wav.wav"), QStringLiteral("a.wav")) << "only the last one";
    EXPECT_EQ(WithoutWavExtension("a_wav"), QStringLiteral("a_wav"));
}

TEST(PhraseNames, LibraryNamesStayInsideTheDirectoryAndVisible)
{
    EXPECT_TRUE(IsPlainName("a b (1).wav"));
    EXPECT_TRUE(IsPlainName(".hidden.wav"));
    EXPECT_FALSE(IsPlainName("sub/a.wav"));
    EXPECT_FALSE(IsPlainName(QStringLiteral("a") + QChar(0) + QStringLiteral(".wav")));
    EXPECT_TRUE(IsLibraryName("a.wav"));
    EXPECT_TRUE(IsLibraryName("a..wav")) << "only a leading dot hides";
    EXPECT_FALSE(IsLibraryName("..a"));
    EXPECT_FALSE(IsLibraryName(".wav")) << "an empty name with extension is hidden";
    EXPECT_FALSE(IsLibraryName(""));
    EXPECT_FALSE(IsLibraryName("../a.wav"));
}

TEST(PhraseNames, SetNameProposals)
{
    EXPECT_EQ(Library::ProposeSetName("song_1.wav"), QStringLiteral("song"));
    EXPECT_EQ(Library::ProposeSetName("x_1_2.wav"), QStringLiteral("x_1"));
    EXPECT_EQ(Library::ProposeSetName("x_3_2_1.WAV"), QStringLiteral("x"));
    EXPECT_EQ(Library::ProposeSetName("y_2_1"), QStringLiteral("y"));
    EXPECT_EQ(Library::ProposeSetName("y_1_3"), QStringLiteral("y_1"));
    EXPECT_EQ(Library::ProposeSetName("Default.wav"), QStringLiteral("Default"));
    EXPECT_EQ(Library::ProposeSetName(".wav"), QString());
}

TEST(PhraseNames, DropDownSetNames)
{
    EXPECT_EQ(Library::SetNamesFromEntries({ "Lesson01_1.wav", "Lesson02_1.wav" }),
        (QStringList { "Lesson02" }));
    EXPECT_EQ(
        Library::SetNamesFromEntries({ "abc_1.wav", "Default.wav" }), (QStringList { "Defau" }));
    // Only neighbours are compared; the prefix moves on even when a name is not offered.
    EXPECT_EQ(Library::SetNamesFromEntries({ "Alpha12_1.wav", "abc_1.wav", "Alpha12x_1.wav" }),
        (QStringList { "Alpha12x", "Alpha12" }));
    EXPECT_EQ(Library::SetNamesFromEntries({ "Lesson01_1", "Lesson02_1", "x", "" }),
        (QStringList { "Lesson02" }));
    EXPECT_EQ(Library::SetNamesFromEntries({ "abcd.WAV", "ab" }), QStringList {});
    EXPECT_EQ(Library::SetNamesFromEntries({ "abcdef", "abcdeX" }), QStringList { "abcd" });
}

TEST(PhraseNames, ASetMemberIsTheStemWithTheOtherListsMarker)
{
    using Library::SetMemberName;
    EXPECT_EQ(SetMemberName("Funk Groove_1", 0, 2), QStringLiteral("Funk Groove_3"));
    EXPECT_EQ(SetMemberName("Funk Groove_2.WAV", 1, 0), QStringLiteral("Funk Groove_1"));
    // Only the pressed list's own marker at the end makes a member: x_1_2 stands in list 0 and
    // a marker-less file in every list, so both stand for themselves.
    EXPECT_EQ(SetMemberName("x_1_2", 0, 1), QStringLiteral("x_1_2"));
    EXPECT_EQ(SetMemberName("Default.wav", 2, 0), QStringLiteral("Default"));
    EXPECT_EQ(SetMemberName("_2", 1, 2), QStringLiteral("_3")) << "an empty stem is still a stem";

    using Library::RowOfName;
    const QStringList shown { "Blue Bossa_2.wav", "blue_2.WAV", "Blue_2.wav", "Funk_2" };
    EXPECT_EQ(RowOfName(shown, "Blue_2"), 2) << "the exact spelling wins over an earlier fold";
    EXPECT_EQ(RowOfName(shown, "BLUE BOSSA_2"), 0);
    EXPECT_EQ(RowOfName(shown, "Funk_2"), 3);
    EXPECT_EQ(RowOfName(shown, "Funk"), -1) << "no prefix match";
    EXPECT_EQ(RowOfName(shown, ""), -1);
}
