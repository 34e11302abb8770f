#include "LineFile.h"

#include "platform/Errors.h"

bool LineFile::create(const QString& path)
{
    m_file.close();
    m_file.setFileName(path);
    m_openError.clear();
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return true;
    m_openError = m_file.errorString();
    return false;
}

namespace {
// Stands for a file that could not be created: every write fails with the cause.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(const QString& cause)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        setErrorString(cause);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override { return -1; }
};
} // namespace

QIODevice& LineFile::device()
{
    if (m_file.isOpen())
        return m_file;
    m_failing = std::make_unique<FailingDevice>(
        QStringLiteral("%1 could not be created (%2)").arg(m_file.fileName(), m_openError));
    return *m_failing;
}

void LineFile::fail()
{
    const QString cause = m_file.isOpen() ? m_file.errorString()
                                          : QStringLiteral("it could not be created (%1)").arg(m_openError);
    throw CFileException(QStringLiteral("An error occurred while writing %1: %2").arg(m_file.fileName(), cause));
}

void LineFile::writeLine(const QString& line)
{
    if (!m_file.isOpen())
        fail();
    const QByteArray bytes = line.toLatin1() + "\r\n";
    if (m_file.write(bytes) != bytes.size())
        fail();
}

void LineFile::close()
{
    if (!m_file.isOpen())
        return;
    if (!m_file.flush()) {
        const QString cause = m_file.errorString();
        m_file.close();
        throw CFileException(QStringLiteral("An error occurred while writing %1: %2").arg(m_file.fileName(), cause));
    }
    m_file.close();
}

void LineFile::abandon()
{
    m_file.close();
}
