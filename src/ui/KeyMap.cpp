// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/KeyMap.h"

#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QWidget>

namespace Keys {

namespace {

// XKB key codes of the digit row's keys 1, 2, 3 (evdev codes 2, 3, 4, plus 8).
constexpr quint32 kXkbDigit1 = 10;
constexpr quint32 kXkbDigit3 = 12;

constexpr Qt::KeyboardModifiers kCommandModifiers
    = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

// The column of a shifted digit by the character the common layouts type there.
int shiftedDigitColumn(int key)
{
    switch (key) {
    case Qt::Key_1:
    case Qt::Key_Exclam:
        return 0;
    case Qt::Key_2:
    case Qt::Key_At:
    case Qt::Key_QuoteDbl:
        return 1;
    case Qt::Key_3:
    case Qt::Key_NumberSign:
    case Qt::Key_sterling:
    case Qt::Key_section:
        return 2;
    default:
        return -1;
    }
}

} // namespace

Command commandOf(int key, Qt::KeyboardModifiers modifiers, quint32 scanCode, bool xkbScanCodes)
{
    const Qt::KeyboardModifiers held = modifiers & ~Qt::KeypadModifier;
    const bool shift = held.testFlag(Qt::ShiftModifier);
    const bool plain = !(held & kCommandModifiers);

    if (key == Qt::Key_F5 && held == Qt::NoModifier)
        return { Gesture::Refresh };
    if (key == Qt::Key_F10 && held == Qt::NoModifier)
        return { Gesture::Menus };
    if (key == Qt::Key_O && held == Qt::AltModifier)
        return { Gesture::Menus };
    if (key == Qt::Key_S && held == Qt::ControlModifier)
        return { Gesture::Save };
    if (key == Qt::Key_Q && held == Qt::ControlModifier)
        return { Gesture::Quit };
    if ((key == Qt::Key_Menu && held == Qt::NoModifier)
        || (key == Qt::Key_F10 && held == Qt::ShiftModifier))
        return { Gesture::Popup };
    if (key == Qt::Key_F2 && (held == Qt::NoModifier || held == Qt::ShiftModifier))
        return { Gesture::PopupItem, shift ? RenamePhraseSet : RenamePhrase };
    if (key == Qt::Key_Delete && (held == Qt::NoModifier || held == Qt::ShiftModifier))
        return { Gesture::PopupItem, shift ? DeletePhraseSet : DeletePhrase };
    if (held == Qt::ControlModifier || held == (Qt::ControlModifier | Qt::ShiftModifier)) {
        const auto tempo = [](TempoStep step) { return Command { Gesture::Tempo, -1, step }; };
        const bool fine = shift;
        switch (key) {
        case Qt::Key_Up:
            return tempo(fine ? TempoStep::FasterBy1 : TempoStep::Faster);
        case Qt::Key_Down:
            return tempo(fine ? TempoStep::SlowerBy1 : TempoStep::Slower);
        case Qt::Key_Right:
            if (!fine)
                return tempo(TempoStep::KeyUp);
            break;
        case Qt::Key_Left:
            if (!fine)
                return tempo(TempoStep::KeyDown);
            break;
        case Qt::Key_0:
            if (!fine)
                return tempo(TempoStep::Original);
            break;
        default:
            break;
        }
    }
    if (!plain)
        return {};
    if (key == Qt::Key_Space)
        return { Gesture::Sync };
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        return { Gesture::ListRow };

    if (xkbScanCodes && scanCode >= kXkbDigit1 && scanCode <= kXkbDigit3)
        return { shift ? Gesture::Mute : Gesture::Play, static_cast<int>(scanCode - kXkbDigit1) };
    if (!shift) {
        if (key >= Qt::Key_1 && key <= Qt::Key_3)
            return { Gesture::Play, key - Qt::Key_1 };
        return {};
    }
    // A keypad digit with Shift is no digit (Shift turns Num Lock around).
    if (modifiers.testFlag(Qt::KeypadModifier))
        return {};
    const int column = shiftedDigitColumn(key);
    if (column >= 0)
        return { Gesture::Mute, column };
    return {};
}

bool platformHasXkbScanCodes()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
}

