#include "player/Form1.h"

#include "app/Commands.h"
#include "app/Fonts.h"
#include "app/Placement.h"
#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "dialogs/SettingsCommand.h"
#include "manage/LibraryCommands.h"
#include "player/PhraseList.h"
#include "player/PlayerHandlers.h"
#include "sound/DX7Sound.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QThread>

namespace {

// The highlight colour: the red panel behind the knobs (the knob artwork's background) and the
// column captions.
const QColor kHighlight(200, 50, 80);
const QColor kLight(224, 224, 224);
const QColor kListBack(64, 64, 64);
const QColor kListText(255, 255, 128);

QFont designFont(int pixelSize)
{
    return Commands::ProgramFont(pixelSize, true);
}

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, role, colour);
    palette.setColor(QPalette::Inactive, role, colour);
    palette.setColor(QPalette::Disabled, role, colour);
    widget->setPalette(palette);
}

QLabel* smallCaption(QWidget* parent, const QString& text, int x, int width)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, 40, width, 13);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setFont(designFont(Commands::kSmallFontPx));
    setColour(label, QPalette::WindowText, kLight);
    return label;
}

} // namespace

Form1::Form1(Commands::ProgramValues& values, DX7Sound::Engine& engine, QWidget* parent)
    : QMainWindow(parent)
    , m_values(values)
    , m_engine(engine)
    , m_library(std::make_unique<LibraryCommands>(*this, values, engine))
    , m_settings(std::make_unique<SettingsCommand>(*this, values))
{
    setWindowTitle(QStringLiteral("Form1"));
    buildControls();
    // The controls have loaded the artwork resources by now.
    if (QFile::exists(QStringLiteral(":/artwork/icon.png")))
        setWindowIcon(QIcon(QStringLiteral(":/artwork/icon.png")));
    buildMenus();
    connectControls();
    // The client area has a fixed size; the window follows it and cannot be resized.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    layout()->activate();
    Form_Load();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(716, 657);
    client->setAutoFillBackground(true);
    setColour(client, QPalette::Window, Qt::black);
    setCentralWidget(client);

    Picture1 = new QWidget(client);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(16, 16, 685, 501);
    Picture1->setAutoFillBackground(true);

    // Column layout: header, captions, knobs, keys and list; the small differences between
    // the columns' caption widths are part of the design.
    constexpr std::array<int, 3> headerLeft { 16, 236, 456 };
    constexpr std::array<int, 3> levelLeft { 15, 237, 455 };
    constexpr std::array<int, 3> levelWidth { 53, 49, 53 };
    constexpr std::array<int, 3> panLeft { 83, 303, 519 };
    constexpr std::array<int, 3> panWidth { 33, 33, 41 };
    constexpr std::array<int, 3> muteIndex { 3, 6, 8 };
    constexpr std::array<int, 3> playIndex { 4, 5, 7 };
    std::array<animKnob*, 6> knobs {};
    std::array<miniButton*, 3> mutes {};
    std::array<miniButtonGreen*, 3> plays {};

    for (int c = 0; c < 3; ++c) {
        const int shift = 220 * c;
        const QString number = QString::number(c + 1);

        Picture2[c] = new QWidget(Picture1);
        Picture2[c]->setObjectName(QStringLiteral("Picture2_%1").arg(c));
        Picture2[c]->setGeometry(headerLeft[c], 8, 209, 29);
        Picture2[c]->setAutoFillBackground(true);
        setColour(Picture2[c], QPalette::Window, kLight);

        Label2[c] = new QLabel(QStringLiteral("P H R A S E   ") + number, Picture2[c]);
        Label2[c]->setObjectName(QStringLiteral("Label2_%1").arg(c));
        Label2[c]->setGeometry(0, 0, 213, 29);
        Label2[c]->setAlignment(Qt::AlignCenter);
        Label2[c]->setFont(designFont(Commands::kLargeFontPx));

        lblVolume[c] = smallCaption(Picture1, QStringLiteral("Level"), levelLeft[c], levelWidth[c]);
        Label1[c] = smallCaption(Picture1, QStringLiteral("Pan"), panLeft[c], panWidth[c]);
        Label1[muteIndex[c]] = smallCaption(Picture1, QStringLiteral("Mute"), 140 + shift, 33);
        Label1[playIndex[c]] = smallCaption(Picture1, QStringLiteral("Play"), 184 + shift, 33);

        auto* level = new animKnob(Picture1);
        level->setGeometry(18 + shift, 52, 50, 50);
        level->setMax(100);
        level->setMin(40);
        level->setValue(80);
        level->setAccessibleName(QStringLiteral("Level ") + number);
        auto* pan = new animKnob(Picture1);
        pan->setGeometry(75 + shift, 52, 50, 50);
        pan->setMax(65);
        pan->setMin(35);
        pan->setValue(50);
        pan->setAccessibleName(QStringLiteral("Pan ") + number);
        knobs[std::size_t(c) * 2] = level;
        knobs[std::size_t(c) * 2 + 1] = pan;

        mutes[c] = new miniButton(Picture1);
        mutes[c]->setGeometry(144 + shift, 64, 29, 20);
        mutes[c]->setAccessibleName(QStringLiteral("Mute ") + number);
        plays[c] = new miniButtonGreen(Picture1);
        plays[c]->setGeometry(188 + shift, 64, 29, 20);
        plays[c]->setAccessibleName(QStringLiteral("Play ") + number);

        auto* list = new PhraseList(Picture1);
        list->setObjectName(QStringLiteral("lstPhrase_%1").arg(c));
        list->setGeometry(headerLeft[c], 104, 209, 381);
        list->setFont(designFont(Commands::kSmallFontPx));
        list->setAutoFillBackground(true);
        setColour(list, QPalette::Base, kListBack);
        setColour(list, QPalette::Window, kListBack);
        setColour(list, QPalette::Text, kListText);
        list->setAccessibleName(QStringLiteral("Phrase ") + number);
        lstPhrase[c] = list;
    }
    animKnob1 = knobs[0];
    animKnob2 = knobs[1];
    animKnob3 = knobs[2];
    animKnob4 = knobs[3];
    animKnob5 = knobs[4];
    animKnob6 = knobs[5];
    miniButton1 = mutes[0];
    miniButton2 = mutes[1];
    miniButton3 = mutes[2];
    miniButtonGreen1 = plays[0];
    miniButtonGreen2 = plays[1];
    miniButtonGreen3 = plays[2];

    syncButton1 = new syncButton(client);
    syncButton1->setGeometry(16, 524, 685, 121);
    syncButton1->setAccessibleName(QStringLiteral("Sync all: start / stop"));
}

