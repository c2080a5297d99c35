// SPDX-License-Identifier: GPL-3.0-or-later
// Which gesture a key press stands for, on the keyboard layouts where Shift+digit types
// different characters or where the digits themselves need Shift. The key map on the real
// window is tested end to end (tests/e2e/PlayerKeysTest.cpp).
#include "ui/KeyMap.h"

#include <gtest/gtest.h>

using Keys::Command;
using Keys::Gesture;

namespace {

struct Case
{
    const char* what;
    int key;
    Qt::KeyboardModifiers mods;
    quint32 scan; // XKB key code, 0 when the platform tells none
    Command expected;
};

constexpr auto S = Qt::ShiftModifier;
constexpr auto N = Qt::NoModifier;
constexpr auto K = Qt::KeypadModifier;

} // namespace

TEST(KeyCommands, DigitsSpaceEnterAndFunctionKeysOnEveryLayout)
{
    const Command none;
    const Case cases[] = {
        { "digit 1", Qt::Key_1, N, 0, { Gesture::Play, 0 } },
        { "keypad 3", Qt::Key_3, K, 0, { Gesture::Play, 2 } },
        { "digit 4", Qt::Key_4, N, 0, none },
        { "US Shift+1", Qt::Key_Exclam, S, 0, { Gesture::Mute, 0 } },
        { "US Shift+2", Qt::Key_At, S, 0, { Gesture::Mute, 1 } },
        { "UK/DE Shift+2", Qt::Key_QuoteDbl, S, 0, { Gesture::Mute, 1 } },
        { "US Shift+3", Qt::Key_NumberSign, S, 0, { Gesture::Mute, 2 } },
        { "UK Shift+3", Qt::Key_sterling, S, 0, { Gesture::Mute, 2 } },
        { "DE Shift+3", Qt::Key_section, S, 0, { Gesture::Mute, 2 } },
        { "digit reported with Shift", Qt::Key_2, S, 0, { Gesture::Mute, 1 } },
        { "FR '\"' unshifted, place unknown", Qt::Key_QuoteDbl, N, 0, none },
        { "Shift+keypad digit", Qt::Key_1, S | K, 0, none },
        { "Shift+4", Qt::Key_Dollar, S, 0, none },
        // By the key's place where XKB codes tell it: FR AZERTY types & é " unshifted.
        { "FR key 1", Qt::Key_Ampersand, N, 10, { Gesture::Play, 0 } },
        { "FR key 2", Qt::Key_Eacute, N, 11, { Gesture::Play, 1 } },
        { "FR Shift+3", Qt::Key_3, S, 12, { Gesture::Mute, 2 } },
        { "US Shift+2 by place", Qt::Key_At, S, 11, { Gesture::Mute, 1 } },
        { "key 4 by place", Qt::Key_4, N, 13, none },
        { "Ctrl+1", Qt::Key_1, Qt::ControlModifier, 10, none },
        { "Alt+Shift+2", Qt::Key_At, Qt::AltModifier | S, 0, none },
        { "Space", Qt::Key_Space, N, 0, { Gesture::Sync } },
        { "Shift+Space", Qt::Key_Space, S, 0, { Gesture::Sync } },
        { "Ctrl+Space", Qt::Key_Space, Qt::ControlModifier, 0, none },
        { "Return", Qt::Key_Return, N, 0, { Gesture::ListRow } },
        { "keypad Enter", Qt::Key_Enter, K, 0, { Gesture::ListRow } },
        { "Meta+Return", Qt::Key_Return, Qt::MetaModifier, 0, none },
        { "F5", Qt::Key_F5, N, 0, { Gesture::Refresh } },
        { "Ctrl+F5", Qt::Key_F5, Qt::ControlModifier, 0, none },
        { "F10", Qt::Key_F10, N, 0, { Gesture::Menus } },
        { "Alt+O", Qt::Key_O, Qt::AltModifier, 0, { Gesture::Menus } },
        { "Alt+Shift+O", Qt::Key_O, Qt::AltModifier | S, 0, none },
        { "O", Qt::Key_O, N, 0, none },
        { "Ctrl+S", Qt::Key_S, Qt::ControlModifier, 0, { Gesture::Save } },
        { "S", Qt::Key_S, N, 0, none },
        { "Ctrl+Q", Qt::Key_Q, Qt::ControlModifier, 0, { Gesture::Quit } },
        { "Ctrl+Shift+Q", Qt::Key_Q, Qt::ControlModifier | S, 0, none },
        { "Q", Qt::Key_Q, N, 0, none },
        { "Menu", Qt::Key_Menu, N, 0, { Gesture::Popup } },
        { "Shift+F10", Qt::Key_F10, S, 0, { Gesture::Popup } },
        { "Ctrl+F10", Qt::Key_F10, Qt::ControlModifier, 0, none },
        { "F2", Qt::Key_F2, N, 0, { Gesture::PopupItem, Keys::RenamePhrase } },
        { "Shift+F2", Qt::Key_F2, S, 0, { Gesture::PopupItem, Keys::RenamePhraseSet } },
        { "Alt+F2", Qt::Key_F2, Qt::AltModifier, 0, none },
        { "Delete", Qt::Key_Delete, N, 0, { Gesture::PopupItem, Keys::DeletePhrase } },
        { "Shift+Delete", Qt::Key_Delete, S, 0, { Gesture::PopupItem, Keys::DeletePhraseSet } },
        { "Ctrl+Delete", Qt::Key_Delete, Qt::ControlModifier, 0, none },
    };
    for (const Case& c : cases) {
        // Scan codes count only where the platform reports XKB codes.
        const bool xkb = c.scan != 0;
        EXPECT_EQ(Keys::commandOf(c.key, c.mods, c.scan, xkb), c.expected) << c.what;
    }
    EXPECT_EQ(Keys::commandOf(Qt::Key_Ampersand, N, 10, false), none) << "no XKB codes";
    EXPECT_EQ(Keys::commandOf(Qt::Key_1, N, 2, true), (Command { Gesture::Play, 0 }));
}

