// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ToolTips.h"

#include <QAccessible>
#include <QEvent>
#include <QTimer>
#include <QWidget>

ToolTips::ToolTips(QObject* parent)
    : QObject(parent)
{ }

void ToolTips::add(QWidget* widget, const Text& text)
{
    widget->setToolTip(text());
    if (!m_texts.contains(widget)) {
        widget->installEventFilter(this);
        connect(widget, &QObject::destroyed, this, [this](QObject* gone) { m_texts.remove(gone); });
    }
    m_texts.insert(widget, text);
}

void ToolTips::refresh()
{
    if (m_pending)
        return;
    m_pending = true;
    // Later, so that the state every text reads (a column's playing flag, say) is complete.
    QTimer::singleShot(0, this, [this] { renew(); });
}

void ToolTips::renew()
{
    m_pending = false;
    for (auto it = m_texts.cbegin(); it != m_texts.cend(); ++it) {
        auto* widget = const_cast<QWidget*>(static_cast<const QWidget*>(it.key()));
        const QString text = it.value() ? it.value()() : QString();
        if (text == widget->toolTip())
            continue;
        widget->setToolTip(text);
        if (QAccessible::isActive()) {
            QAccessibleEvent event(widget, QAccessible::DescriptionChanged);
            QAccessible::updateAccessibility(&event);
        }
    }
}

QString ToolTips::compose(const QString& name, const QString& value, const QString& key)
{
    QString tip = value.isEmpty() ? name : name + QStringLiteral(": ") + value;
    if (!key.isEmpty()) {
        const bool several = key.contains(QLatin1Char(',')) || key.contains(QLatin1Char('/'));
        tip += (several ? QStringLiteral("\nKeys: ") : QStringLiteral("\nKey: ")) + key;
    }
    return tip;
}

bool ToolTips::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto it = m_texts.constFind(watched);
        if (it != m_texts.constEnd() && *it)
            static_cast<QWidget*>(watched)->setToolTip((*it)());
    }
    // The widget shows the tooltip itself.
    return false;
}
