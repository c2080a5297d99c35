// SPDX-License-Identifier: GPL-3.0-or-later
#include "manage/LibraryCommands.h"

#include "app/Commands.h"
#include "app/Notices.h"
#include "library/PhraseLibrary.h"
#include "library/PhraseNames.h"
#include "manage/FileOps.h"
#include "manage/LibraryIntents.h"
#include "manage/frmRenSet.h"
#include "manage/frmRename.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <array>
#include <cerrno>

namespace {

// The delete confirmation: Yes and No, question icon, the program caption as title, Yes
// pressed by Enter. Only an explicit Yes is consent.
bool Confirm(QWidget* parent, const QString& text)
{
    return Commands::AskYesNo(parent, text, QMessageBox::Question, true);
}

// A file the trash refused, with the system's reason.
struct Refused
{
    QString path;
    QString name;
    QString reason;
};

// Moves each path to the trash. The ones the trash cannot take are returned; a file that is
// already gone (selected twice, deleted meanwhile) is not one of them.
QList<Refused> moveToTrash(const QList<std::pair<QString, QString>>& pathsAndNames)
{
    QList<Refused> refused;
    for (const auto& [path, name] : pathsAndNames) {
        if (path.isEmpty())
            continue;
        const Commands::IoResult r = FileOps::MoveToTrash(path);
        // A trash folder that could not be made is a refusal too, whatever its error number.
        const bool alreadyGone = r.error() == ENOENT && r.folder().isEmpty();
        if (!r && !alreadyGone)
            refused.append({ path, name, r.reason() });
    }
    return refused;
}

// Asks once whether the files the trash refused are to be deleted for good (No is the
// default), and deletes them only on an explicit Yes. A file that then cannot be deleted
// either is reported.
void offerPermanentDelete(LibraryIntents& player, QWidget* window, const QList<Refused>& refused)
{
    if (refused.isEmpty())
        return;
    QStringList parts;
    for (const Refused& r : refused)
        parts << QStringLiteral("'%1' (%2)").arg(r.name, r.reason);
    const QString question = QStringLiteral("The trash cannot take ") + parts.join(u", ")
        + (refused.size() == 1 ? QStringLiteral(". Delete it permanently?")
                               : QStringLiteral(". Delete them permanently?"));
    if (!Commands::AskYesNo(window, question, QMessageBox::Warning, false) || player.unloaded())
        return;
    QStringList failed;
    for (const Refused& r : refused) {
        const Commands::IoResult done = FileOps::DeletePermanently(r.path);
        if (!done && done.error() != ENOENT)
            failed << QStringLiteral("'%1' (%2)").arg(r.name, done.reason());
    }
    if (!failed.isEmpty())
        Commands::ShowNotice(window,
            QStringLiteral("Could not delete ") + failed.join(u", ") + QLatin1Char('.'),
            Commands::NoticeExclamation);
}

} // namespace

LibraryCommands::LibraryCommands(
    LibraryIntents& intents, Commands::ProgramValues& values, QWidget* window)
    : m_player(intents)
    , m_values(values)
    , m_window(window)
{ }

LibraryCommands::~LibraryCommands()
{
    delete m_rename.data();
    delete m_renSet.data();
}

PopupTarget LibraryCommands::presentTarget() const
{
    PopupTarget target;
    target.list = m_player.currentListIndex();
    for (int l = 0; l < 3; ++l)
        target.selected[static_cast<std::size_t>(l)] = m_player.selectedEntry(l);
    return target;
}

void LibraryCommands::mnuRename_Click()
{
    mnuRename_Click(presentTarget());
}

void LibraryCommands::mnuRenameSet_Click()
{
    mnuRenameSet_Click(presentTarget());
}

void LibraryCommands::mnuDel_Click()
{
    mnuDel_Click(presentTarget());
}

void LibraryCommands::mnuDelSet_Click()
{
    mnuDelSet_Click(presentTarget());
}

void LibraryCommands::selectionsChanged()
{
    if (m_renSet)
        m_renSet->showFiles();
}