TEST(KeyCommands, CtrlWithTheArrowsAndZeroStepTempoAndKey)
{
    constexpr auto C = Qt::ControlModifier;
    const auto tempo = [](TempoStep step) { return Command { Gesture::Tempo, -1, step }; };
    const Command none;
    const Case cases[] = {
        { "Ctrl+Up", Qt::Key_Up, C, 0, tempo(TempoStep::Faster) },
        { "Ctrl+Down", Qt::Key_Down, C, 0, tempo(TempoStep::Slower) },
        { "Ctrl+Shift+Up", Qt::Key_Up, C | S, 0, tempo(TempoStep::FasterBy1) },
        { "Ctrl+Shift+Down", Qt::Key_Down, C | S, 0, tempo(TempoStep::SlowerBy1) },
        { "Ctrl+Right", Qt::Key_Right, C, 0, tempo(TempoStep::KeyUp) },
        { "Ctrl+Left", Qt::Key_Left, C, 0, tempo(TempoStep::KeyDown) },
        { "Ctrl+0", Qt::Key_0, C, 19, tempo(TempoStep::Original) },
        { "Ctrl+keypad 0", Qt::Key_0, C | K, 0, tempo(TempoStep::Original) },
        { "Up", Qt::Key_Up, N, 0, none },
        { "Shift+Up", Qt::Key_Up, S, 0, none },
        { "Ctrl+Alt+Up", Qt::Key_Up, C | Qt::AltModifier, 0, none },
        { "Ctrl+Shift+Right", Qt::Key_Right, C | S, 0, none },
        { "Ctrl+Shift+0", Qt::Key_0, C | S, 0, none },
        { "0", Qt::Key_0, N, 19, none },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Keys::commandOf(c.key, c.mods, c.scan, c.scan != 0), c.expected) << c.what;
    EXPECT_EQ(Keys::tempoKeyName(TempoStep::SlowerBy1), QStringLiteral("Ctrl+Shift+Down"));
}
