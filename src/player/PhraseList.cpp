// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/PhraseList.h"

#include <QMouseEvent>
#include <QScrollBar>

PhraseList::PhraseList(QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
}

void PhraseList::mousePressEvent(QMouseEvent* event)
{
    QListWidgetItem* pressed = itemAt(event->position().toPoint());
    if (!pressed && !selectedItems().isEmpty()) {
        // Below the last row: a list box with one selected row keeps it, whatever the button,
        // and the press counts as one on that row (a left press there would clear it and leave
        // a playing set's column without its entry).
        setFocus(Qt::MouseFocusReason);
        event->accept();
    } else if (event->button() == Qt::RightButton) {
        // The popup acts on the row under the pointer, so a right press selects it first.
        // Nothing else of a left press (drag, focus rectangle moves) happens.
        if (pressed)
            setCurrentItem(pressed, QItemSelectionModel::ClearAndSelect);
        event->accept();
    } else {
        // A list box with one selected row: Ctrl or Shift never clears or extends it, so the
        // press selects the row under the pointer whatever keys are held.
        QMouseEvent plain(QEvent::MouseButtonPress, event->position(), event->scenePosition(),
            event->globalPosition(), event->button(), event->buttons(), Qt::NoModifier,
            event->pointingDevice());
        QListWidget::mousePressEvent(&plain);
        event->setAccepted(plain.isAccepted());
    }
    emit MouseDown(event->button());
}

void PhraseList::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double-click is not a press: with Auto Play it would load and
    // restart the set a moment after the first press started it.
    event->accept();
}

void PhraseList::pressCurrentRow(Qt::MouseButton button)
{
    if (!currentItem() && button == Qt::LeftButton)
        return;
    selectCurrentRow();
    m_pressByKey = true;
    emit MouseDown(button);
    m_pressByKey = false;
}

void PhraseList::selectCurrentRow()
{
    QListWidgetItem* item = currentItem();
    if (item && !item->isSelected())
        setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
}

QStringList PhraseList::entries() const
{
    QStringList texts;
    texts.reserve(count());
    for (int row = 0; row < count(); ++row)
        texts << item(row)->text();
    return texts;
}

void PhraseList::replaceEntries(const QStringList& newEntries, int selectedRow)
{
    // Unchanged entries keep their selection as it is (also among equal texts).
    if (entries() == newEntries)
        return;

    const QString cursorEntry = currentItem() ? currentItem()->text() : QString();
    const int scroll = verticalScrollBar()->value();
    clear();
    addItems(newEntries);
    if (selectedRow >= 0 && selectedRow < count()) {
        setCurrentRow(selectedRow, QItemSelectionModel::ClearAndSelect);
    } else {
        clearSelection();
        // The cursor stays on its entry, unselected, for the arrow keys and Enter.
        const int cursor = static_cast<int>(newEntries.indexOf(cursorEntry));
        if (!cursorEntry.isEmpty() && cursor >= 0)
            setCurrentRow(cursor, QItemSelectionModel::NoUpdate);
    }
    verticalScrollBar()->setValue(scroll);
}
