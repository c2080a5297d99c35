// Placeholder so that the program links while the control is being built.
#include "controls/animKnob.h"

animKnob::animKnob(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(50, 50);
}
void animKnob::setMin(qint16 v) { m_min = v; }
void animKnob::setMax(qint16 v) { m_max = v; }
void animKnob::setValue(qint16 v) { m_value = v; }
void animKnob::WriteProperties(QVariantMap&) const { }
void animKnob::ReadProperties(const QVariantMap&) { }
void animKnob::paintEvent(QPaintEvent*) { }
void animKnob::mouseMoveEvent(QMouseEvent*) { }
void animKnob::mouseDoubleClickEvent(QMouseEvent*) { emit DblClick(); }
void animKnob::resizeEvent(QResizeEvent*) { }
