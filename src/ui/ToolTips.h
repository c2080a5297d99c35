// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

class QWidget;

// Tooltips whose text is made when they are about to show, so a knob's tooltip tells the value
// it has now rather than the one it had when the text was last set. The tooltip is also the
// control's description for assistive technologies, so refresh() renews every text after a
// change and tells them. GUI thread only.
class ToolTips : public QObject
{
    Q_OBJECT
public:
    // Makes the tooltip text of one widget; called on the GUI thread just before it shows.
    using Text = std::function<QString()>;

    explicit ToolTips(QObject* parent = nullptr);

    // Gives `widget` a tooltip made by `text` (a text set before is replaced at once).
    void add(QWidget* widget, const Text& text);

    // Renews every text once control returns to the event loop (several changes in one
    // handler make one renewal), and raises a description change for each text that changed.
    void refresh();

    // A control's tooltip: "<name>: <value>" (just the name when `value` is empty), then a line
    // "Key: <key>" (or "Keys: ..." when `key` names several), left out when `key` is empty.
    static QString compose(const QString& name, const QString& value, const QString& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void renew();

    QHash<const QObject*, Text> m_texts;
    bool m_pending = false;
};
