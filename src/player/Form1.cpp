// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/Form1.h"

#include "app/Commands.h"
#include "app/Fonts.h"
#include "app/Notices.h"
#include "app/Placement.h"
#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "dialogs/SettingsCommand.h"
#include "manage/LibraryCommands.h"
#include "player/PhraseList.h"
#include "player/PlayerKeys.h"
#include "player/PlayerModel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QThread>
#include <cstdio>

#include <algorithm>

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

QLabel* smallCaption(QWidget* parent, const QString& name, const QString& text, int x, int width)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(x, 40, width, 13);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setFont(designFont(Commands::kSmallFontPx));
    setColour(label, QPalette::WindowText, kLight);
    return label;
}

} // namespace

Form1::Form1(Commands::ProgramValues& values, QWidget* parent)
    : QMainWindow(parent)
    , m_values(values)
{
    setWindowTitle(QStringLiteral("Form1"));
    buildControls();
    // The controls have loaded the artwork resources by now.
    if (QFile::exists(QStringLiteral(":/artwork/icon.png")))
        setWindowIcon(QIcon(QStringLiteral(":/artwork/icon.png")));
    buildMenus();
    // The client area has a fixed size; the window follows it and cannot be resized.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    layout()->activate();
    Form_Load();
}

void Form1::attach(PlayerModel& model, LibraryCommands& library, SettingsCommand& settings)
{
    m_model = &model;
    m_library = &library;
    m_settings = &settings;
    connectControls();
}

PlayerControls Form1::keyControls()
{
    PlayerControls keyed;
    keyed.window = this;
    keyed.menuBar = menuBar();
    keyed.options = mnuOptions;
    keyed.save = mnuSave;
    keyed.popupItems = { mnuRename, mnuRenameSet, mnuDel, mnuDelSet };
    keyed.tempo = mnuTempoItems;
    for (std::size_t c = 0; c < 3; ++c) {
        keyed.lists[c] = lstPhrase[c];
        keyed.level[c] = m_levelKnob[c];
        keyed.pan[c] = m_panKnob[c];
        keyed.mute[c] = m_muteButton[c];
        keyed.play[c] = m_playButton[c];
    }
    keyed.sync = m_sync;
    return keyed;
}

Form1::~Form1()
{
    // The lists outlive the commands and the model (they go with the window's children), and
    // emptying a list reports a change of selection.
    for (PhraseList* list : lstPhrase)
        disconnect(list, nullptr, this, nullptr);
}

