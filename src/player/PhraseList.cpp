#include "player/PhraseList.h"

#include <QMouseEvent>

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
    if (event->button() != Qt::RightButton) {
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
    // Qt delivers a double-click's second press here; it is a press like any other.
    mousePressEvent(event);
}
