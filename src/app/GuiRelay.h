#pragma once

#include "platform/Desktop.h"

#include <QMetaObject>
#include <QObject>
#include <QSemaphore>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

// Runs call on the thread of context (the window's) and waits for its result. On that thread
// itself it runs at once. When abandoned is set while waiting (the window is going away and
// will not run it any more), the wait ends with fallback. call must own what it uses: it may
// still run after an abandoned wait has ended.
template <class R>
R CallOnThreadOf(QObject* context, const std::atomic<bool>& abandoned, std::function<R()> call, R fallback)
{
    if (QThread::currentThread() == context->thread())
        return call();
    struct State
    {
        QSemaphore done;
        R result{};
    };
    auto state = std::make_shared<State>();
    QMetaObject::invokeMethod(
        context,
        [state, call = std::move(call)] {
            state->result = call();
            state->done.release();
        },
        Qt::QueuedConnection);
    while (!state->done.tryAcquire(1, 20)) {
        if (abandoned.load())
            return fallback;
    }
    return state->result;
}

// The desktop services for code that runs on a worker thread: every call is carried out on
// the window's thread (the browser, the file viewer and the clipboard are the window's) and
// waited for, so that a caller gets its answer.
class RelayDesktop : public Desktop
{
public:
    // context: an object of the window's thread; abandoned: set when the window goes away.
    RelayDesktop(Desktop& target, QObject* context, const std::atomic<bool>& abandoned)
        : m_target(target), m_context(context), m_abandoned(abandoned)
    {
    }

    bool openUrl(const QString& address) override
    {
        Desktop& target = m_target;
        return CallOnThreadOf<bool>(m_context, m_abandoned, [&target, address] { return target.openUrl(address); },
                                    false);
    }
    bool openFile(const QString& path) override
    {
        Desktop& target = m_target;
        return CallOnThreadOf<bool>(m_context, m_abandoned, [&target, path] { return target.openFile(path); }, false);
    }
    void setClipboardText(const QString& text) override
    {
        Desktop& target = m_target;
        CallOnThreadOf<bool>(
            m_context, m_abandoned,
            [&target, text] {
                target.setClipboardText(text);
                return true;
            },
            false);
    }
    bool hasClipboard() const override { return m_target.hasClipboard(); }
    void pause(int milliseconds) override
    {
        Desktop& target = m_target;
        CallOnThreadOf<bool>(
            m_context, m_abandoned,
            [&target, milliseconds] {
                target.pause(milliseconds);
                return true;
            },
            false);
    }

private:
    Desktop& m_target;
    QObject* m_context;
    const std::atomic<bool>& m_abandoned;
};

// Message boxes for code that runs on a worker thread: shown on the window's thread, waited
// for (the caller asked for a modal message).
class RelayMessageBox : public MessageBox
{
public:
    RelayMessageBox(MessageBox& target, QObject* context, const std::atomic<bool>& abandoned)
        : m_target(target), m_context(context), m_abandoned(abandoned)
    {
    }

    void show(const QString& text) override
    {
        MessageBox& target = m_target;
        CallOnThreadOf<bool>(
            m_context, m_abandoned,
            [&target, text] {
                target.show(text);
                return true;
            },
            false);
    }
    void inform(const QString& text) override
    {
        MessageBox& target = m_target;
        CallOnThreadOf<bool>(
            m_context, m_abandoned,
            [&target, text] {
                target.inform(text);
                return true;
            },
            false);
    }
    bool ask(const QString& text) override
    {
        MessageBox& target = m_target;
        return CallOnThreadOf<bool>(m_context, m_abandoned, [&target, text] { return target.ask(text); }, false);
    }

private:
    MessageBox& m_target;
    QObject* m_context;
    const std::atomic<bool>& m_abandoned;
};

// Runs work on a worker thread of its own while the calling (window) thread goes on delivering
// events other than the operator's input, so that the window stays painted and what work
// asks of the window's thread (through the relays above) is carried out. Returns when work
// has ended; an exception it throws is thrown here.
void RunOnWorkerThread(const std::function<void()>& work);
