// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/animKnob.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// The face: a borderless 50 x 50 area at the control's corner. The control takes its size.
constexpr int kFaceSize = 50;
const QString kStripPath = QStringLiteral(":/artwork/knob.png");
} // namespace

animKnob::animKnob(QWidget* parent)
    : FilmStripControl(kStripPath, parent)
{
    m_frameHeight = kFaceSize;
    if (!strip().isNull())
        m_frameCount = static_cast<int>(
            std::lround(static_cast<float>(strip().height()) / static_cast<float>(m_frameHeight)));
    m_min = 0;
    m_max = 100;
    redraw();
    setFixedSize(kFaceSize, kFaceSize);
}

void animKnob::setMin(qint16 v)
{
    m_min = v;
    emit PropertyChanged(QStringLiteral("Min"));
    redraw();
}

void animKnob::setMax(qint16 v)
{
    m_max = v;
    emit PropertyChanged(QStringLiteral("Max"));
    redraw();
}

void animKnob::setValue(qint16 v)
{
    m_value = v;
    emit PropertyChanged(QStringLiteral("Value"));
    valueChanged();
    redraw();
}

void animKnob::updateRange()
{
    // Max - Min in 16-bit arithmetic: a difference that does not fit leaves the previous range
    // in force, as any failed step of a redraw or drag does.
    const int range = static_cast<int>(m_max) - static_cast<int>(m_min);
    if (range >= -32768 && range <= 32767)
        m_range = range;
}

void animKnob::redraw()
{
    updateRange();
    // With Max = Min there is no frame for any value: the face keeps the frame it shows.
    if (m_range != 0) {
        const double frame = std::floor((static_cast<double>(m_frameCount) / m_range)
            * (static_cast<double>(m_value) - static_cast<double>(m_min)));
        // Frame 0 is shown as frame 1. A value outside Min..Max (never clamped) shows the end
        // frame it lies beyond.
        m_frame = static_cast<int>(std::clamp(frame, 1.0, static_cast<double>(m_frameCount)));
    }
    update();
}

void animKnob::valueChanged()
{
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, static_cast<int>(m_value));
        QAccessible::updateAccessibility(&event);
    }
}

void animKnob::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintFrame(painter, QRect(0, 0, kFaceSize, kFaceSize), (m_frame - 1) * m_frameHeight,
        QColor(200, 50, 80));
}

void animKnob::mousePressEvent(QMouseEvent* event)
{
    // A press means nothing to the knob, but it is not passed on to the host either.
    event->accept();
}

void animKnob::mouseMoveEvent(QMouseEvent* event)
{
    // The dead zone is always 0: any change of Y counts.
    if (event->buttons() != Qt::LeftButton)
        return;
    const double y = event->position().y();
    if (y == m_referenceY)
        return;
    const int next = y > m_referenceY ? m_frame - 1 : m_frame + 1;
    const double rounded = std::nearbyint(y); // ties to even
    if (rounded >= -32768.0 && rounded <= 32767.0)
        m_referenceY = static_cast<qint16>(rounded);
    step(next);
}

void animKnob::step(int next)
{
    if (next > m_frameCount) {
        m_frame = m_frameCount;
        return;
    }
    if (next < 1) {
        m_frame = 1;
        return;
    }
    m_frame = next;
    update();
    updateRange();
    const double value
        = std::floor((static_cast<double>(m_range) / m_frameCount) * m_frame + m_min);
    if (value >= -32768.0 && value <= 32767.0)
        m_value = static_cast<qint16>(value);
    emit PropertyChanged(QStringLiteral("Value"));
    emit Scroll(m_value);
    valueChanged();
}

void animKnob::stepValue(int direction)
{
    // Frames outnumber the values on the program's knobs, so some neighbouring frames share a
    // value: skip those, or a press would change nothing and the next one two units.
    updateRange();
    const auto valueAt = [this](int frame) {
        return std::floor((static_cast<double>(m_range) / m_frameCount) * frame + m_min);
    };
    int next = m_frame + direction;
    while (next >= 1 && next <= m_frameCount && valueAt(next) == static_cast<double>(m_value))
        next += direction;
    step(next);
}

void animKnob::keyPressEvent(QKeyEvent* event)
{
    // Up and Down turn the knob to the nearest frame of another value, as drag steps up or
    // down do, so that each press moves the value by the same amount; Enter stands for a
    // double-click.
    switch (event->key()) {
    case Qt::Key_Up:
        stepValue(+1);
        break;
    case Qt::Key_Down:
        stepValue(-1);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit DblClick();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void animKnob::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double-click is no drag start and no press either.
    if (event->button() == Qt::LeftButton)
        emit DblClick();
}

void animKnob::resizeEvent(QResizeEvent*)
{
    setFixedSize(kFaceSize, kFaceSize);
}

void animKnob::WriteProperties(Controls::PropertyList& bag) const
{
    writeSurface(bag);
    if (m_min != 0)
        bag.append({ QStringLiteral("Min"), m_min });
    if (m_max != 100)
        bag.append({ QStringLiteral("Max"), m_max });
    if (m_value != 80)
        bag.append({ QStringLiteral("Value"), m_value });
}

void animKnob::WriteProperties(QVariantMap& bag) const
{
    Controls::writePropertyMap(*this, bag);
}

void animKnob::ReadProperties(const QVariantMap& bag)
{
    readSurface(bag);
    m_min = Controls::readInt16(bag, QStringLiteral("Min"), 0);
    m_max = Controls::readInt16(bag, QStringLiteral("Max"), 100);
    m_value = Controls::readInt16(bag, QStringLiteral("Value"), 80);
    valueChanged();
    if (Controls::isOwnEnabled(this))
        redraw();
}