void Form1::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(716, 657);
    client->setAutoFillBackground(true);
    setColour(client, QPalette::Window, Qt::black);
    setCentralWidget(client);

    m_panel = new QWidget(client);
    m_panel->setObjectName(QStringLiteral("stripPanel"));
    m_panel->setGeometry(16, 16, 685, 501);
    m_panel->setAutoFillBackground(true);

    // Column layout: header, captions, knobs, keys and list; the small differences between
    // the columns' caption widths are part of the design.
    constexpr std::array<int, 3> headerLeft { 16, 236, 456 };
    constexpr std::array<int, 3> levelLeft { 15, 237, 455 };
    constexpr std::array<int, 3> levelWidth { 53, 49, 53 };
    constexpr std::array<int, 3> panLeft { 83, 303, 519 };
    constexpr std::array<int, 3> panWidth { 33, 33, 41 };

    for (int c = 0; c < 3; ++c) {
        const int shift = 220 * c;
        const QString number = QString::number(c + 1);
        const auto named = [&number](const char* stem) { return QLatin1String(stem) + number; };

        auto* header = new QWidget(m_panel);
        header->setObjectName(named("header"));
        header->setGeometry(headerLeft[c], 8, 209, 29);
        header->setAutoFillBackground(true);
        setColour(header, QPalette::Window, kLight);

        m_headerCaption[c] = new QLabel(QStringLiteral("P H R A S E   ") + number, header);
        m_headerCaption[c]->setObjectName(named("headerCaption"));
        m_headerCaption[c]->setGeometry(0, 0, 213, 29);
        m_headerCaption[c]->setAlignment(Qt::AlignCenter);
        m_headerCaption[c]->setFont(designFont(Commands::kLargeFontPx));
        // The caption is spaced out for the eye; a screen reader says it as the word.
        m_headerCaption[c]->setAccessibleName(QStringLiteral("Phrase ") + number);

        smallCaption(
            m_panel, named("levelCaption"), QStringLiteral("Level"), levelLeft[c], levelWidth[c]);
        smallCaption(m_panel, named("panCaption"), QStringLiteral("Pan"), panLeft[c], panWidth[c]);
        smallCaption(m_panel, named("muteCaption"), QStringLiteral("Mute"), 140 + shift, 33);
        smallCaption(m_panel, named("playCaption"), QStringLiteral("Play"), 184 + shift, 33);

        // The knobs are animKnob1..animKnob6 of the design: Level of column n is 2n - 1, Pan 2n.
        auto* level = new animKnob(m_panel);
        level->setObjectName(QStringLiteral("animKnob%1").arg(2 * c + 1));
        level->setGeometry(18 + shift, 52, 50, 50);
        level->setMax(100);
        level->setMin(40);
        level->setValue(80);
        level->setAccessibleName(QStringLiteral("Level ") + number);
        auto* pan = new animKnob(m_panel);
        pan->setObjectName(QStringLiteral("animKnob%1").arg(2 * c + 2));
        pan->setGeometry(75 + shift, 52, 50, 50);
        pan->setMax(65);
        pan->setMin(35);
        pan->setValue(50);
        pan->setAccessibleName(QStringLiteral("Pan ") + number);
        m_levelKnob[c] = level;
        m_panKnob[c] = pan;

        m_muteButton[c] = new miniButton(m_panel);
        m_muteButton[c]->setObjectName(named("miniButton"));
        m_muteButton[c]->setGeometry(144 + shift, 64, 29, 20);
        m_muteButton[c]->setAccessibleName(QStringLiteral("Mute ") + number);
        m_playButton[c] = new miniButtonGreen(m_panel);
        m_playButton[c]->setObjectName(named("miniButtonGreen"));
        m_playButton[c]->setGeometry(188 + shift, 64, 29, 20);
        m_playButton[c]->setAccessibleName(QStringLiteral("Play ") + number);

        auto* list = new PhraseList(m_panel);
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

    m_sync = new syncButton(client);
    m_sync->setObjectName(QStringLiteral("syncButton1"));
    m_sync->setGeometry(16, 524, 685, 121);
    m_sync->setAccessibleName(QStringLiteral("Sync all: start / stop"));
}

void Form1::buildMenus()
{
    mnuOptions = menuBar()->addMenu(QStringLiteral("Options"));
    mnuOptions->setObjectName(QStringLiteral("mnuOptions"));
    mnuSettings = mnuOptions->addAction(QStringLiteral("Settings..."));
    mnuOptions->addSeparator();
    mnuSync = mnuOptions->addAction(QStringLiteral("Phrase Sync"));
    mnuAutoPlay = mnuOptions->addAction(QStringLiteral("Auto Play"));
    mnuEnding = mnuOptions->addAction(QStringLiteral("Show Extension"));
    mnuLineUp = mnuOptions->addAction(QStringLiteral("Line Up by Name"));
    mnuInStep = mnuOptions->addAction(QStringLiteral("Play Parts in Step"));
    for (QAction* item : { mnuSync, mnuAutoPlay, mnuEnding, mnuLineUp, mnuInStep })
        item->setCheckable(true);
    mnuSync->setChecked(true);
    mnuAutoPlay->setChecked(true);
    mnuEnding->setChecked(false);
    mnuLineUp->setChecked(true);
    mnuInStep->setChecked(false);

    mnuSave = menuBar()->addAction(QStringLiteral("Save Settings"));

    mnuTempo = menuBar()->addMenu(QStringLiteral("Tempo"));
    mnuTempo->setObjectName(QStringLiteral("mnuTempo"));
    const std::array<std::pair<const char*, const char*>, 7> tempoItems { {
        { "Faster", "mnuFaster" },
        { "Slower", "mnuSlower" },
        { "Faster by 1 %", "mnuFaster1" },
        { "Slower by 1 %", "mnuSlower1" },
        { "Key up", "mnuKeyUp" },
        { "Key down", "mnuKeyDown" },
        { "Original tempo and key", "mnuOriginalTempo" },
    } };
    for (std::size_t i = 0; i < tempoItems.size(); ++i) {
        if (i == 4 || i == 6)
            mnuTempo->addSeparator();
        QAction* item = mnuTempo->addAction(QString::fromUtf8(tempoItems[i].first));
        item->setObjectName(QLatin1String(tempoItems[i].second));
        // Shown beside the item; the window-wide key map acts on the keys themselves.
        item->setShortcut(QKeySequence(Keys::tempoKeyName(static_cast<TempoStep>(i))));
        item->setShortcutContext(Qt::WidgetShortcut);
        mnuTempoItems[i] = item;
    }

    mnuPop = new QMenu(QStringLiteral("PopupMenu"), this);
    mnuRename = mnuPop->addAction(QStringLiteral("Rename Phrase"));
    mnuRenameSet = mnuPop->addAction(QStringLiteral("Rename Phrase Set"));
    mnuPop->addSeparator();
    mnuDel = mnuPop->addAction(QStringLiteral("Delete Phrase"));
    mnuDelSet = mnuPop->addAction(QStringLiteral("Delete Phrase Set"));

    mnuPop->setObjectName(QStringLiteral("mnuPop"));
    const std::array<std::pair<QAction*, const char*>, 11> names { {
        { mnuSettings, "mnuSettings" },
        { mnuSync, "mnuSync" },
        { mnuAutoPlay, "mnuAutoPlay" },
        { mnuEnding, "mnuEnding" },
        { mnuLineUp, "mnuLineUp" },
        { mnuInStep, "mnuInStep" },
        { mnuSave, "mnuSave" },
        { mnuRename, "mnuRename" },
        { mnuRenameSet, "mnuRenameSet" },
        { mnuDel, "mnuDel" },
        { mnuDelSet, "mnuDelSet" },
    } };
    for (const auto& [item, name] : names)
        item->setObjectName(QLatin1String(name));
}