void LibraryCommands::mnuRename_Click(const PopupTarget& target)
{
    const qint16 i = target.list;
    const QString entry = (i >= 0 && i <= 2) ? target.selected[std::size_t(i)] : QString();
    if (!m_rename) {
        m_rename = new frmRename(m_player, m_values, m_window);
        m_rename->Form_Load(); // processes pending events
    }
    if (m_rename && !m_player.unloaded())
        m_rename->showFor(entry);
}

void LibraryCommands::mnuRenameSet_Click(const PopupTarget& target)
{
    for (const QString& entry : target.selected) {
        if (entry.isEmpty()) {
            Commands::ShowNotice(m_window,
                QStringLiteral(
                    "To rename a phrase set you have to make a selection in every phrase list."),
                Commands::NoticeInformation);
            return;
        }
    }
    if (!m_renSet) {
        m_renSet = new frmRenSet(m_player, m_values, m_window);
        m_renSet->Form_Load(); // processes pending events
    }
    if (m_renSet && !m_player.unloaded())
        m_renSet->showFor(target.selected[0]);
}

void LibraryCommands::mnuDel_Click(const PopupTarget& target)
{
    const qint16 i = target.list;
    const QString entry = (i >= 0 && i <= 2) ? target.selected[std::size_t(i)] : QString();
    const QString name = Library::WithWavExtension(entry);
    if (!Confirm(m_window, QStringLiteral("Really delete phrase '") + name + QStringLiteral("' ?"))
        || m_player.unloaded())
        return;
    // Nothing selected names no file: the hidden ".wav" is never the phrase the user saw.
    const QString path
        = entry.isEmpty() ? QString() : Library::ResolveInDirectory(m_values.WAVpath, name);
    FileOps::SetAttributesNormal(path);
    offerPermanentDelete(m_player, m_window, moveToTrash({ { path, name } }));
    if (m_player.unloaded())
        return;
    QCoreApplication::processEvents();
    if (!m_player.unloaded())
        m_player.refreshLists();
}

void LibraryCommands::mnuDelSet_Click(const PopupTarget& target)
{
    const std::array<QString, 3> entries = target.selected;
    for (const QString& entry : entries) {
        if (entry.isEmpty()) {
            Commands::ShowNotice(m_window,
                QStringLiteral(
                    "To delete a phrase set you have to make a selection in every phrase list."),
                Commands::NoticeInformation);
            return;
        }
    }
    std::array<QString, 3> names;
    for (std::size_t l = 0; l < 3; ++l)
        names[l] = Library::WithWavExtension(entries[l]);
    const QString question = QStringLiteral("Really delete following phrases: ")
        + QStringLiteral("\r\n") + names[0] + QStringLiteral(", ") + names[1] + QStringLiteral(", ")
        + names[2] + QStringLiteral(" ?");
    if (!Confirm(m_window, question) || m_player.unloaded())
        return;

    m_player.stopAll();
    QCoreApplication::processEvents();
    if (m_player.unloaded())
        return;

    // Every path is fixed before the first delete, so a file selected in two lists goes once
    // and a second name never falls through to another file that differs only in case.
    const QString wavPath = m_values.WAVpath;
    std::array<QString, 3> paths;
    for (int l = 0; l < 3; ++l)
        paths[l] = Library::ResolveInDirectory(wavPath, names[l]);
    for (int l = 0; l < 3; ++l)
        FileOps::SetAttributesNormal(paths[l]);
    offerPermanentDelete(m_player, m_window,
        moveToTrash({ { paths[0], names[0] }, { paths[1], names[1] }, { paths[2], names[2] } }));
    if (m_player.unloaded())
        return;
    QCoreApplication::processEvents();
    if (!m_player.unloaded())
        m_player.refreshLists();
}

frmRename* LibraryCommands::renameDialog() const
{
    return m_rename;
}
frmRenSet* LibraryCommands::renameSetDialog() const
{
    return m_renSet;
}
