// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>

// One phrase list: a single-selection list box that reports every mouse press, of any button,
// after it has moved its selection to the pressed row. A press below the last row keeps the
// selection and is reported as a press on the selected row. The second press of a double-click
// is no press. GUI thread only.
class PhraseList : public QListWidget
{
    Q_OBJECT
public:
    explicit PhraseList(QWidget* parent = nullptr);

    // A press with `button` on the row the keyboard cursor is on, as a mouse press there would
    // be: the row is selected first, then MouseDown is raised. Without a cursor row (an empty
    // list, a list just refilled) a left press does nothing, and a right press keeps the
    // selection as a right press below the last row does. pressedByKey() is true while its
    // MouseDown runs.
    void pressCurrentRow(Qt::MouseButton button = Qt::LeftButton);
    bool pressedByKey() const { return m_pressByKey; }

    // Selects the cursor row, if there is one and it is not selected yet.
    void selectCurrentRow();

    // The entries, first to last.
    QStringList entries() const;

    // Shows `entries` instead of the present ones, selecting row `selectedRow` (-1: none), and
    // keeping the cursor row's entry and the scroll position where they still are. Raises no
    // MouseDown. Does nothing when the entries are already these.
    void replaceEntries(const QStringList& entries, int selectedRow);

signals:
    // A press with `button`, the selection already updated.
    void MouseDown(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool m_pressByKey = false;
};
