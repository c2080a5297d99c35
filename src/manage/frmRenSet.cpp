// SPDX-License-Identifier: GPL-3.0-or-later
#include "manage/frmRenSet.h"

#include "app/Commands.h"
#include "controls/NameEdit.h"
#include "library/PhraseLibrary.h"
#include "library/PhraseNames.h"
#include "manage/FileOps.h"
#include "manage/LibraryIntents.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <array>

namespace {

// The height of the line that names the files a Rename changes.
constexpr int kFilesLineTwips = 255;

} // namespace

frmRenSet::frmRenSet(LibraryIntents& intents, Commands::ProgramValues& values, QWidget* parent)
    : RenameDialogShell(
        intents, values, parent, QStringLiteral("Rename Phrase Set"), 5025, 1470 + kFilesLineTwips)
{
    addNameBox(FromTwips(1080, 75, 3855, 315));
    txtNewName->setAccessibleName(QStringLiteral("Set name"));
    addCaption(QStringLiteral("setNameCaption"), QStringLiteral("Set name:"),
        FromTwips(60, 135, 855, 255), false);
    // The buttons sit one line lower than the design has them: the file line comes first.
    addButtons(FromTwips(120, 900 + kFilesLineTwips, 2355, 495),
        FromTwips(2580, 900 + kFilesLineTwips, 2355, 495)); // placed by fitFilesLine()
    setNameChoice = new QComboBox(this);
    setNameChoice->setObjectName(QStringLiteral("setNameChoice"));
    setNameChoice->setEditable(true);
    setNameChoice->setInsertPolicy(QComboBox::NoInsert);
    setNameChoice->setGeometry(FromTwips(1080, 480, 3855, 315));
    setNameChoice->setAccessibleName(QStringLiteral("Choose name"));
    QLabel* chooseCaption = addCaption(QStringLiteral("chooseNameCaption"),
        QStringLiteral("Choose name:"), FromTwips(60, 525, 1155, 255), false);
    // The caption takes the room its text needs, and the box beside it starts after it.
    const QSize needed = chooseCaption->sizeHint();
    chooseCaption->resize(std::max(chooseCaption->width(), needed.width()),
        std::max(chooseCaption->height(), needed.height()));
    const QRect box = setNameChoice->geometry();
    const int left = std::max(box.left(), chooseCaption->geometry().right() + 4);
    setNameChoice->setGeometry(left, box.top(), box.right() + 1 - left, box.height());
    filesLine
        = addCaption(QStringLiteral("filesLine"), QString(), FromTwips(60, 870, 4875, 255), false);
    setTabOrder(txtNewName, cancelButton);
    setTabOrder(cancelButton, renameButton);
    setTabOrder(renameButton, setNameChoice);

    connect(setNameChoice, &QComboBox::activated, this, &frmRenSet::setNameChosen);
    finishControls();
}

frmRenSet::~frmRenSet() = default;

void frmRenSet::Form_Load()
{
    RenameDialogShell::Form_Load();
    setNameChoice->clear();
    setNameChoice->setEditText(QString());
    setNames = Library::SetNamesFromEntries(m_intents.entries(0));
    for (qsizetype k = setNames.size() - 1; k >= 0; --k)
        setNameChoice->addItem(setNames.at(k));
    setNameChoice->setCurrentIndex(-1);
    setNameChoice->setEditText(QString());
}

void frmRenSet::showFor(const QString& firstEntry)
{
    showFiles();
    present(Library::ProposeSetName(firstEntry));
}

