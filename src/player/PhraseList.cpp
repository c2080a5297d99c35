#include "player/PhraseList.h"

#include <QMouseEvent>

PhraseList::PhraseList(QWidget* parent)
    : QListWidget(parent)
{
}

void PhraseList::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::RightButton)
        QListWidget::mousePressEvent(event);
    emit MouseDown(event->button());
}
