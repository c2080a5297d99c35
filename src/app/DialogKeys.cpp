// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DialogKeys.h"

#include "app/Placement.h"

#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

namespace Commands {

namespace {

// Sees the keys that reach the dialog itself: those its focused control left alone.
class DialogKeyFilter : public QObject
{
public:
    DialogKeyFilter(QWidget& dialog, QPushButton* defaultButton, QPushButton* cancelButton)
        : QObject(&dialog)
        , m_dialog(&dialog)
        , m_default(defaultButton)
        , m_cancel(cancelButton)
    {
        dialog.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_dialog || event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers held = key->modifiers() & ~Qt::KeypadModifier;
        if (held != Qt::NoModifier)
            return false;
        QPushButton* target = nullptr;
        if (key->key() == Qt::Key_Escape)
            target = m_cancel;
        else if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            target = m_default;
        if (!target || !target->isEnabled() || !target->isVisible())
            return false;
        event->accept();
        if (!key->isAutoRepeat())
            target->click();
        return true;
    }

private:
    QPointer<QWidget> m_dialog;
    QPointer<QPushButton> m_default;
    QPointer<QPushButton> m_cancel;
};

} // namespace

void DialogKeys(QWidget& dialog, QPushButton* defaultButton, QPushButton* cancelButton)
{
    // A focused push button takes Enter itself (it presses that button); the others are
    // reached through the filter on the dialog.
    PressButtonsOnEnter(dialog);
    if (defaultButton)
        defaultButton->setDefault(true);
    new DialogKeyFilter(dialog, defaultButton, cancelButton);
}

} // namespace Commands
