#include "LineFile.h"

#include "platform/Errors.h"

namespace {
// Appends what is written to the lines a LineFile holds; stands for a file that could not be
// created by failing every write with the cause.
class HeldDevice : public QIODevice
{
public:
    HeldDevice(QByteArray& held, const QString& failure) : m_held(held), m_failure(failure)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        if (!failure.isEmpty())
            setErrorString(failure);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (!m_failure.isEmpty())
            return -1;
        m_held.append(data, size);
        return size;
    }

private:
    QByteArray& m_held;
    QString m_failure;
};
} // namespace

bool LineFile::create(const QString& path)
{
    m_device.reset();
    m_held.clear();
    m_file.close();
    m_file.setFileName(path);
    m_openError.clear();
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return true;
    m_openError = m_file.errorString();
    return false;
}

QIODevice& LineFile::device()
{
    if (!m_device) {
        const QString failure = m_file.isOpen()
                                    ? QString()
                                    : QStringLiteral("%1 could not be created (%2)").arg(m_file.fileName(), m_openError);
        m_device = std::make_unique<HeldDevice>(m_held, failure);
    }
    return *m_device;
}

void LineFile::fail(const QString& cause) const
{
    throw CFileException(QStringLiteral("An error occurred while writing %1: %2").arg(m_file.fileName(), cause));
}

void LineFile::writeLine(const QString& line)
{
    if (!m_file.isOpen())
        fail(QStringLiteral("it could not be created (%1)").arg(m_openError));
    // Latin-1, one byte a character (what is beyond it becomes "?", as toLatin1 gives).
    const qsizetype at = m_held.size();
    m_held.resize(at + line.size() + 2);
    char* out = m_held.data() + at;
    for (QChar c : line)
        *out++ = c.unicode() < 0x100 ? static_cast<char>(c.unicode()) : '?';
    *out++ = '\r';
    *out = '\n';
}

void LineFile::commitLines()
{
    if (m_held.isEmpty())
        return;
    if (!m_file.isOpen())
        fail(QStringLiteral("it could not be created (%1)").arg(m_openError));
    // Unbuffered: a failure (a full disk, a file grown beyond what may be written) shows here,
    // with the system's own reason.
    const char* data = m_held.constData();
    qint64 left = m_held.size();
    while (left > 0) {
        const qint64 written = m_file.write(data, left);
        if (written <= 0) {
            m_held.clear();
            fail(m_file.errorString());
        }
        data += written;
        left -= written;
    }
    m_held.clear();
}

void LineFile::discardLines()
{
    m_held.clear();
}

void LineFile::close()
{
    m_device.reset();
    m_held.clear();
    if (!m_file.isOpen())
        return;
    if (!m_file.flush()) {
        const QString cause = m_file.errorString();
        m_file.close();
        fail(cause);
    }
    m_file.close();
}

void LineFile::abandon()
{
    m_device.reset();
    m_held.clear();
    m_file.close();
}