void frmRenSet::showFiles()
{
    QStringList files;
    for (int l = 0; l < 3; ++l) {
        const QString entry = m_intents.selectedEntry(l);
        files << (entry.isEmpty() ? QStringLiteral("(nothing in list %1)").arg(l + 1)
                                  : Library::WithWavExtension(entry));
    }
    const QString prefix = QStringLiteral("Renames: ");
    const QFontMetrics metrics(filesLine->font());
    const int width = filesLine->width();
    QString text = prefix + files.join(QStringLiteral(", "));
    int lines = 1;
    if (metrics.horizontalAdvance(text) > width) {
        // Too long for one line: one file a line, a name still too long shortened in its
        // middle, so its start and its marker stay in sight.
        for (QString& f : files)
            f = metrics.elidedText(f, Qt::ElideMiddle, width - metrics.horizontalAdvance(prefix));
        text = prefix + files.join(QStringLiteral(",\n"));
        lines = 3;
    }
    filesLine->setText(text);
    filesLine->setToolTip(prefix + files.join(QStringLiteral(", ")));
    fitFilesLine(lines);
}

void frmRenSet::fitFilesLine(int lines)
{
    const int lineHeight = kFilesLineTwips / 15;
    const int grown = (lines - 1) * lineHeight;
    const QRect line = FromTwips(60, 870, 4875, kFilesLineTwips);
    filesLine->setGeometry(line.x(), line.y(), line.width(), lines * lineHeight);
    const QRect cancel = FromTwips(120, 900 + kFilesLineTwips, 2355, 495);
    const QRect rename = FromTwips(2580, 900 + kFilesLineTwips, 2355, 495);
    cancelButton->setGeometry(cancel.translated(0, grown));
    renameButton->setGeometry(rename.translated(0, grown));
    setFixedSize(5025 / 15, (1470 + kFilesLineTwips) / 15 + grown);
}

void frmRenSet::setNameChosen()
{
    txtNewName->setText(setNameChoice->currentText());
    txtNewName->deselect();
    txtNewName->setCursorPosition(int(txtNewName->text().size()));
    txtNewName->setFocus();
}

bool frmRenSet::passesUnfiltered(qint16 KeyAscii) const
{
    return KeyAscii == 40 || KeyAscii == 41;
}

void frmRenSet::rename()
{
    // Pending events run in the middle twice: they may close this dialog, so everything after
    // them works from locals and the intents, which outlive it.
    QPointer<frmRenSet> self(this);
    LibraryIntents& player = m_intents;
    const QString wavPath = m_values.WAVpath;

    const QString firstAtStart = player.selectedEntry(0);
    const QString oldIni = firstAtStart.isEmpty()
        ? QString()
        : Commands::SetSettingsFileFromEntry(wavPath, firstAtStart);

    player.stopAll();
    QString newText = txtNewName->text();
    QCoreApplication::processEvents();
    if (player.unloaded())
        return; // the program is ending: no file changes any more
    if (self)
        newText = txtNewName->text();

    // Every source is fixed before the first rename, so a file selected in two lists is found
    // once: the second rename finds no source.
    std::array<QString, 3> entries;
    std::array<QString, 3> sources;
    for (int l = 0; l < 3; ++l) {
        entries[l] = player.selectedEntry(l);
        if (!entries[l].isEmpty())
            sources[l] = Commands::PhrasePathFromEntry(wavPath, entries[l]);
    }
    for (int l = 0; l < 3; ++l)
        FileOps::SetAttributesNormal(sources[l]);
    std::array<bool, 3> renamed {};
    for (int l = 0; l < 3; ++l) {
        const QString target = Library::SetRenameTarget(newText, l);
        if (!sources[l].isEmpty() && Library::IsLibraryName(target))
            renamed[l] = FileOps::RenameInLibrary(sources[l], wavPath + target);
    }
    // The settings file follows the first list's phrase only when that phrase was renamed and
    // is still the one that named the file.
    if (renamed[0] && entries[0] == firstAtStart && Commands::FileExists(oldIni)
        && Library::IsPlainName(newText)) {
        FileOps::SetAttributesNormal(oldIni);
        FileOps::RenameInLibrary(oldIni, wavPath + newText + QStringLiteral(".ini"));
    }

    QCoreApplication::processEvents();
    if (player.unloaded())
        return;
    player.refreshLists();
    if (self)
        self->close();
}
