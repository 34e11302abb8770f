#include "SystemOpener.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

bool OpenWithSystem(const QString& target, const std::function<void()>& keepAlive)
{
#if defined(Q_OS_WIN)
    const QString opener = QStringLiteral("rundll32");
    const QStringList arguments = {QStringLiteral("url.dll,FileProtocolHandler"), target};
#elif defined(Q_OS_MACOS)
    const QString opener = QStringLiteral("open");
    const QStringList arguments = {target};
#else
    const QString opener = QStringLiteral("xdg-open");
    const QStringList arguments = {target};
#endif
    if (QStandardPaths::findExecutable(opener).isEmpty())
        return false;
    // Deliberately not owned while it runs: a QProcess ends its program when it is destroyed,
    // and a browser started in the foreground must outlive the wait.
    auto* process = new QProcess;
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(opener, arguments);
    if (!process->waitForStarted(5000)) {
        delete process;
        return false;
    }
    process->closeWriteChannel();
    const QDeadlineTimer deadline(5000);
    while (!process->waitForFinished(keepAlive ? 20 : 5000)) {
        if (keepAlive)
            keepAlive();
        if (deadline.hasExpired())
            return true;
    }
    const bool opened = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    delete process;
    return opened;
}
