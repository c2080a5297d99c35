#pragma once

#include <QListWidget>

// One phrase list: a single-selection list box that reports every mouse press, of any button,
// after it has moved its selection to the pressed row (a press below the last row keeps the
// selection). The second press of a double-click is no press. GUI thread only.
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
