#include "ui/ToolTips.h"

#include <QEvent>
#include <QWidget>

ToolTips::ToolTips(QObject* parent)
    : QObject(parent)
{ }

void ToolTips::add(QWidget* widget, Text text)
{
    widget->setToolTip(text());
    if (!m_texts.contains(widget)) {
        widget->installEventFilter(this);
        connect(widget, &QObject::destroyed, this, [this](QObject* gone) { m_texts.remove(gone); });
    }
    m_texts.insert(widget, std::move(text));
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
