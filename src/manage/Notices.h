#pragma once

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

// Shows a modal box with one OK button, the kind's icon and `title` (the program caption when
// empty), parented to `parent`; returns when it is closed. Shows nothing for an unknown kind.
void ShowNotice(QWidget* parent, const QString& message, qint16 kind, const QString& title = {});

} // namespace Commands
