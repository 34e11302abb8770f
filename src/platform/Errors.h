#pragma once

#include <QString>
#include <stdexcept>

// A failure of the log or reference database engine. Every engine failure arrives as this
// one type; description() is the engine's own text, shown to the operator as it stands.
class CDbException : public std::runtime_error
{
public:
    // Busy: another program holds the database (SQLite's "database is locked") and the
    // engine gave up waiting for it.
    enum class Cause { Other, Busy };
    explicit CDbException(const QString& description, Cause cause = Cause::Other)
        : std::runtime_error(description.toLatin1().toStdString()), m_description(description), m_cause(cause) {}
    const QString& description() const { return m_description; }
    bool busy() const { return m_cause == Cause::Busy; }

private:
    QString m_description;
    Cause m_cause;
};

// A file that could not be created, opened or written. The text names the file and the cause.
class CFileException : public std::runtime_error
{
public:
    explicit CFileException(const QString& description)
        : std::runtime_error(description.toLatin1().toStdString()), m_description(description) {}
    const QString& description() const { return m_description; }

private:
    QString m_description;
};

class QFileDevice;

// The system's words for why a file operation failed ("No space left on device", "Permission
// denied"): the file's own error text where it has one, otherwise the text of the error
// number the failing call left (saved by the caller right after it).
QString FileErrorText(const QFileDevice& file, int savedErrno);

// A message without the period(s) it ends with, for a sentence that goes on after it ("...: the
// file is read-only. No QSO was marked").
QString WithoutFinalStop(const QString& text);
