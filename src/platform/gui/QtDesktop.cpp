#include "QtDesktop.h"

#include "platform/Strings.h"
#include "platform/SystemOpener.h"

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QUrl>

QUrl QtDesktop::browserUrl(const QString& address)
{
    auto isHex = [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
               || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    };
    // Tolerant parsing re-encodes every "%" of an address once a single "%" starts no
    // escape, the password's escapes included; such a "%" is written as "%25" first.
    QString text;
    text.reserve(address.size());
    for (qsizetype i = 0; i < address.size(); ++i) {
        const QChar c = address.at(i);
        if (c == QLatin1Char('%') && !(i + 2 < address.size() && isHex(address.at(i + 1)) && isHex(address.at(i + 2))))
            text += QLatin1String("%25");
        else
            text += c;
    }
    return QUrl(text, QUrl::TolerantMode);
}

namespace {
// The system's opener, with the window kept painted while it decides: a browser that could not
// be started (the opener ends with a failure) is told as such.
bool openWithSystem(const QUrl& url)
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    // The shell's own verdict.
    return QDesktopServices::openUrl(url);
#else
    return OpenWithSystem(url.isLocalFile() ? url.toLocalFile() : QString::fromLatin1(url.toEncoded()),
                          [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
#endif
}
} // namespace

bool QtDesktop::openUrl(const QString& address)
{
    return openWithSystem(browserUrl(address));
}

bool QtDesktop::openFile(const QString& path)
{
    return openWithSystem(QUrl::fromLocalFile(path));
}

void QtDesktop::setClipboardText(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}

void QtDesktop::pause(int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

void QtMessageBox::show(const QString& text)
{
    QMessageBox::warning(m_parent, Strings::text(Strings::AppTitle), text);
}

bool QtMessageBox::askUnlessMoot(const QString& text, const std::function<bool()>& moot)
{
    QMessageBox box(QMessageBox::Question, Strings::text(Strings::AppTitle), text, QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setDefaultButton(QMessageBox::No);
    QTimer watch;
    watch.setInterval(100);
    QObject::connect(&watch, &QTimer::timeout, &box, [&box, &moot] {
        if (moot())
            box.done(QMessageBox::Yes);
    });
    watch.start();
    return box.exec() == QMessageBox::Yes;
}

void QtMessageBox::inform(const QString& text)
{
    QMessageBox::information(m_parent, Strings::text(Strings::AppTitle), text);
}

bool QtMessageBox::ask(const QString& text)
{
    return QMessageBox::question(m_parent, Strings::text(Strings::AppTitle), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
           == QMessageBox::Yes;
}
