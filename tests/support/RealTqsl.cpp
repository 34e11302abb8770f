#include "RealTqsl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <stdexcept>

namespace {

QString makeHomeScript()
{
    return QStringLiteral(QUORVANE_TEST_SUPPORT_DIR "/make-tqsl-home.sh");
}

QString xvfb()
{
    return QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
}

} // namespace

QString RealTqsl::unavailable()
{
#ifdef Q_OS_WIN
    return QStringLiteral("the real TQSL is Debian's Linux program here (trustedqsl), which a Windows build cannot start");
#endif
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/tqsl")))
        return QStringLiteral("TQSL (Debian package trustedqsl) is not installed");
    if (xvfb().isEmpty())
        return QStringLiteral("Xvfb (Debian package xvfb) is not installed");
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        return QStringLiteral("openssl is not installed");
    return QString();
}

RealTqsl::RealTqsl() : RealTqsl(Certificate{}) {}

RealTqsl::RealTqsl(const Certificate& certificate)
{
    QProcess make;
    make.setProcessChannelMode(QProcess::MergedChannels);
    make.start(QStringLiteral("/bin/sh"),
               {makeHomeScript(), m_home.path(), certificate.call, certificate.qsoFrom, certificate.qsoTo,
                certificate.dxcc, certificate.location, certificate.passphrase, QString::number(certificate.validDays)});
    if (!make.waitForFinished(60000) || make.exitStatus() != QProcess::NormalExit || make.exitCode() != 0)
        throw std::runtime_error("cannot make TQSL's home: " + make.readAll().toStdString());

    // A display of its own, which tells its number once it is ready.
    m_display = std::make_unique<QProcess>();
    m_display->start(xvfb(), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                              QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp")});
    QByteArray number;
    while (!number.contains('\n') && m_display->waitForReadyRead(30000))
        number += m_display->readAllStandardOutput();
    number = number.trimmed();
    if (number.isEmpty())
        throw std::runtime_error("Xvfb did not start");

    m_program = m_home.file(QStringLiteral("tqsl"));
    const QByteArray home = m_home.path().toUtf8();
    m_home.write(QStringLiteral("tqsl"), "#!/bin/sh\nHOME='" + home + "'\nDISPLAY=:" + number
                                            + "\nexport HOME DISPLAY\nexec /usr/bin/tqsl \"$@\"\n");
    QFile::setPermissions(m_program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

RealTqsl::~RealTqsl()
{
    if (m_display) {
        m_display->terminate();
        if (!m_display->waitForFinished(5000))
            m_display->kill();
        m_display->waitForFinished(5000);
    }
}

QString RealTqsl::stationFile() const
{
    return m_home.file(QStringLiteral(".tqsl/station_data"));
}

void RealTqsl::setUploadAddress(const QString& url) const
{
    m_home.write(QStringLiteral(".tqslapp"), "[LogUpload]\nUploadURL=" + url.toUtf8() + "\n");
}

void RealTqsl::forgetSignedQsos() const
{
    for (const char* name : {".tqsl/data.mdb", ".tqsl/lock.mdb", ".tqsl/dblock"})
        QFile::remove(m_home.file(QString::fromLatin1(name)));
}

QString RealTqsl::programThatHoldsTheLogAfterwards(const QString& folder, const QString& logPath, int seconds) const
{
    const QString path = QDir(folder).filePath(QStringLiteral("tqsl-then-hold-the-log"));
    const QByteArray locked = QDir(folder).filePath(QStringLiteral("log-is-held")).toUtf8();
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write the program");
    script.write("#!/bin/sh\n'" + m_program.toUtf8() + "' \"$@\"\nstatus=$?\nrm -f '" + locked + "'\n"
                 "python3 -c 'import sqlite3, sys, time\n"
                 "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                 "c.execute(\"BEGIN EXCLUSIVE\")\n"
                 "open(sys.argv[2], \"w\").close()\n"
                 "time.sleep(float(sys.argv[3]))\n"
                 "c.execute(\"COMMIT\")' '" + logPath.toUtf8() + "' '" + locked + "' " + QByteArray::number(seconds)
                 + " &\nwhile [ ! -e '" + locked + "' ]; do sleep 0.05; done\nexit $status\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}
