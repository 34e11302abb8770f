#include "KeptMarks.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {
constexpr quint32 kMagic = 0x51564B4D; // "QVKM"
constexpr quint32 kVersion = 1;
}

KeptMarks::KeptMarks(const QString& dataFolder)
    : m_path(QDir(dataFolder).filePath(QStringLiteral("upload-marks.dat")))
{
}

bool KeptMarks::exist() const
{
    return QFile::exists(m_path);
}

bool KeptMarks::save(const QString& logPath, const std::vector<UploadMark>& marks, QString& error) const
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    QDataStream out(&file);
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << kVersion << logPath << QDateTime::currentDateTimeUtc() << quint64(marks.size());
    for (const UploadMark& mark : marks) {
        const RowKey key = mark.key.unpack();
        out << key.rowid << key.names << key.values << qint64(mark.row) << mark.wasOne << mark.digest;
    }
    if (out.status() != QDataStream::Ok || !file.commit()) {
        error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

bool KeptMarks::load(const QString& logPath, std::vector<UploadMark>& marks, QDateTime& made, QString& problem) const
{
    marks.clear();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
        return false;
    }
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0, version = 0;
    QString log;
    quint64 count = 0;
    in >> magic >> version >> log >> made >> count;
    if (in.status() != QDataStream::Ok || magic != kMagic || version != kVersion) {
        problem = QStringLiteral("it is damaged");
        return false;
    }
    if (log != logPath) {
        problem = QStringLiteral("it was made for the log %1").arg(log);
        return false;
    }
    // Each mark takes at least 30 bytes: a count beyond what the file can hold is damage.
    if (count > quint64(file.size()) / 30) {
        problem = QStringLiteral("it is damaged");
        return false;
    }
    marks.reserve(size_t(count));
    for (quint64 i = 0; i < count; ++i) {
        UploadMark mark;
        RowKey key;
        qint64 row = 0;
        in >> key.rowid >> key.names >> key.values >> row >> mark.wasOne >> mark.digest;
        mark.key = PackedRowKey(key);
        mark.row = long(row);
        if (in.status() != QDataStream::Ok) {
            marks.clear();
            problem = QStringLiteral("it is damaged");
            return false;
        }
        marks.push_back(std::move(mark));
    }
    return true;
}

bool KeptMarks::remove() const
{
    return !QFile::exists(m_path) || QFile::remove(m_path);
}