void Form1::buildMenus()
{
    mnuOptions = menuBar()->addMenu(QStringLiteral("Options"));
    mnuSettings = mnuOptions->addAction(QStringLiteral("Settings..."));
    mnuOptions->addSeparator();
    mnuSync = mnuOptions->addAction(QStringLiteral("Phrase Sync"));
    mnuAutoPlay = mnuOptions->addAction(QStringLiteral("Auto Play"));
    mnuEnding = mnuOptions->addAction(QStringLiteral("Show Extension"));
    for (QAction* item : { mnuSync, mnuAutoPlay, mnuEnding })
        item->setCheckable(true);
    mnuSync->setChecked(true);
    mnuAutoPlay->setChecked(true);
    mnuEnding->setChecked(false);

    mnuSave = menuBar()->addAction(QStringLiteral("Save Settings"));

    mnuPop = new QMenu(QStringLiteral("PopupMenu"), this);
    mnuRename = mnuPop->addAction(QStringLiteral("Rename Phrase"));
    mnuRenameSet = mnuPop->addAction(QStringLiteral("Rename Phrase Set"));
    mnuPop->addSeparator();
    mnuDel = mnuPop->addAction(QStringLiteral("Delete Phrase"));
    mnuDelSet = mnuPop->addAction(QStringLiteral("Delete Phrase Set"));
}

