#include "manage/frmRename.h"

#include "app/Commands.h"
#include "app/Placement.h"
#include "library/PhraseLibrary.h"
#include "library/PhraseListHost.h"
#include "manage/FileOps.h"
#include "manage/ManageCommon.h"
#include "controls/NameEdit.h"
#include "app/Notices.h"
#include "sound/DX7Sound.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

using Manage::DialogFont;
using Manage::FromTwips;

frmRename::frmRename(
    PhraseListHost& host, Commands::ProgramValues& values, DX7Sound::Engine& engine)
    : QWidget(host.hostWindow(), Commands::kDialogFlags)
    , m_host(host)
    , m_values(values)
    , m_engine(engine)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Rename"));
    setFont(DialogFont(false));
    setFixedSize(5580 / 15, 1545 / 15);

    auto label = [this](const QString& text, QRect rect, bool bold) {
        auto* l = new QLabel(text, this);
        l->setTextFormat(Qt::PlainText);
        l->setGeometry(rect);
        l->setFont(DialogFont(bold));
        return l;
    };
    // Created in tab-index order so the focus chain runs name box, Cancel, Rename.
    Label1[0] = label(QStringLiteral("Old name:"), FromTwips(60, 120, 855, 255), false);
    lblOldName = label(QString(), FromTwips(1020, 120, 4635, 255), true);
    txtNewName = new NameEdit(this);
    txtNewName->setGeometry(FromTwips(960, 435, 3975, 315));
    txtNewName->setFont(DialogFont(true));
    Label1[1] = label(QStringLiteral("New name:"), FromTwips(60, 480, 855, 255), false);
    Command1 = new QPushButton(QStringLiteral("Cancel"), this);
    Command1->setGeometry(FromTwips(120, 960, 2595, 495));
    Command2 = new QPushButton(QStringLiteral("Rename"), this);
    Command2->setGeometry(FromTwips(2880, 960, 2595, 495));
    Command2->setFont(DialogFont(true));
    Label1[2] = label(QStringLiteral(".wav"), FromTwips(4980, 480, 855, 255), true);
    setTabOrder(txtNewName, Command1);
    setTabOrder(Command1, Command2);

    txtNewName->setKeyHandler([this](qint16& KeyAscii) { txtNewName_KeyPress(KeyAscii); });
    connect(Command1, &QPushButton::clicked, this, &frmRename::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmRename::Command2_Click);
    Commands::PressButtonsOnEnter(*this);
}

frmRename::~frmRename() = default;

void frmRename::Form_Load()
{
    Commands::PlaceWindow(*this);
    Commands::MakeTopmost(*this);
}

void frmRename::showFor(const QString& entry)
{
    const QString oldName = Manage::WithWavExtension(entry);
    m_hasEntry = !entry.isEmpty();
    lblOldName->setText(oldName);
    txtNewName->setText(oldName.left(oldName.size() - 4));
    txtNewName->selectAll();
    show();
    raise();
    activateWindow();
    txtNewName->setFocus();
}

void frmRename::txtNewName_KeyPress(qint16& KeyAscii)
{
    if (KeyAscii == 13) {
        KeyAscii = 0;
        Command2_Click();
        return;
    }
    Commands::FilterNameKey(KeyAscii);
}

void frmRename::Command1_Click()
{
    close();
}

void frmRename::Command2_Click()
{
    // Pending events run in the middle: they may close this dialog, so everything after them
    // works from locals and the host, which outlive it.
    QPointer<frmRename> self(this);
    PhraseListHost& host = m_host;
    DX7Sound::Engine& engine = m_engine;
    const QString wavPath = m_values.WAVpath;

    const qint16 i = host.currentListIndex();
    if (i >= 0 && i <= 2 && host.playing(i)) {
        engine.StopChannel(i);
        host.setPlaying(i, false);
        QCoreApplication::processEvents();
        if (host.unloaded())
            return; // the program is ending: no file changes any more
        host.setPlayButton(i, false);
    }
    if (!host.playing(0) && !host.playing(1) && !host.playing(2))
        host.setSyncButton(false);

    QString oldName;
    QString newText;
    bool hasEntry = false;
    if (self) {
        oldName = lblOldName->text();
        newText = txtNewName->text();
        hasEntry = m_hasEntry;
    }
    const QString source = hasEntry ? Commands::ResolveInDirectory(wavPath, oldName) : QString();

    // The set settings file goes with the WAV only when the first list's selection is the
    // very file being renamed; the file's name is fixed before the WAV changes its name.
    QString oldIni;
    if (i == 0 && !source.isEmpty()) {
        const QString first = host.selectedEntry(0);
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
        const QString target = newText + QStringLiteral(".wav");
        if (Manage::IsLibraryName(target))
            renamed = FileOps::RenameInLibrary(source, wavPath + target);
    }
    // Moved only after its WAV: a refused WAV rename must not hand the set's settings to
    // another set.
    if (renamed && !oldIni.isEmpty() && Commands::FileExists(oldIni)
        && Manage::IsPlainName(iniStem)) {
        FileOps::SetAttributesNormal(oldIni);
        FileOps::RenameInLibrary(oldIni, wavPath + iniStem + QStringLiteral(".ini"));
    }

    host.refreshPhraseLists();
    if (self)
        self->close();
}
