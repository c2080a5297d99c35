// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared pieces of the library-management tests: a main-window stand-in behind the player's
// view interface (three real list widgets; the real player model fills them and serves the
// commands' intents), a responder for modal message boxes, and small file helpers.

#include "app/Commands.h"
#include "player/PlayerView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace ManageTest {

class FakeHost : public PlayerView
{
public:
    FakeHost()
    {
        auto* layout = new QVBoxLayout(&window);
        for (auto& list : lists) {
            list = new QListWidget(&window);
            layout->addWidget(list);
        }
    }

    QString selectedEntry(int list) const override
    {
        const auto items = lists.at(size_t(list))->selectedItems();
        return items.isEmpty() ? QString() : items.first()->text();
    }
    QStringList entries(int list) const override
    {
        QStringList out;
        const QListWidget* w = lists.at(size_t(list));
        for (int r = 0; r < w->count(); ++r)
            out << w->item(r)->text();
        return out;
    }
    int selectedRow(int list) const override
    {
        const QListWidget* w = lists.at(size_t(list));
        const auto items = w->selectedItems();
        return items.isEmpty() ? -1 : w->row(items.first());
    }
    int rowCount(int list) const override { return lists.at(size_t(list))->count(); }
    void selectRow(int list, int row) override
    {
        if (row < 0)
            lists.at(size_t(list))->clearSelection();
        else
            lists.at(size_t(list))->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
    void clearLists() override
    {
        ++refreshes;
        for (auto* list : lists)
            list->clear();
    }
    void fillLists(const std::array<QStringList, 3>& columns) override
    {
        for (size_t l = 0; l < 3; ++l)
            lists.at(l)->addItems(columns.at(l));
    }
    void replaceLists(
        const std::array<QStringList, 3>& columns, const std::array<int, 3>& selectedRows) override
    {
        for (size_t l = 0; l < 3; ++l) {
            if (entries(int(l)) == columns.at(l))
                continue;
            lists.at(l)->clear();
            lists.at(l)->addItems(columns.at(l));
            if (selectedRows.at(l) >= 0)
                selectRow(int(l), selectedRows.at(l));
        }
    }
    qint16 level(int column) const override { return levels.at(size_t(column)); }
    void setLevel(int column, qint16 value) override { levels.at(size_t(column)) = value; }
    qint16 pan(int column) const override { return pans.at(size_t(column)); }
    void setPan(int column, qint16 value) override { pans.at(size_t(column)) = value; }
    bool muted(int column) const override { return mutes.at(size_t(column)); }
    void setMuted(int column, bool down) override { mutes.at(size_t(column)) = down; }
    void setPlayButton(int column, bool down) override
    {
        playButtons.at(size_t(column)) = down;
        if (onPlayButton)
            onPlayButton(column);
    }
    void setSyncLamp(bool lit) override
    {
        syncButton = lit;
        ++syncSets;
    }
    void showNotice(const QString& text) override { notices << text; }
    void showPopup() override { }
    bool interactionOpen() const override
    {
        return QApplication::activeModalWidget() || QApplication::activePopupWidget();
    }
    void showTempoKey(int tempo, int semitones) override
    {
        shownTempo = tempo;
        shownSemitones = semitones;
    }
    int shownTempo = 100;
    int shownSemitones = 0;
    bool unloaded() const override { return closed; }

    // Selects the row of `list` whose text is `entry`; false when there is none.
    bool select(int list, const QString& entry)
    {
        const auto found = lists.at(size_t(list))->findItems(entry, Qt::MatchExactly);
        if (found.isEmpty())
            return false;
        lists.at(size_t(list))->clearSelection();
        lists.at(size_t(list))->setCurrentItem(found.first());
        found.first()->setSelected(true);
        return true;
    }
    bool nothingSelected() const
    {
        for (auto* list : lists) {
            if (!list->selectedItems().isEmpty())
                return false;
        }
        return true;
    }

    QWidget window;
    std::array<QListWidget*, 3> lists {};
    std::array<qint16, 3> levels { 80, 80, 80 };
    std::array<qint16, 3> pans { 50, 50, 50 };
    std::array<bool, 3> mutes {};
    std::array<bool, 3> playButtons {};
    bool syncButton = false;
    int syncSets = 0;
    int refreshes = 0;
    bool closed = false; // the main window has closed: the program is ending
    QStringList notices; // what the model told, one entry per notice box
    std::function<void(int)> onPlayButton;
};

// What a modal box showed before it was answered.
struct SeenBox
{
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
};

// Answers the next modal QMessageBox with `button`, recording what it showed. Stops watching
// when destroyed.
class ModalAnswerer
{
public:
    explicit ModalAnswerer(QMessageBox::StandardButton button)
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            m_timer.stop();
            seen.seen = true;
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = box->icon();
            seen.buttons = box->standardButtons();
            seen.parent = box->parentWidget();
            if (QAbstractButton* b = box->button(button))
                b->click();
            else
                box->reject();
        });
        m_timer.start();
    }
    SeenBox seen;