void Form1::connectControls()
{
    for (int c = 0; c < 3; ++c) {
        connect(lstPhrase[c], &PhraseList::MouseDown, this,
            [this, c](Qt::MouseButton button) { Player::lstPhrase_MouseDown(*this, c, button); });
        connect(
            levelKnob(c), &animKnob::Scroll, this,
            [this, c](qint16& value) { Player::LevelKnob_Scroll(*this, c, value); },
            Qt::DirectConnection);
        connect(
            panKnob(c), &animKnob::Scroll, this,
            [this, c](qint16& value) { Player::PanKnob_Scroll(*this, c, value); },
            Qt::DirectConnection);
        connect(panKnob(c), &animKnob::DblClick, this,
            [this, c] { Player::PanKnob_DblClick(*this, c); });
        connect(
            muteButton(c), &StripButton::Push, this,
            [this, c](bool& value) { Player::MuteButton_Push(*this, c, value); },
            Qt::DirectConnection);
        connect(
            playButton(c), &StripButton::Push, this,
            [this, c](bool& value) { Player::PlayButton_Push(*this, c, value); },
            Qt::DirectConnection);
    }
    connect(
        syncButton1, &StripButton::Push, this,
        [this](bool& value) { Player::syncButton_Push(*this, value); }, Qt::DirectConnection);

    // Qt flips a checkable item before it reports the click; the click handlers invert the
    // check mark themselves, so that flip is undone first.
    const auto checkItem = [this](QAction* item, void (*handler)(Form1&)) {
        connect(item, &QAction::triggered, this, [this, item, handler] {
            item->setChecked(!item->isChecked());
            handler(*this);
        });
    };
    checkItem(mnuSync, &Player::mnuSync_Click);
    checkItem(mnuAutoPlay, &Player::mnuAutoPlay_Click);
    checkItem(mnuEnding, &Player::mnuEnding_Click);
    connect(mnuSave, &QAction::triggered, this, [this] { Player::mnuSave_Click(*this); });
    connect(mnuSettings, &QAction::triggered, this, [this] { m_settings->mnuSettings_Click(); });
    connect(mnuRename, &QAction::triggered, this, [this] { m_library->mnuRename_Click(); });
    connect(mnuRenameSet, &QAction::triggered, this, [this] { m_library->mnuRenameSet_Click(); });
    connect(mnuDel, &QAction::triggered, this, [this] { m_library->mnuDel_Click(); });
    connect(mnuDelSet, &QAction::triggered, this, [this] { m_library->mnuDelSet_Click(); });
}

void Form1::Form_Load()
{
    Commands::PlaceWindow(*this);
    setColour(Picture1, QPalette::Window, kHighlight);
    for (QLabel* caption : Label2)
        setColour(caption, QPalette::WindowText, kHighlight);
}

void Form1::LoadDXSound()
{
    m_engine.InitDirectSound();
    m_engine.InitChannels(10, m_values.DefaultWav);
    for (qint16 channel = 0; channel < 3; ++channel)
        m_engine.SetChannelVolume(channel, 80);
}

void Form1::RefreshPhraseLists()
{
    m_listing.setPath(m_values.WAVpath);
    for (PhraseList* list : lstPhrase)
        list->clear();
    // Let the emptied lists repaint; other handlers may run here and find them empty.
    QCoreApplication::processEvents();
    const auto columns = Commands::SplitIntoColumns(m_listing.names(), m_values.ShowEnding);
    for (int c = 0; c < 3; ++c)
        lstPhrase[c]->addItems(columns[c]);
}

void Form1::applyOptionChecks()
{
    mnuEnding->setChecked(m_values.ShowEnding == 1);
    mnuAutoPlay->setChecked(m_values.AutoPlay == 1);
    mnuSync->setChecked(m_values.PhraseSync == 1);
}

void Form1::showPopup()
{
    mnuPop->popup(QCursor::pos());
}

animKnob* Form1::levelKnob(int column) const
{
    const std::array<animKnob*, 3> k { animKnob1, animKnob3, animKnob5 };
    return k.at(column);
}

animKnob* Form1::panKnob(int column) const
{
    const std::array<animKnob*, 3> k { animKnob2, animKnob4, animKnob6 };
    return k.at(column);
}

miniButton* Form1::muteButton(int column) const
{
    const std::array<miniButton*, 3> b { miniButton1, miniButton2, miniButton3 };
    return b.at(column);
}

miniButtonGreen* Form1::playButton(int column) const
{
    const std::array<miniButtonGreen*, 3> b { miniButtonGreen1, miniButtonGreen2,
        miniButtonGreen3 };
    return b.at(column);
}

QString Form1::selectedEntry(int list) const
{
    const QList<QListWidgetItem*> selected = lstPhrase.at(list)->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

QStringList Form1::entries(int list) const
{
    const PhraseList* box = lstPhrase.at(list);
    QStringList texts;
    texts.reserve(box->count());
    for (int row = 0; row < box->count(); ++row)
        texts << box->item(row)->text();
    return texts;
}

void Form1::setPlayButton(int column, bool down)
{
    playButton(column)->setValue(down);
}

void Form1::setSyncButton(bool down)
{
    syncButton1->setValue(down);
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Form_Unload runs once; a later close (a signal, the session ending) only agrees.
    event->accept();
    if (m_unloaded)
        return;
    m_unloaded = true;
    for (qint16 column = 0; column < 3; ++column) {
        if (Playing[column])
            m_engine.StopChannel(column);
    }
    Commands::StoreProgramFlags(m_values);
    // End the program at once: every running event loop returns (nested ones of open dialogs
    // too), and the dialogs go with the window without their own close handlers running.
    // Without a running loop there is nothing to end (and exit() would make every later loop
    // return at once); Main checks unloaded() before it enters its loop.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}
