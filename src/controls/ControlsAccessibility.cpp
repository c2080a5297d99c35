// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/ControlsAccessibility.h"

#include "controls/StripButton.h"
#include "controls/animKnob.h"

#include <QAccessibleWidget>
#include <QDialog>

namespace {

// A knob reads as a dial whose value is the knob's Value. Assistive technologies may read it
// but not set it: a value set from outside would skip the host's Scroll handling.
class KnobAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit KnobAccessible(animKnob* knob)
        : QAccessibleWidget(knob, QAccessible::Dial)
    { }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QString::number(knob()->Value());
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return static_cast<int>(knob()->Value()); }
    void setCurrentValue(const QVariant&) override { }
    QVariant maximumValue() const override { return static_cast<int>(knob()->Max()); }
    QVariant minimumValue() const override { return static_cast<int>(knob()->Min()); }
    QVariant minimumStepSize() const override { return 1; }

private:
    animKnob* knob() const { return static_cast<animKnob*>(widget()); }
};

// A strip button reads as Qt's own checkable buttons do, as a check box whose checked state is
// the button's Value; pressing or toggling it through assistive technology acts as a press.
class StripButtonAccessible : public QAccessibleWidget
{
public:
    explicit StripButtonAccessible(StripButton* button)
        : QAccessibleWidget(button, QAccessible::CheckBox)
    { }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = button()->Value();
        return s;
    }

    QStringList actionNames() const override
    {
        return { QAccessibleActionInterface::toggleAction(),
            QAccessibleActionInterface::pressAction() };
    }

    void doAction(const QString& action) override
    {
        if (!widget()->isEnabled())
            return;
        if (action == QAccessibleActionInterface::toggleAction()
            || action == QAccessibleActionInterface::pressAction())
            button()->press();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    StripButton* button() const { return static_cast<StripButton*>(widget()); }
};

QAccessibleInterface* controlsFactory(const QString& className, QObject* object)
{
    // A plain widget made a dialog window reads as a dialog, as a QDialog does, not as a
    // filler. Asked for the object's own class first, so nothing more specific is lost.
    if (auto* widget = qobject_cast<QWidget*>(object); widget && widget->isWindow()
        && widget->windowType() == Qt::Dialog && !qobject_cast<QDialog*>(object)
        && className == QLatin1String(object->metaObject()->className()))
        return new QAccessibleWidget(widget, QAccessible::Dialog);
    if (className == QLatin1String("animKnob")) {
        if (auto* knob = qobject_cast<animKnob*>(object))
            return new KnobAccessible(knob);
    } else if (className == QLatin1String("StripButton")) {
        if (auto* button = qobject_cast<StripButton*>(object))
            return new StripButtonAccessible(button);
    }
    return nullptr;
}

} // namespace

namespace Controls {

void installAccessibilityFactory()
{
    QAccessible::installFactory(controlsFactory);
}

} // namespace Controls