void Form1::connectControls()
{
    PlayerModel& model = *m_model;
    for (int c = 0; c < 3; ++c) {
        connect(lstPhrase[c], &PhraseList::MouseDown, this,
            [&model, c](Qt::MouseButton button) { model.pressList(c, button); });
        // An open Rename Phrase Set names the files it would rename: the present selections.
        connect(lstPhrase[c], &QListWidget::itemSelectionChanged, this,
            [this] { m_library->selectionsChanged(); });
        connect(
            m_levelKnob[c], &animKnob::Scroll, this,
            [&model, c](qint16& value) { model.turnLevel(c, value); }, Qt::DirectConnection);
        connect(
            m_panKnob[c], &animKnob::Scroll, this,
            [&model, c](qint16& value) { model.turnPan(c, value); }, Qt::DirectConnection);
        connect(m_panKnob[c], &animKnob::DblClick, this, [&model, c] { model.centrePan(c); });
        connect(
            m_muteButton[c], &StripButton::Push, this,
            [&model, c](bool& value) { model.pressMute(c, value); }, Qt::DirectConnection);
        // What the handler leaves in the argument becomes the button's value.
        connect(
            m_playButton[c], &StripButton::Push, this,
            [&model, c](bool& value) {
                if (!model.pressPlay(c))
                    value = false;
            },
            Qt::DirectConnection);
    }
    connect(
        m_sync, &StripButton::Push, this, [&model](bool& value) { value = model.pressSync(); },
        Qt::DirectConnection);

    // Qt flips a checkable item before it reports the click; the click handler inverts the
    // check mark itself, so the item ends as Qt left it and the option follows it.
    const auto checkItem = [this](QAction* item, void (PlayerModel::*option)(bool)) {
        connect(item, &QAction::triggered, this, [this, item, option] {
            PlayerModel* const model = m_model;
            (model->*option)(item->isChecked());
        });
    };
    checkItem(mnuSync, &PlayerModel::setPhraseSync);
    checkItem(mnuAutoPlay, &PlayerModel::setAutoPlay);
    checkItem(mnuEnding, &PlayerModel::setShowEnding);
    checkItem(mnuLineUp, &PlayerModel::setLineUpByName);
    checkItem(mnuInStep, &PlayerModel::setPlayInStep);
    connect(mnuSave, &QAction::triggered, this, [this] {
        const auto handler = m_model->handlerRunning();
        mnuSave_Click();
    });
    connect(mnuSettings, &QAction::triggered, this, [this] {
        const auto handler = m_model->handlerRunning();
        m_settings->mnuSettings_Click();
    });
    // The popup's commands act on what the popup was opened on, whatever changed since.
    const auto popupCommand = [this](QAction* item, auto command) {
        connect(item, &QAction::triggered, this, [this, command] {
            const auto handler = m_model->handlerRunning();
            command(*m_library, m_model->popupTarget());
        });
    };
    popupCommand(mnuRename, [](LibraryCommands& library, const PopupTarget& target) {
        library.mnuRename_Click(target);
    });
    popupCommand(mnuRenameSet, [](LibraryCommands& library, const PopupTarget& target) {
        library.mnuRenameSet_Click(target);
    });
    popupCommand(mnuDel,
        [](LibraryCommands& library, const PopupTarget& target) { library.mnuDel_Click(target); });
    popupCommand(mnuDelSet, [](LibraryCommands& library, const PopupTarget& target) {
        library.mnuDelSet_Click(target);
    });
    for (std::size_t i = 0; i < mnuTempoItems.size(); ++i) {
        connect(mnuTempoItems[i], &QAction::triggered, this,
            [this, i] { mnuTempo_Click(static_cast<TempoStep>(i)); });
    }
}

