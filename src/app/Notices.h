// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace Commands {

// Screens one typed character of a file or folder name: leaves `KeyAscii` as it is or sets it
// to 0 (swallowed).
void FilterNameKey(qint16& KeyAscii);

// Kinds of ShowNotice: 1 information, 2 exclamation, 3 error, 4 question.
enum NoticeKind : qint16 {
    NoticeInformation = 1,
    NoticeExclamation = 2,
    NoticeError = 3,
    NoticeQuestion = 4
};

// Questions and notices show their text as plain text and stay above every dialog of the
// program.

// Asks a question in a modal box with Yes and No, the program caption as title and `icon`,
// parented to `parent`. True only when the user answered Yes: a box ended in any other way
// (No, Escape, its close box, the program ending while it is open) is a No. `defaultYes`
// chooses the button Enter presses.
bool AskYesNo(QWidget* parent, const QString& message, QMessageBox::Icon icon, bool defaultYes);

// Shows a modal box with one OK button, the kind's icon and `title` (the program caption when
// empty), parented to `parent`; returns when it is closed. Shows nothing for an unknown kind.
void ShowNotice(QWidget* parent, const QString& message, qint16 kind, const QString& title = {});

} // namespace Commands
