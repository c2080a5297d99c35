#pragma once

#include <QListWidget>

// One phrase list: a single-selection list box that reports every mouse press after it has
// moved its selection to the pressed row. A right press leaves the selection alone; the second
// press of a double-click counts as a press. GUI thread only.
class PhraseList : public QListWidget
{
    Q_OBJECT
public:
    explicit PhraseList(QWidget* parent = nullptr);

signals:
    // A press with `button`, the selection already updated.
    void MouseDown(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