private:
    QTimer m_timer;
};

// Answers the modal QMessageBoxes that come up, one after another, with `buttons` in order,
// recording each one (with the button Enter would press). An answer of NoButton does not
// answer: it ends the program's event loops as the main window's closing does, after `onEnd`.
class ModalSequence
{
public:
    struct Seen
    {
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        Qt::TextFormat format = Qt::AutoText;
    };

    explicit ModalSequence(
        QList<QMessageBox::StandardButton> buttons, std::function<void()> onEnd = {})
        : m_buttons(std::move(buttons))
        , m_onEnd(std::move(onEnd))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == m_last || m_buttons.isEmpty())
                return;
            m_last = box;
            QMessageBox::StandardButton def = QMessageBox::NoButton;
            if (auto* b = box->defaultButton())
                def = box->standardButton(b);
            seen.append({ box->text(), box->icon(), def, box->textFormat() });
            const QMessageBox::StandardButton answer = m_buttons.takeFirst();
            if (answer == QMessageBox::NoButton) {
                if (m_onEnd)
                    m_onEnd();
                QCoreApplication::exit(0);
            } else if (QAbstractButton* b = box->button(answer)) {
                b->click();
            }
        });
        m_timer.start();
    }
    QList<Seen> seen;

private:
    QList<QMessageBox::StandardButton> m_buttons;
    std::function<void()> m_onEnd;
    QPointer<QMessageBox> m_last;
    QTimer m_timer;
};

// A dialog's caption found by its object name (failing the test when there is none).
inline QLabel* caption(QWidget* dialog, const char* name)
{
    auto* label = dialog->findChild<QLabel*>(QLatin1String(name));
    EXPECT_NE(label, nullptr) << name;
    return label;
}

// The widgets that Tab visits after `from`, in order, up to `count` of them.
inline QList<QWidget*> tabChain(QWidget* from, int count)
{
    QList<QWidget*> out;
    for (QWidget* w = from->nextInFocusChain(); w != from && out.size() < count;
         w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(from->window()))
            out << w;
    }
    return out;
}

inline bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::NewOnly) && f.write(content) == content.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The entries of `dir`, hidden ones included, sorted by exact name.
inline QStringList listing(const QString& dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A small valid WAV file (16-bit stereo, 44100 Hz, `frames` frames of a quiet square wave).
inline QByteArray makeWav(int frames = 4410)
{
    QByteArray data;
    for (int i = 0; i < frames; ++i) {
        const qint16 v = (i / 50) % 2 ? 1000 : -1000;
        for (int ch = 0; ch < 2; ++ch) {
            data.append(char(v & 0xff));
            data.append(char((v >> 8) & 0xff));
        }
    }
    auto le32 = [](quint32 v) {
        QByteArray b;
        for (int i = 0; i < 4; ++i)
            b.append(char((v >> (8 * i)) & 0xff));
        return b;
    };
    auto le16 = [](quint16 v) {
        QByteArray b;
        b.append(char(v & 0xff));
        b.append(char(v >> 8));
        return b;
    };
    QByteArray wav = "RIFF" + le32(quint32(36 + data.size())) + "WAVEfmt " + le32(16) + le16(1)
        + le16(2) + le32(44100) + le32(44100 * 4) + le16(4) + le16(16) + "data"
        + le32(quint32(data.size())) + data;
    return wav;
}

} // namespace ManageTest
