// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class QWidget;

namespace Controls {

// Saved properties of a control in the order they are written: (name, value) pairs.
using PropertyList = QList<QPair<QString, QVariant>>;

// Copies an ordered property list into a map (later names win). Any thread.
QVariantMap toMap(const PropertyList& list);

// Adds what `control`'s WriteProperties(PropertyList&) lists to `bag`: the map form of the
// persisted properties. GUI thread.
template <class Control> void writePropertyMap(const Control& control, QVariantMap& bag)
{
    PropertyList list;
    control.WriteProperties(list);
    bag.insert(toMap(list));
}

// Loads the artwork resources and registers the controls' accessibility factory with Qt; the
// first control constructed calls it, later calls do nothing. GUI thread only.
void initControls();

// Loads a film strip from the resources at its 96-dpi size. A null image when it is missing.
QImage loadStrip(const QString& path);

// Loads the twice-size version of a strip ("name@2x.png"), tagged with device pixel ratio 2.
// A null image when there is none.
QImage loadStrip2x(const QString& path);

// The surface properties the owner-drawn controls share: a background picture (covered by the
// face, kept for the host), a custom pointer image and a pointer shape code, applied to the
// widget the surface belongs to. Owned by its control; GUI thread only.
class ControlSurface
{
public:
    explicit ControlSurface(QWidget* widget);

    QImage picture() const { return m_picture; }
    void setPicture(const QImage& picture) { m_picture = picture; }
    QImage mouseIcon() const { return m_mouseIcon; }
    void setMouseIcon(const QImage& icon);
    qint16 mousePointer() const { return m_mousePointer; }
    void setMousePointer(qint16 code);

    // Appends "Enabled", "Picture", "MouseIcon", "MousePointer", in that order, leaving out each
    // one equal to its default (true, none, none, 0).
    void write(PropertyList& bag) const;
    // Reads the same names with those defaults and hands them straight to the surface. An entry
    // of the wrong type counts as missing.
    void read(const QVariantMap& bag);

private:
    void applyCursor();

    QWidget* m_widget;
    QImage m_picture;
    QImage m_mouseIcon;
    qint16 m_mousePointer = 0;
};

// The control's own Enabled property (a disabled parent does not change it).
bool isOwnEnabled(const QWidget* widget);

// Reads a 16-bit signed entry of a property bag; `fallback` when it is missing, not a number or
// out of range.
qint16 readInt16(const QVariantMap& bag, const QString& name, qint16 fallback);

} // namespace Controls
