#include "manage/frmRenSet.h"

#include "app/Commands.h"
#include "app/Placement.h"
#include "library/PhraseLibrary.h"
#include "library/PhraseListHost.h"
#include "manage/FileOps.h"
#include "manage/ManageCommon.h"
#include "controls/NameEdit.h"
#include "app/Notices.h"
#include "sound/DX7Sound.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

using Manage::DialogFont;
using Manage::FromTwips;

frmRenSet::frmRenSet(
    PhraseListHost& host, Commands::ProgramValues& values, DX7Sound::Engine& engine)
    : QWidget(host.hostWindow(), Commands::kDialogFlags)
    , m_host(host)
    , m_values(values)
    , m_engine(engine)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Rename Phrase Set"));
    setFont(DialogFont(false));
    setFixedSize(5025 / 15, 1470 / 15);

    auto label = [this](const QString& text, QRect rect) {
        auto* l = new QLabel(text, this);
        l->setTextFormat(Qt::PlainText);
        l->setGeometry(rect);
        l->setFont(DialogFont(false));
        return l;
    };
    txtNewName = new NameEdit(this);
    txtNewName->setGeometry(FromTwips(1080, 75, 3855, 315));
    txtNewName->setFont(DialogFont(true));
    Label1[1] = label(QStringLiteral("Set name:"), FromTwips(60, 135, 855, 255));
    Command1 = new QPushButton(QStringLiteral("Cancel"), this);
    Command1->setGeometry(FromTwips(120, 900, 2355, 495));
    Command2 = new QPushButton(QStringLiteral("Rename"), this);
    Command2->setGeometry(FromTwips(2580, 900, 2355, 495));
    Command2->setFont(DialogFont(true));
    Combo1 = new QComboBox(this);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setGeometry(FromTwips(1080, 480, 3855, 315));
    Label1[0] = label(QStringLiteral("Choose name:"), FromTwips(60, 525, 1155, 255));
    setTabOrder(txtNewName, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Combo1);

    txtNewName->setKeyHandler([this](qint16& KeyAscii) { txtNewName_KeyPress(KeyAscii); });
    connect(Command1, &QPushButton::clicked, this, &frmRenSet::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmRenSet::Command2_Click);
    connect(Combo1, &QComboBox::activated, this, &frmRenSet::Combo1_Click);
    Commands::PressButtonsOnEnter(*this);
}

frmRenSet::~frmRenSet() = default;

QString frmRenSet::ProposeSetName(const QString& entry)
{
    QString name = Manage::WithoutWavExtension(entry);
    for (const char* marker : { "_1", "_2", "_3" }) {
        if (name.endsWith(QLatin1String(marker)))
            name.chop(2);
    }
    return name;
}

QStringList frmRenSet::SetNamesFromEntries(const QStringList& entries)
{
    QStringList names;
    QString previous;
    for (qsizetype k = entries.size() - 1; k >= 0; --k) {
        QString text = Manage::WithoutWavExtension(entries.at(k));
        if (text.size() >= 2)
            text.chop(2);
        const QString prefix = text.left(7);
        if (text.size() > 3 && prefix != previous)
            names.append(text);
        previous = prefix;
    }
    return names; // last entry first, as List1 holds them
}

void frmRenSet::Form_Load()
{
    Commands::PlaceWindow(*this);
    Commands::MakeTopmost(*this);
    Combo1->clear();
    Combo1->setEditText(QString());
    List1 = SetNamesFromEntries(m_host.entries(0));
    for (qsizetype k = List1.size() - 1; k >= 0; --k)
        Combo1->addItem(List1.at(k));
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(QString());
}

void frmRenSet::showFor(const QString& firstEntry)
{
    txtNewName->setText(ProposeSetName(firstEntry));
    txtNewName->selectAll();
    show();
    raise();
    activateWindow();
    txtNewName->setFocus();
}

void frmRenSet::Combo1_Click()
{
    txtNewName->setText(Combo1->currentText());
    txtNewName->deselect();
    txtNewName->setCursorPosition(int(txtNewName->text().size()));
    txtNewName->setFocus();
}

void frmRenSet::txtNewName_KeyPress(qint16& KeyAscii)
{
    if (KeyAscii == 13) {
        KeyAscii = 0;
        Command2_Click();
        return;
    }
    if (KeyAscii == 40 || KeyAscii == 41)
        return;
    Commands::FilterNameKey(KeyAscii);
}

void frmRenSet::Command1_Click()
{
    close();
}

void frmRenSet::Command2_Click()
{
    // Pending events run in the middle twice: they may close this dialog, so everything after
    // them works from locals and the host, which outlive it.
    QPointer<frmRenSet> self(this);
    PhraseListHost& host = m_host;
    DX7Sound::Engine& engine = m_engine;
    const QString wavPath = m_values.WAVpath;

    const QString firstAtStart = host.selectedEntry(0);
    const QString oldIni = firstAtStart.isEmpty()
        ? QString()
        : Commands::SetSettingsFileFromEntry(wavPath, firstAtStart);

    for (qint16 c = 0; c < 3; ++c) {
        if (host.playing(c)) {
            engine.StopChannel(c);
            host.setPlaying(c, false);
            host.setPlayButton(c, false);
        }
    }
    host.setSyncButton(false);
    QString newText = txtNewName->text();
    QCoreApplication::processEvents();
    if (host.unloaded())
        return; // the program is ending: no file changes any more
    if (self)
        newText = txtNewName->text();

    // Every source is fixed before the first rename, so a file selected in two lists is found
    // once: the second rename finds no source.
    std::array<QString, 3> entries;
    std::array<QString, 3> sources;
    for (int l = 0; l < 3; ++l) {
        entries[l] = host.selectedEntry(l);
        if (!entries[l].isEmpty())
            sources[l] = Commands::PhrasePathFromEntry(wavPath, entries[l]);
    }
    for (int l = 0; l < 3; ++l)
        FileOps::SetAttributesNormal(sources[l]);
    std::array<bool, 3> renamed {};
    for (int l = 0; l < 3; ++l) {
        const QString target = newText + QStringLiteral("_%1.wav").arg(l + 1);
        if (!sources[l].isEmpty() && Manage::IsLibraryName(target))
            renamed[l] = FileOps::RenameInLibrary(sources[l], wavPath + target);
    }
    // The settings file follows the first list's phrase only when that phrase was renamed and
    // is still the one that named the file.
    if (renamed[0] && entries[0] == firstAtStart && Commands::FileExists(oldIni)
        && Manage::IsPlainName(newText)) {
        FileOps::SetAttributesNormal(oldIni);
        FileOps::RenameInLibrary(oldIni, wavPath + newText + QStringLiteral(".ini"));
    }

    QCoreApplication::processEvents();
    if (host.unloaded())
        return;
    host.refreshPhraseLists();
    if (self)
        self->close();
}
