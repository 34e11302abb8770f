#include "GuiRelay.h"

#include <QEventLoop>
#include <exception>

void RunOnWorkerThread(const std::function<void()>& work)
{
    std::exception_ptr failure;
    QThread* thread = QThread::create([&work, &failure] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    // The operator's clicks wait: what work fills in must not change under it. A message box
    // that work shows runs its own loop, which takes the operator's answer.
    if (!thread->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    thread->wait();
    delete thread;
    if (failure)
        std::rethrow_exception(failure);
}
