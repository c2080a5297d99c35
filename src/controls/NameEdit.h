// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLineEdit>
#include <functional>
#include <optional>

class QKeyEvent;

// A single-line box for a file or folder name that screens each typed character: the key's
// character code goes through the key handler its owner sets (the program's name boxes pass it
// to Commands::FilterNameKey), and a code set to 0 swallows the key. Without a handler every
// key passes. Keys that type nothing (arrows, Home, Delete) and pasted text are not screened.
// GUI thread only.
class NameEdit : public QLineEdit
{
    Q_OBJECT
public:
    // Receives the code of each typed character by reference; leaving 0 swallows the key.
    using KeyHandler = std::function<void(qint16& KeyAscii)>;

    explicit NameEdit(QWidget* parent = nullptr);

    // Replaces the key handler (an empty one lets every key pass). The handler may close or
    // delete the box's window: the box only looks at the code after the handler returns.
    void setKeyHandler(KeyHandler handler);

    // The character code a key event types: its text's first character, or the control code
    // of Ctrl+letter, Backspace (8), Enter (13), Escape (27). Empty for keys that type nothing.
    static std::optional<int> typedCode(const QKeyEvent& event);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    KeyHandler m_handler;
};
