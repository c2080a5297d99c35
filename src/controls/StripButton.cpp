// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/StripButton.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

StripButton::StripButton(const QString& strip, QWidget* parent)
    : FilmStripControl(strip, parent)
{
    m_value = false;
    m_frameHeight = this->strip().height() / 2;
    redraw();
    applySizeRule();
}

void StripButton::applySizeRule()
{
    setFixedSize(strip().width(), strip().height() / 2);
}

void StripButton::setValue(bool v)
{
    m_value = v;
    emit PropertyChanged(QStringLiteral("Value"));
    stateChanged();
    redraw();
}

void StripButton::redraw()
{
    m_shown = m_value;
    update();
}

void StripButton::stateChanged()
{
    if (QAccessible::isActive()) {
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
}

void StripButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintFrame(painter, rect(), m_shown ? m_frameHeight : 0, Qt::black);
}

void StripButton::press()
{
    m_value = !m_value;
    redraw();
    emit Push(m_value);
    stateChanged();
}

void StripButton::mousePressEvent(QMouseEvent* event)
{
    // Any button, any modifier keys.
    event->accept();
    press();
}

void StripButton::keyPressEvent(QKeyEvent* event)
{
    // Enter on the focused button is one press.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        press();
        return;
    }
    QWidget::keyPressEvent(event);
}

void StripButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double-click is not a press.
    event->accept();
}

void StripButton::resizeEvent(QResizeEvent*)
{
    applySizeRule();
}

void StripButton::WriteProperties(Controls::PropertyList& bag) const
{
    writeSurface(bag);
    if (m_value)
        bag.append({ QStringLiteral("Value"), true });
}

void StripButton::WriteProperties(QVariantMap& bag) const
{
    Controls::writePropertyMap(*this, bag);
}

void StripButton::ReadProperties(const QVariantMap& bag)
{
    readSurface(bag);
    const QVariant v = bag.value(QStringLiteral("Value"));
    m_value = v.isValid() && v.canConvert<bool>() ? v.toBool() : false;
    stateChanged();
    if (Controls::isOwnEnabled(this))
        redraw();
}

miniButton::miniButton(QWidget* parent)
    : StripButton(QStringLiteral(":/artwork/mute.png"), parent)
{ }

miniButtonGreen::miniButtonGreen(QWidget* parent)
    : StripButton(QStringLiteral(":/artwork/play.png"), parent)
{ }

syncButton::syncButton(QWidget* parent)
    : StripButton(QStringLiteral(":/artwork/sync.png"), parent)
{ }
