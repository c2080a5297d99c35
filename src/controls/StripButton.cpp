#include "controls/StripButton.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>

StripButton::StripButton(const QString& strip, QWidget* parent)
    : QWidget(parent)
    , m_strip(strip)
    , m_surface(this)
{
    Controls::initControls();
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_stripImage = Controls::loadStrip(m_strip);
    m_value = false;
    m_frameHeight = m_stripImage.height() / 2;
    redraw();
    applySizeRule();
}

void StripButton::applySizeRule()
{
    setFixedSize(m_stripImage.width(), m_stripImage.height() / 2);
}

void StripButton::setValue(bool v)
{
    m_value = v;
    emit PropertyChanged(QStringLiteral("Value"));
    stateChanged();
    redraw();
}

void StripButton::setPicture(const QImage& picture)
{
    m_surface.setPicture(picture);
    emit PropertyChanged(QStringLiteral("Picture"));
}

void StripButton::setMouseIcon(const QImage& icon)
{
    m_surface.setMouseIcon(icon);
    emit PropertyChanged(QStringLiteral("MouseIcon"));
}

void StripButton::setMousePointer(qint16 code)
{
    m_surface.setMousePointer(code);
    emit PropertyChanged(QStringLiteral("MousePointer"));
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
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const QRect face = rect();
    const int sourceY = m_shown ? m_frameHeight : 0;
    // Frames are indexed in 96-dpi pixels; a high-density screen takes the same frame from the
    // twice-size strip.
    // The target may be a redirected device (grab, render) with its own pixel ratio.
    const bool dense = painter.paintEngine()->paintDevice()->devicePixelRatioF() > 1.0;
    if (dense && m_strip2x.isNull())
        m_strip2x = Controls::loadStrip2x(m_strip);
    if (dense && !m_strip2x.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(
            face, m_strip2x, QRect(0, sourceY * 2, face.width() * 2, face.height() * 2));
    } else if (!m_stripImage.isNull()) {
        painter.drawImage(face, m_stripImage, QRect(0, sourceY, face.width(), face.height()));
    } else {
        painter.fillRect(face, Qt::black);
    }
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

void StripButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double-click is not a press.
    event->accept();
}

void StripButton::resizeEvent(QResizeEvent*)
{
    applySizeRule();
}

void StripButton::changeEvent(QEvent* event)
{
    // Only the control's own Enabled counts, not a parent being disabled.
    if (event->type() == QEvent::EnabledChange && Controls::isOwnEnabled(this) != m_ownEnabled) {
        m_ownEnabled = Controls::isOwnEnabled(this);
        if (!m_loading)
            emit PropertyChanged(QStringLiteral("Enabled"));
    }
    QWidget::changeEvent(event);
}

void StripButton::WriteProperties(Controls::PropertyList& bag) const
{
    m_surface.write(bag);
    if (m_value)
        bag.append({ QStringLiteral("Value"), true });
}

void StripButton::WriteProperties(QVariantMap& bag) const
{
    Controls::PropertyList list;
    WriteProperties(list);
    bag.insert(Controls::toMap(list));
}

void StripButton::ReadProperties(const QVariantMap& bag)
{
    m_loading = true;
    m_surface.read(bag);
    m_loading = false;
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