QString keyName(Gesture gesture, int column)
{
    QString digit = QString::number(column + 1);
    switch (gesture) {
    case Gesture::Sync:
        return QStringLiteral("Space");
    case Gesture::Play:
        return digit;
    case Gesture::Mute:
        return QStringLiteral("Shift+") + digit;
    case Gesture::ListRow:
        return QStringLiteral("Enter");
    case Gesture::Refresh:
        return QStringLiteral("F5");
    case Gesture::Menus:
        return QStringLiteral("Alt+O, F10");
    case Gesture::Save:
        return QStringLiteral("Ctrl+S");
    case Gesture::Popup:
        return QStringLiteral("Menu, Shift+F10");
    case Gesture::PopupItem:
        switch (column) {
        case RenamePhrase:
            return QStringLiteral("F2");
        case RenamePhraseSet:
            return QStringLiteral("Shift+F2");
        case DeletePhrase:
            return QStringLiteral("Delete");
        case DeletePhraseSet:
            return QStringLiteral("Shift+Delete");
        default:
            return {};
        }
    case Gesture::Quit:
        return QStringLiteral("Ctrl+Q");
    case Gesture::Tempo:
        return QStringLiteral("Ctrl+Up, Ctrl+Down, Ctrl+Left, Ctrl+Right, Ctrl+0");
    case Gesture::None:
        break;
    }
    return {};
}

QString tempoKeyName(TempoStep step)
{
    switch (step) {
    case TempoStep::Faster:
        return QStringLiteral("Ctrl+Up");
    case TempoStep::Slower:
        return QStringLiteral("Ctrl+Down");
    case TempoStep::FasterBy1:
        return QStringLiteral("Ctrl+Shift+Up");
    case TempoStep::SlowerBy1:
        return QStringLiteral("Ctrl+Shift+Down");
    case TempoStep::KeyUp:
        return QStringLiteral("Ctrl+Right");
    case TempoStep::KeyDown:
        return QStringLiteral("Ctrl+Left");
    case TempoStep::Original:
        return QStringLiteral("Ctrl+0");
    }
    return {};
}

} // namespace Keys

namespace {

// A widget that takes typed text: the keys are letters there, not commands.
bool takesTyping(const QWidget* widget)
{
    if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->isEditable();
    return widget->testAttribute(Qt::WA_InputMethodEnabled);
}

} // namespace

KeyMap::KeyMap(QWidget* window, KeyIntents& intents, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_intents(intents)
    , m_xkb(Keys::platformHasXkbScanCodes())
{
    // Before any widget: the focus widget would otherwise take the digits and Space itself.
    qApp->installEventFilter(this);
}

void KeyMap::setPhraseLists(const std::array<QWidget*, 3>& lists)
{
    for (std::size_t c = 0; c < 3; ++c)
        m_lists[c] = lists[c];
}

int KeyMap::listColumn(const QWidget* widget) const
{
    for (std::size_t c = 0; c < 3; ++c)
        if (widget && m_lists[c].data() == widget)
            return static_cast<int>(c);
    return -1;
}

bool KeyMap::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    return handle(static_cast<QWidget*>(watched), static_cast<QKeyEvent*>(event));
}

bool KeyMap::handle(QWidget* receiver, QKeyEvent* key)
{
    // Only while the main window is the active window: in a dialog the keys are the dialog's
    // (a digit must not start a column behind the Settings dialog's Cancel button).
    if (!m_window || QApplication::activeWindow() != m_window || receiver->window() != m_window)
        return false;
    // Nothing new may start while a modal question waits for its answer, and an open menu
    // takes its own keys.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return false;
    // The key goes to the focus widget; a box that takes typing keeps every key, also the ones
    // it passes on to its parents.
    const QWidget* focus = QApplication::focusWidget();
    if (takesTyping(receiver) || (focus && takesTyping(focus)))
        return false;

    const Keys::Command command
        = Keys::commandOf(key->key(), key->modifiers(), key->nativeScanCode(), m_xkb);
    switch (command.gesture) {
    case Keys::Gesture::None:
        return false;
    case Keys::Gesture::ListRow:
    case Keys::Gesture::Popup:
    case Keys::Gesture::PopupItem:
        if (listColumn(receiver) < 0)
            return false;
        break;
    default:
        break;
    }

    key->accept();
    // A held key acts once, at its first press.
    if (key->isAutoRepeat())
        return true;
    switch (command.gesture) {
    case Keys::Gesture::Sync:
        m_intents.pressSync();
        break;
    case Keys::Gesture::Play:
        m_intents.pressPlay(command.column);
        break;
    case Keys::Gesture::Mute:
        m_intents.pressMute(command.column);
        break;
    case Keys::Gesture::ListRow:
        m_intents.pressListRow(listColumn(receiver));
        break;
    case Keys::Gesture::Refresh:
        m_intents.refreshLists();
        break;
    case Keys::Gesture::Menus:
        m_intents.openMenus();
        break;
    case Keys::Gesture::Save:
        m_intents.saveSettings();
        break;
    case Keys::Gesture::Popup:
        m_intents.openPopup(listColumn(receiver));
        break;
    case Keys::Gesture::PopupItem:
        m_intents.runPopupItem(listColumn(receiver), command.column);
        break;
    case Keys::Gesture::Quit:
        m_intents.quit();
        break;
    case Keys::Gesture::Tempo:
        m_intents.stepTempo(command.step);
        break;
    case Keys::Gesture::None:
        break;
    }
    return true;
}
