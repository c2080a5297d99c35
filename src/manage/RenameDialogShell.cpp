// SPDX-License-Identifier: GPL-3.0-or-later
#include "manage/RenameDialogShell.h"

#include "app/DialogKeys.h"
#include "app/Fonts.h"
#include "app/Notices.h"
#include "app/Placement.h"
#include "controls/NameEdit.h"

#include <QLabel>
#include <QPushButton>

namespace {

// The dialogs' face: Liberation Sans 11 px, bold (weight 700) or regular.
QFont dialogFont(bool bold)
{
    return Commands::ProgramFont(Commands::kSmallFontPx, bold);
}

} // namespace

RenameDialogShell::RenameDialogShell(LibraryIntents& intents, Commands::ProgramValues& values,
    QWidget* parent, const QString& title, int widthTwips, int heightTwips)
    : QWidget(parent, Commands::kDialogFlags)
    , m_intents(intents)
    , m_values(values)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title);
    setFont(dialogFont(false));
    setFixedSize(widthTwips / 15, heightTwips / 15);
}

RenameDialogShell::~RenameDialogShell() = default;

QRect RenameDialogShell::FromTwips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QLabel* RenameDialogShell::addCaption(
    const QString& objectName, const QString& text, QRect rect, bool bold)
{
    auto* label = new QLabel(text, this);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(rect);
    label->setFont(dialogFont(bold));
    return label;
}

void RenameDialogShell::addNameBox(QRect rect)
{
    txtNewName = new NameEdit(this);
    txtNewName->setObjectName(QStringLiteral("txtNewName"));
    txtNewName->setGeometry(rect);
    txtNewName->setFont(dialogFont(true));
    txtNewName->setKeyHandler([this](qint16& KeyAscii) { txtNewName_KeyPress(KeyAscii); });
}

void RenameDialogShell::addButtons(QRect cancelRect, QRect renameRect)
{
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setGeometry(cancelRect);
    renameButton = new QPushButton(QStringLiteral("Rename"), this);
    renameButton->setObjectName(QStringLiteral("renameButton"));
    renameButton->setGeometry(renameRect);
    renameButton->setFont(dialogFont(true));
}

void RenameDialogShell::finishControls()
{
    connect(cancelButton, &QPushButton::clicked, this, &RenameDialogShell::cancel);
    connect(renameButton, &QPushButton::clicked, this, &RenameDialogShell::rename);
    Commands::DialogKeys(*this, renameButton, cancelButton);
}

void RenameDialogShell::Form_Load()
{
    Commands::PlaceWindow(*this);
    Commands::MakeTopmost(*this);
}

void RenameDialogShell::present(const QString& proposal)
{
    txtNewName->setText(proposal);
    txtNewName->selectAll();
    show();
    raise();
    activateWindow();
    txtNewName->setFocus();
}

void RenameDialogShell::cancel()
{
    close();
}

bool RenameDialogShell::passesUnfiltered(qint16) const
{
    return false;
}

void RenameDialogShell::txtNewName_KeyPress(qint16& KeyAscii)
{
    if (KeyAscii == 13) {
        KeyAscii = 0;
        rename();
        return;
    }
    // Escape closes the dialog as Cancel does, also from the name box.
    if (KeyAscii == 27) {
        KeyAscii = 0;
        cancel();
        return;
    }
    if (passesUnfiltered(KeyAscii))
        return;
    Commands::FilterNameKey(KeyAscii);
}
