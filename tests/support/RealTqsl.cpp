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

QString xvfbRun()
{
    return QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
}

} // namespace

QString RealTqsl::unavailable()
{
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/tqsl")))
        return QStringLiteral("TQSL (Debian package trustedqsl) is not installed");
    if (xvfbRun().isEmpty())
        return QStringLiteral("xvfb-run (Debian package xvfb) is not installed");
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

    m_program = m_home.file(QStringLiteral("tqsl"));
    const QByteArray home = m_home.path().toUtf8();
    m_home.write(QStringLiteral("tqsl"), "#!/bin/sh\nHOME='" + home + "'\nexport HOME\nexec " + xvfbRun().toUtf8()
                                            + " -a /usr/bin/tqsl \"$@\"\n");
    QFile::setPermissions(m_program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString RealTqsl::stationFile() const
{
    return m_home.file(QStringLiteral(".tqsl/station_data"));
}

void RealTqsl::setUploadAddress(const QString& url) const
{
    m_home.write(QStringLiteral(".tqslapp"), "[LogUpload]\nUploadURL=" + url.toUtf8() + "\n");
}
