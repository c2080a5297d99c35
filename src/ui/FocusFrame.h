// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QWidget>

// A clearly visible frame on whichever of the tracked widgets has the keyboard focus: a line of
// kWidth pixels in one colour just inside the widget's edges, drawn above its own painting. The
// frame is one child widget that moves to the focused widget; it takes no mouse input, so
// clicks, drags and tooltips reach the widget below. GUI thread only.
class FocusFrame : public QObject
{
    Q_OBJECT
public:
    static constexpr int kWidth = 2;

    // `colour`: the frame's line colour.
    explicit FocusFrame(const QColor& colour, QObject* parent = nullptr);
    ~FocusFrame() override;

    // Draws the frame on `widget` whenever it has the focus (also when it has it already).
    void track(QWidget* widget);

    // The widget the frame is drawn on now; null while no tracked widget has the focus.
    QWidget* framed() const;
    const QColor& colour() const { return m_colour; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showOn(QWidget* widget);
    void hide();

    QColor m_colour;
    QPointer<QWidget> m_frame;
};
