// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/FilmStripControl.h"

#include <QEvent>
#include <QPaintEngine>
#include <QPainter>

FilmStripControl::FilmStripControl(const QString& stripPath, QWidget* parent)
    : QWidget(parent)
    , m_stripPath(stripPath)
    , m_surface(this)
{
    Controls::initControls();
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Reached by Tab, and a press focuses it as a click focuses any button, so the next key
    // (Enter, the arrows) goes to the control just used.
    setFocusPolicy(Qt::StrongFocus);
    m_strip = Controls::loadStrip(m_stripPath);
}

void FilmStripControl::setPicture(const QImage& picture)
{
    m_surface.setPicture(picture);
    emit PropertyChanged(QStringLiteral("Picture"));
}

void FilmStripControl::setMouseIcon(const QImage& icon)
{
    m_surface.setMouseIcon(icon);
    emit PropertyChanged(QStringLiteral("MouseIcon"));
}

void FilmStripControl::setMousePointer(qint16 code)
{
    m_surface.setMousePointer(code);
    emit PropertyChanged(QStringLiteral("MousePointer"));
}

void FilmStripControl::paintFrame(
    QPainter& painter, const QRect& face, int sourceY, const QColor& missing)
{
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    // Frames are indexed in 96-dpi pixels; a high-density screen takes the same frame from the
    // twice-size strip. The target may be a redirected device (grab, render) with its own
    // pixel ratio.
    const bool dense = painter.paintEngine()->paintDevice()->devicePixelRatioF() > 1.0;
    if (dense && m_strip2x.isNull())
        m_strip2x = Controls::loadStrip2x(m_stripPath);
    if (dense && !m_strip2x.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(
            face, m_strip2x, QRect(0, sourceY * 2, face.width() * 2, face.height() * 2));
    } else if (!m_strip.isNull()) {
        painter.drawImage(face, m_strip, QRect(0, sourceY, face.width(), face.height()));
    } else {
        painter.fillRect(face, missing);
    }
}

void FilmStripControl::readSurface(const QVariantMap& bag)
{
    m_loading = true;
    m_surface.read(bag);
    m_loading = false;
}

void FilmStripControl::changeEvent(QEvent* event)
{
    // Only the control's own Enabled counts, not a parent being disabled.
    if (event->type() == QEvent::EnabledChange && Controls::isOwnEnabled(this) != m_ownEnabled) {
        m_ownEnabled = Controls::isOwnEnabled(this);
        if (!m_loading)
            emit PropertyChanged(QStringLiteral("Enabled"));
    }
    QWidget::changeEvent(event);
}
