// SPDX-License-Identifier: GPL-3.0-or-later
#include "manage/frmRename.h"

#include "app/Commands.h"
#include "controls/NameEdit.h"
#include "library/PhraseLibrary.h"
#include "library/PhraseNames.h"
#include "manage/FileOps.h"
#include "manage/LibraryIntents.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>

frmRename::frmRename(LibraryIntents& intents, Commands::ProgramValues& values, QWidget* parent)
    : RenameDialogShell(intents, values, parent, QStringLiteral("Rename"), 5580, 1545)
{
    // Created in tab-index order so the focus chain runs name box, Cancel, Rename.
    addCaption(QStringLiteral("oldNameCaption"), QStringLiteral("Old name:"),
        FromTwips(60, 120, 855, 255), false);
    oldNameLabel = addCaption(
        QStringLiteral("oldNameLabel"), QString(), FromTwips(1020, 120, 4635, 255), true);
    addNameBox(FromTwips(960, 435, 3975, 315));
    txtNewName->setAccessibleName(QStringLiteral("New name"));
    addCaption(QStringLiteral("newNameCaption"), QStringLiteral("New name:"),
        FromTwips(60, 480, 855, 255), false);
    addButtons(FromTwips(120, 960, 2595, 495), FromTwips(2880, 960, 2595, 495));
    addCaption(QStringLiteral("extensionCaption"), Library::kWavEnding,
        FromTwips(4980, 480, 855, 255), true);
    setTabOrder(txtNewName, cancelButton);
    setTabOrder(cancelButton, renameButton);
    finishControls();
}

frmRename::~frmRename() = default;

void frmRename::showFor(const QString& entry)
{
    const QString oldName = Library::WithWavExtension(entry);
    m_hasEntry = !entry.isEmpty();
    oldNameLabel->setText(oldName);
    present(oldName.left(oldName.size() - 4));
}

void frmRename::rename()
{
    // Pending events run in the middle: they may close this dialog, so everything after them
    // works from locals and the intents, which outlive it.
    QPointer<frmRename> self(this);
    LibraryIntents& player = m_intents;
    const QString wavPath = m_values.WAVpath;

    const qint16 i = player.currentListIndex();
    if (!player.stopColumn(i))
        return; // the program is ending: no file changes any more

    QString oldName;
    QString newText;
    bool hasEntry = false;
    if (self) {
        oldName = oldNameLabel->text();
        newText = txtNewName->text();
        hasEntry = m_hasEntry;
    }
    const QString source = hasEntry ? Library::ResolveInDirectory(wavPath, oldName) : QString();

    // The set settings file goes with the WAV only when the first list's selection is the
    // very file being renamed; the file's name is fixed before the WAV changes its name.
    QString oldIni;
    if (i == 0 && !source.isEmpty()) {
        const QString first = player.selectedEntry(0);
        if (!first.isEmpty()
            && FileOps::SameFile(Commands::PhrasePathFromEntry(wavPath, first), source))
            oldIni = Commands::SetSettingsFileFromEntry(wavPath, first);
    }
    QString iniStem = newText;
    if (iniStem.endsWith(QLatin1String("_1")))
        iniStem.chop(2);

    bool renamed = false;
    if (!source.isEmpty()) {
        FileOps::SetAttributesNormal(source);
        const QString target = Library::PhraseRenameTarget(newText);
        if (Library::IsLibraryName(target))
            renamed = FileOps::RenameInLibrary(source, wavPath + target);
    }
    // Moved only after its WAV: a refused WAV rename must not hand the set's settings to
    // another set.
    if (renamed && !oldIni.isEmpty() && Commands::FileExists(oldIni)
        && Library::IsPlainName(iniStem)) {
        FileOps::SetAttributesNormal(oldIni);
        FileOps::RenameInLibrary(oldIni, wavPath + iniStem + QStringLiteral(".ini"));
    }

    player.refreshLists();
    if (self)
        self->close();
}