void Form1::Form_Load()
{
    Commands::PlaceWindow(*this);
    setColour(m_panel, QPalette::Window, kHighlight);
    for (QLabel* caption : m_headerCaption)
        setColour(caption, QPalette::WindowText, kHighlight);
}

void Form1::LoadDXSound()
{
    m_model->openSound();
}

void Form1::RefreshPhraseLists()
{
    m_model->refreshLists();
}

void Form1::applyOptionChecks()
{
    mnuEnding->setChecked(m_values.ShowEnding == 1);
    mnuAutoPlay->setChecked(m_values.AutoPlay == 1);
    mnuSync->setChecked(m_values.PhraseSync == 1);
    mnuLineUp->setChecked(m_values.LineUpByName == 1);
    mnuInStep->setChecked(m_values.PlayInStep == 1);
}

void Form1::mnuTempo_Click(TempoStep step)
{
    static constexpr std::array<int, 4> kTempoSteps { 5, -5, 1, -1 };
    if (step == TempoStep::KeyUp || step == TempoStep::KeyDown)
        m_model->stepKey(step == TempoStep::KeyUp ? 1 : -1);
    else if (step == TempoStep::Original)
        m_model->originalTempoKey();
    else
        m_model->stepTempo(kTempoSteps.at(static_cast<std::size_t>(step)));
}

namespace {

QString signedSemitones(int semitones)
{
    return semitones > 0 ? QStringLiteral("+") + QString::number(semitones)
                         : QString::number(semitones);
}

} // namespace

QString Form1::tempoKeyText() const
{
    return QStringLiteral("tempo %1%, key %2")
        .arg(m_model->tempo())
        .arg(signedSemitones(m_model->semitones()));
}

void Form1::showTempoKey(int tempo, int semitones)
{
    const bool original = tempo == 100 && semitones == 0;
    mnuTempo->setTitle(original
            ? QStringLiteral("Tempo")
            : QStringLiteral("Tempo %1% / %2").arg(tempo).arg(signedSemitones(semitones)));
    // The sync panel's tooltip, which is also its description, tells the tempo and key.
    if (m_keys)
        m_keys->renewTexts();
}

void Form1::mnuSave_Click()
{
    const PlayerModel::SaveOutcome saved = m_model->saveSetSettings();
    if (saved.file.isEmpty())
        return; // list 1 has no selection
    if (!saved.result) {
        // "Settings saved." would be a lie: say which file and why, and leave it as it was.
        Commands::ShowNotice(this,
            QStringLiteral("The settings could not be saved in '") + saved.file
                + QStringLiteral("':\r\n") + saved.result.reason() + QLatin1Char('.'),
            Commands::NoticeExclamation, QString());
        return;
    }
    const QString text = QStringList {
        QStringLiteral("This function makes it possible to save the current"),
        QStringLiteral("'Level', 'Pan' and 'Mute' settings and use it again"),
        QStringLiteral("when you reload the three phrases again."),
        QStringLiteral("Therefore Options -> 'Phrase Sync' must be checked !   "),
        QString(),
        QStringLiteral("Settings saved."),
    }.join(QStringLiteral("\r\n"));
    Commands::ShowNotice(this, text, Commands::NoticeInformation, QString());
}

// --- PlayerView ----------------------------------------------------------------------------

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

int Form1::selectedRow(int list) const
{
    const PhraseList* box = lstPhrase.at(list);
    const QList<QListWidgetItem*> items = box->selectedItems();
    return items.isEmpty() ? -1 : box->row(items.first());
}

int Form1::rowCount(int list) const
{
    return lstPhrase.at(list)->count();
}

