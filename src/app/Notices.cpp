// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Notices.h"

#include "app/Commands.h"

#include <QMessageBox>

namespace Commands {

void FilterNameKey(qint16& KeyAscii)
{
    const qint16 code = KeyAscii;
    switch (code) {
    case 3: // Ctrl+C
    case 8: // Backspace
    case 13: // Enter
    case 22: // Ctrl+V
    case 32: // blank
    case 33: // !
    case 38: // &
    case 39: // '
    case 43: // +
    case 45: // -
        return;
    default:
        break;
    }
    if (code < 48 || (code >= 58 && code <= 62) || (code >= 91 && code <= 94))
        KeyAscii = 0;
}

namespace {

// Every question and notice shows its text as written (a file named "<i>loop.wav" is not
// markup) and stays above the program's dialogs, which are themselves kept on top: a box
// hidden under the Rename dialog would block the program unseen.
void prepare(QMessageBox& box)
{
    box.setTextFormat(Qt::PlainText);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

} // namespace

bool AskYesNo(QWidget* parent, const QString& message, QMessageBox::Icon icon, bool defaultYes)
{
    QMessageBox box(icon, kAppTitle, message, QMessageBox::Yes | QMessageBox::No, parent);
    prepare(box);
    box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    box.exec();
    // exec() also returns when the program ends its event loops; only a click on Yes (or Enter
    // on it) leaves Yes as the clicked button.
    return box.clickedButton() == box.button(QMessageBox::Yes);
}

void ShowNotice(QWidget* parent, const QString& message, qint16 kind, const QString& title)
{
    QMessageBox::Icon icon;
    switch (kind) {
    case NoticeInformation:
        icon = QMessageBox::Information;
        break;
    case NoticeExclamation:
        icon = QMessageBox::Warning;
        break;
    case NoticeError:
        icon = QMessageBox::Critical;
        break;
    case NoticeQuestion:
        icon = QMessageBox::Question;
        break;
    default:
        return;
    }
    QMessageBox box(icon, title.isEmpty() ? kAppTitle : title, message, QMessageBox::Ok, parent);
    prepare(box);
    box.exec();
}

} // namespace Commands
