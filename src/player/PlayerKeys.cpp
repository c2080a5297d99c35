// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/PlayerKeys.h"

#include "controls/StripButton.h"
#include "controls/animKnob.h"
#include "player/PhraseList.h"
#include "sound/DX7Sound.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// The frame's colour: the lists' text colour, which stands out on the dark lists, the red
// panel and the black window alike.
const QColor kFrameColour(255, 255, 128);

// A press as the mouse gives it; a disabled control takes none.
void pressIfEnabled(StripButton* button)
{
    if (button->isEnabled())
        button->press();
}

} // namespace

PlayerKeys::PlayerKeys(const PlayerControls& controls, std::function<bool(int)> playing,
    std::function<void()> follow, std::function<void(int)> aim, std::function<QString()> tempoText)
    : m_controls(controls)
    , m_playing(std::move(playing))
    , m_follow(std::move(follow))
    , m_aim(std::move(aim))
    , m_tempoText(std::move(tempoText))
    , m_keys(controls.window, *this)
    , m_frame(kFrameColour)
{
    m_keys.setPhraseLists({ controls.lists[0], controls.lists[1], controls.lists[2] });
    arrangeFocus();
    addToolTips();
}

void PlayerKeys::arrangeFocus()
{
    // Column by column, as the eye reads the strip: Level, Pan, Mute, Play, the list; then the
    // sync panel. The first list has the focus at start, so the arrow keys move in it.
    const PlayerControls& k = m_controls;
    QWidget* previous = nullptr;
    const auto chain = [&](QWidget* next) {
        if (previous)
            QWidget::setTabOrder(previous, next);
        previous = next;
        m_frame.track(next);
    };
    for (std::size_t c = 0; c < 3; ++c) {
        chain(k.level[c]);
        chain(k.pan[c]);
        chain(k.mute[c]);
        chain(k.play[c]);
        chain(k.lists[c]);
    }
    chain(k.sync);
    k.lists[0]->setFocus();
}

QString PlayerKeys::levelText(qint16 level)
{
    return DX7Sound::LevelText(level);
}

QString PlayerKeys::panText(qint16 pan)
{
    return DX7Sound::PanText(pan);
}

void PlayerKeys::addToolTips()
{
    const PlayerControls& k = m_controls;
    const std::function<bool(int)>& playing = m_playing;
    for (std::size_t c = 0; c < 3; ++c) {
        const int column = static_cast<int>(c);
        const QString n = QString::number(column + 1);
        animKnob* level = k.level[c];
        animKnob* pan = k.pan[c];
        StripButton* mute = k.mute[c];
        m_tips.add(level, [level, mute, n] {
            QString value = levelText(level->Value());
            if (mute->Value())
                value += QStringLiteral(", muted");
            return ToolTips::compose(
                QStringLiteral("Level ") + n, value, QStringLiteral("Up, Down"));
        });
        m_tips.add(pan, [pan, n] {
            return ToolTips::compose(QStringLiteral("Pan ") + n, panText(pan->Value()),
                QStringLiteral("Up, Down; Enter centres"));
        });
        m_tips.add(mute, [mute, column, n] {
            return ToolTips::compose(QStringLiteral("Mute ") + n,
                mute->Value() ? QStringLiteral("on") : QStringLiteral("off"),
                Keys::keyName(Keys::Gesture::Mute, column));
        });
        m_tips.add(k.play[c], [playing, column, n] {
            return ToolTips::compose(QStringLiteral("Play ") + n,
                playing(column) ? QStringLiteral("playing") : QStringLiteral("stopped"),
                Keys::keyName(Keys::Gesture::Play, column));
        });
    }
    // Every control's text may read another's state (a level's text tells its Mute).
    std::vector<FilmStripControl*> changing { k.sync };
    for (std::size_t c = 0; c < 3; ++c)
        changing.insert(changing.end(), { k.level[c], k.pan[c], k.mute[c], k.play[c] });
    for (FilmStripControl* control : changing)
        connect(control, &FilmStripControl::PropertyChanged, this, [this] { m_tips.refresh(); });
    // A press changes a button's value without a property change.
    for (StripButton* button :
        { k.sync, k.mute[0], k.mute[1], k.mute[2], k.play[0], k.play[1], k.play[2] })
        connect(button, &StripButton::Push, this, [this] { m_tips.refresh(); });
    m_tips.add(k.sync, [playing, tempoText = m_tempoText] {
        const bool any = playing(0) || playing(1) || playing(2);
        QString value = any ? QStringLiteral("playing") : QStringLiteral("stopped");
        if (tempoText)
            value += QStringLiteral(", ") + tempoText();
        return ToolTips::compose(
            QStringLiteral("Sync all: start / stop"), value, Keys::keyName(Keys::Gesture::Sync));
    });
}

void PlayerKeys::renewTexts()
{
    m_tips.refresh();
}

void PlayerKeys::pressSync()
{
    pressIfEnabled(m_controls.sync);
}

void PlayerKeys::pressPlay(int column)
{
    pressIfEnabled(m_controls.play.at(column));
}

void PlayerKeys::pressMute(int column)
{
    pressIfEnabled(m_controls.mute.at(column));
}

void PlayerKeys::pressListRow(int column)
{
    PhraseList* list = m_controls.lists.at(column);
    if (list->isEnabled())
        list->pressCurrentRow();
}

void PlayerKeys::refreshLists()
{
    m_follow();
}

void PlayerKeys::openMenus()
{
    m_controls.menuBar->setActiveAction(m_controls.options->menuAction());
    // As a menu opened from its title by keyboard: the first item is ready for Return.
    for (QAction* item : m_controls.options->actions()) {
        if (!item->isSeparator() && item->isVisible() && item->isEnabled()) {
            m_controls.options->setActiveAction(item);
            break;
        }
    }
}

void PlayerKeys::openPopup(int column)
{
    PhraseList* list = m_controls.lists.at(column);
    if (list->isEnabled())
        list->pressCurrentRow(Qt::RightButton);
}

void PlayerKeys::runPopupItem(int column, int item)
{
    PhraseList* list = m_controls.lists.at(column);
    QAction* action = m_controls.popupItems.at(item);
    if (!list->isEnabled() || !action->isEnabled())
        return;
    // What opening the popup there does first: the cursor row selected, the list aimed at.
    list->selectCurrentRow();
    m_aim(column);
    action->trigger();
}

void PlayerKeys::quit()
{
    m_controls.window->close();
}

void PlayerKeys::saveSettings()
{
    m_controls.save->trigger();
}

void PlayerKeys::stepTempo(TempoStep step)
{
    if (QAction* item = m_controls.tempo.at(static_cast<std::size_t>(step)))
        item->trigger();
}
