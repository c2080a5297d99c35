// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Commands.h"
#include "dialogs/SettingsIntents.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

// The widgets that Tab visits, in order, starting at `first`.
inline QList<QWidget*> tabChain(QWidget* first)
{
    QList<QWidget*> chain;
    QWidget* w = first;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w;
        w = w->nextInFocusChain();
    } while (w && w != first);
    return chain;
}

// The player stand-in: the Settings dialog sees the program only through SettingsIntents.
// `window` is the main window the dialogs are parented to.
class FakeHost : public SettingsIntents
{
public:
    explicit FakeHost(Commands::ProgramValues& values)
        : m_values(values)
    { }
    void refreshLists() override
    {
        ++refreshes;
        wavPathAtRefresh = m_values.WAVpath;
    }
    bool unloaded() const override { return false; }

    QWidget window;
    int refreshes = 0;
    QString wavPathAtRefresh;

private:
    Commands::ProgramValues& m_values;
};

// Runs `step` every 10 ms until it returns true (the timer then stops). Lets a test act while
// a handler under test waits inside its own event loop.
inline void whenReady(QObject* context, std::function<bool()> step)
{
    auto* timer = new QTimer(context);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, context, [timer, step] {
        if (step()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// A modal notice as the user saw it.
struct SeenNotice
{
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    int count = 0;
};

// Answers the next modal message boxes with OK and records what they showed.
inline void answerNotices(QObject* context, SeenNotice& seen)
{
    auto* timer = new QTimer(context);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, context, [&seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen.text = box->text();
            seen.icon = box->icon();
            seen.title = box->windowTitle();
            ++seen.count;
            box->accept();
        }
    });
    timer->start();
}

// Lets deleteLater() of closed dialogs take effect.
inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}
