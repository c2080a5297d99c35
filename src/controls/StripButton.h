// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/FilmStripControl.h"

#include <QImage>
#include <QVariantMap>
#include <QWidget>

// A latching two-frame button: every mouse-button press flips Value, shows the matching frame
// and raises Push; so does Enter while it has the keyboard focus (Tab reaches it). The three
// kinds differ only in their artwork. GUI thread only.
class StripButton : public FilmStripControl
{
    Q_OBJECT
public:
    bool Value() const { return m_value; }
    // Store, report the change, redraw; never raise Push.
    void setValue(bool v);

    // The frame shown now: false for the upper frame, true for the lower one.
    bool shownFrame() const { return m_shown; }
    // Height of one frame of the strip in 96-dpi pixels (20 or 121).
    int frameHeight() const { return m_frameHeight; }

    // Saves the persisted properties in their order, leaving out defaults.
    void WriteProperties(QVariantMap& bag) const;
    // The same, keeping the order: Enabled, Picture, MouseIcon, MousePointer, Value.
    void WriteProperties(Controls::PropertyList& bag) const;
    // Loads them without the setters, then redraws once when enabled.
    void ReadProperties(const QVariantMap& bag);

    // Acts as one press on the face (flip, redraw, Push); for assistive technologies, which
    // press the button without a mouse.
    void press();

signals:
    // A press flipped Value; whatever the handler leaves in `Value` becomes the button's
    // value (without a redraw). Connect directly.
    void Push(bool& Value);

protected:
    // `strip` is the resource path of the two-frame strip artwork.
    StripButton(const QString& strip, QWidget* parent);
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void redraw();
    void applySizeRule();
    void stateChanged();

    bool m_value = false;
    bool m_shown = false;
    int m_frameHeight = 0;
};

// The red Mute key (29 x 20).
class miniButton : public StripButton
{
    Q_OBJECT
public:
    explicit miniButton(QWidget* parent = nullptr);
};

// The green Play key (29 x 20).
class miniButtonGreen : public StripButton
{
    Q_OBJECT
public:
    explicit miniButtonGreen(QWidget* parent = nullptr);
};

// The wide sync panel (685 x 121).
class syncButton : public StripButton
{
    Q_OBJECT
public:
    explicit syncButton(QWidget* parent = nullptr);
};
