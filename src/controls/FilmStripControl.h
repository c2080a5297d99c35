// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/ControlSurface.h"

#include <QImage>
#include <QWidget>

class QPainter;

// What the owner-drawn controls share: a face copied from one frame of a film strip (from the
// twice-size strip on a high-density target), the surface properties (Picture, MouseIcon,
// MousePointer) with their change reports, and the control's own Enabled property. The knob
// and the strip buttons derive from it. GUI thread only.
class FilmStripControl : public QWidget
{
    Q_OBJECT
public:
    // The 96-dpi film strip the face is copied from (implicitly shared, read-only).
    QImage strip() const { return m_strip; }

    // Background picture of the surface; the face covers it. Reports "Picture".
    QImage Picture() const { return m_surface.picture(); }
    void setPicture(const QImage& picture);
    // Custom pointer image, used when MousePointer is 99. Reports "MouseIcon".
    QImage MouseIcon() const { return m_surface.mouseIcon(); }
    void setMouseIcon(const QImage& icon);
    // Pointer shape code (0 = the standard pointer). Reports "MousePointer".
    qint16 MousePointer() const { return m_surface.mousePointer(); }
    void setMousePointer(qint16 code);

signals:
    // A property changed (its name: "Value", "Enabled", "Picture", ...).
    void PropertyChanged(const QString& name);

protected:
    // `stripPath` is the resource path of the film strip ("name@2x.png" beside it is the
    // twice-size one, loaded when first needed).
    FilmStripControl(const QString& stripPath, QWidget* parent);

    // Copies the frame at 96-dpi `sourceY` (face-sized) onto `face`, or fills the face with
    // `missing` when there is no strip.
    void paintFrame(QPainter& painter, const QRect& face, int sourceY, const QColor& missing);
    // Appends the surface properties to `bag` (see ControlSurface::write).
    void writeSurface(Controls::PropertyList& bag) const { m_surface.write(bag); }
    // Loads the surface properties from `bag` without reporting Enabled.
    void readSurface(const QVariantMap& bag);

    void changeEvent(QEvent* event) override;

private:
    QString m_stripPath;
    QImage m_strip;
    QImage m_strip2x;
    bool m_loading = false;
    bool m_ownEnabled = true;
    Controls::ControlSurface m_surface;
};
