// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/FilmStripControl.h"

#include <QImage>
#include <QVariantMap>
#include <QWidget>

// An owner-drawn rotary knob: a face showing one 50 x 50 frame of a 78-frame film strip, turned
// by dragging up or down with the left button, or with Up and Down while it has the keyboard
// focus (Tab reaches it). Knows nothing of sound. GUI thread only.
class animKnob : public FilmStripControl
{
    Q_OBJECT
public:
    explicit animKnob(QWidget* parent = nullptr);

    qint16 Min() const { return m_min; }
    qint16 Max() const { return m_max; }
    qint16 Value() const { return m_value; }
    // Store the value unchanged (no clamping), report the change, redraw; never raise Scroll.
    void setMin(qint16 v);
    void setMax(qint16 v);
    void setValue(qint16 v);

    // The 1-based frame of the strip shown now.
    int currentFrame() const { return m_frame; }
    // How many frames the film strip holds (78).
    int frameCount() const { return m_frameCount; }
    // Saves the persisted properties in their order, leaving out those equal to the default.
    void WriteProperties(QVariantMap& bag) const;
    // The same, keeping the order: Enabled, Picture, MouseIcon, MousePointer, Min, Max, Value.
    void WriteProperties(Controls::PropertyList& bag) const;
    // Loads them without the setters, then redraws once when enabled.
    void ReadProperties(const QVariantMap& bag);

signals:
    // The user double-clicked the face (or pressed Enter on it).
    void DblClick();
    // A drag step (or an Up or Down key) drew a new frame; whatever the handler leaves in
    // `Value` becomes the knob's value (without a redraw). Connect directly.
    void Scroll(qint16& Value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void redraw();
    // One drag step to frame `next`: stops at the ends without an event, else draws the frame,
    // computes Value and raises Scroll.
    void step(int next);
    // One keyboard step: the nearest frame in `direction` (+1 up, -1 down) whose value differs.
    void stepValue(int direction);
    void updateRange();
    void valueChanged();

    qint16 m_min = 0;
    qint16 m_max = 100;
    qint16 m_value = 0;
    int m_frame = 1;
    int m_frameHeight = 50;
    int m_frameCount = 78;
    qint16 m_referenceY = 0;
    qint32 m_range = 100;
};
