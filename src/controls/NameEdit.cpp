// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/NameEdit.h"

#include <QKeyEvent>
#include <QPointer>

NameEdit::NameEdit(QWidget* parent)
    : QLineEdit(parent)
{ }

void NameEdit::setKeyHandler(KeyHandler handler)
{
    m_handler = std::move(handler);
}

std::optional<int> NameEdit::typedCode(const QKeyEvent& event)
{
    const int key = event.key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Escape:
        return 27;
    default:
        break;
    }
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
        // Ctrl+letter types the control code of the letter (Ctrl+C = 3, Ctrl+V = 22).
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            return key - Qt::Key_A + 1;
        return std::nullopt;
    }
    const QString text = event.text();
    if (text.isEmpty())
        return std::nullopt;
    return int(text.at(0).unicode());
}

void NameEdit::keyPressEvent(QKeyEvent* event)
{
    const std::optional<int> code = typedCode(*event);
    // Codes from 128 up pass every filter of the program; they are kept out of the 16-bit
    // signed code, where the upper half of the character range would read as negative.
    if (!code || *code >= 128 || !m_handler) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    qint16 keyAscii = qint16(*code);
    QPointer<NameEdit> self(this);
    m_handler(keyAscii);
    if (!self)
        return;
    if (keyAscii == 0) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
