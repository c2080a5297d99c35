// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FocusFrame.h"

#include <QEvent>
#include <QPainter>

namespace {

// The frame itself: a transparent child that paints only its border line.
class FrameLine : public QWidget
{
public:
    FrameLine(const QColor& colour, QWidget* parent)
        : QWidget(parent)
        , m_colour(colour)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        setObjectName(QStringLiteral("focusFrame"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const int w = FocusFrame::kWidth;
        const QRect r = rect();
        painter.fillRect(QRect(r.left(), r.top(), r.width(), w), m_colour);
        painter.fillRect(QRect(r.left(), r.bottom() - w + 1, r.width(), w), m_colour);
        painter.fillRect(QRect(r.left(), r.top(), w, r.height()), m_colour);
        painter.fillRect(QRect(r.right() - w + 1, r.top(), w, r.height()), m_colour);
    }

private:
    QColor m_colour;
};

} // namespace

FocusFrame::FocusFrame(const QColor& colour, QObject* parent)
    : QObject(parent)
    , m_colour(colour)
{ }

FocusFrame::~FocusFrame()
{
    // The frame belongs to the widget it is drawn on; take it away with the tracker.
    delete m_frame.data();
}

void FocusFrame::track(QWidget* widget)
{
    widget->installEventFilter(this);
    if (widget->hasFocus())
        showOn(widget);
}

QWidget* FocusFrame::framed() const
{
    return m_frame && m_frame->isVisibleTo(m_frame->parentWidget()) ? m_frame->parentWidget()
                                                                    : nullptr;
}

bool FocusFrame::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::FocusIn:
        showOn(widget);
        break;
    case QEvent::FocusOut:
        if (m_frame && m_frame->parentWidget() == widget)
            hide();
        break;
    case QEvent::Resize:
        if (m_frame && m_frame->parentWidget() == widget)
            m_frame->setGeometry(widget->rect());
        break;
    case QEvent::ChildAdded:
        // Stay above children the widget makes later (a list's new scroll bar).
        if (m_frame && m_frame->parentWidget() == widget)
            m_frame->raise();
        break;
    default:
        break;
    }
    return false;
}

void FocusFrame::showOn(QWidget* widget)
{
    if (!m_frame)
        m_frame = new FrameLine(m_colour, widget);
    else if (m_frame->parentWidget() != widget)
        m_frame->setParent(widget);
    m_frame->setGeometry(widget->rect());
    m_frame->raise();
    m_frame->show();
}

void FocusFrame::hide()
{
    m_frame->hide();
}