void Form1::selectRow(int list, int row)
{
    if (row < 0)
        lstPhrase.at(list)->clearSelection();
    else
        lstPhrase.at(list)->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

void Form1::clearLists()
{
    for (PhraseList* list : lstPhrase)
        list->clear();
}

void Form1::fillLists(const std::array<QStringList, 3>& columns)
{
    for (int c = 0; c < 3; ++c)
        lstPhrase[c]->addItems(columns[c]);
}

void Form1::replaceLists(
    const std::array<QStringList, 3>& columns, const std::array<int, 3>& selectedRows)
{
    for (std::size_t c = 0; c < 3; ++c)
        lstPhrase[c]->replaceEntries(columns[c], selectedRows[c]);
}

qint16 Form1::level(int column) const
{
    return m_levelKnob.at(column)->Value();
}

void Form1::setLevel(int column, qint16 value)
{
    m_levelKnob.at(column)->setValue(value);
}

qint16 Form1::pan(int column) const
{
    return m_panKnob.at(column)->Value();
}

void Form1::setPan(int column, qint16 value)
{
    m_panKnob.at(column)->setValue(value);
}

bool Form1::muted(int column) const
{
    return m_muteButton.at(column)->Value();
}

void Form1::setMuted(int column, bool down)
{
    m_muteButton.at(column)->setValue(down);
}

void Form1::setPlayButton(int column, bool down)
{
    m_playButton.at(column)->setValue(down);
}

void Form1::setSyncLamp(bool lit)
{
    m_sync->setValue(lit);
}

void Form1::showNotice(const QString& text)
{
    Commands::ShowNotice(this, text, Commands::NoticeExclamation, QString());
}

void Form1::showPopup()
{
    // From the keyboard the popup opens at the row it acts on, not where the pointer rests.
    const PhraseList* list = lstPhrase.at(std::clamp<int>(m_model->currentListIndex(), 0, 2));
    if (!list->pressedByKey()) {
        mnuPop->popup(QCursor::pos());
        return;
    }
    const QListWidgetItem* row = list->currentItem();
    const QRect rect = row ? list->visualItemRect(row) : QRect();
    const QPoint at = row ? rect.bottomLeft() : QPoint(0, 0);
    mnuPop->popup(list->viewport()->mapToGlobal(at));
    // Ready for Return, as a menu opened by keyboard is.
    if (!mnuPop->actions().isEmpty())
        mnuPop->setActiveAction(mnuPop->actions().first());
}

bool Form1::interactionOpen() const
{
    if (QApplication::activePopupWidget() || QApplication::activeModalWidget())
        return true;
    // The program's windows are this one's descendants (dialogs, message boxes, the popup).
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w == this || !w->isVisible())
            continue;
        const Qt::WindowType type = w->windowType();
        if (type != Qt::Dialog && type != Qt::Popup)
            continue;
        for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
            if (p == this)
                return true;
    }
    return false;
}

void Form1::closeUnattended()
{
    m_unattended = true;
    close();
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Form_Unload runs once; a later close (a signal, the session ending) only agrees, and
    // ends the notice of a failed store if that is still open: nobody may be there to answer.
    event->accept();
    if (m_unloaded) {
        if (m_tellingStoreFailure && QThread::currentThread()->loopLevel() > 0)
            QCoreApplication::exit(0);
        return;
    }
    m_unloaded = true;
    const Commands::IoResult stored = m_model->shutDown();
    if (!stored) {
        // Options the user changed would be back as they were at the next start without a
        // word; say so while the window is still there, or where a terminal can see it.
        const QString where = QStringLiteral("The options could not be stored in '")
            + m_values.IniFile + QStringLiteral("':");
        if (m_unattended) {
            const QByteArray line
                = QStringLiteral("sorvanto: %1 %2.\n").arg(where, stored.reason()).toLocal8Bit();
            std::fputs(line.constData(), stderr);
            std::fflush(stderr);
        } else {
            m_tellingStoreFailure = true;
            Commands::ShowNotice(this, where + QStringLiteral("\r\n") + stored.reason() + '.',
                Commands::NoticeExclamation, QString());
            m_tellingStoreFailure = false;
        }
    }
    // End the program at once: every running event loop returns (nested ones of open dialogs
    // too), and the dialogs go with the window without their own close handlers running.
    // Without a running loop there is nothing to end (and exit() would make every later loop
    // return at once); Main checks unloaded() before it enters its loop.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}
