#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <memory>

// An output text file of the import (the error file, the imported-QSO list): created empty
// at the start of a run, one Latin-1 line with CR LF per write. The lines are held in memory
// until commitLines() writes them: a line about a log row becomes final only once the log has
// committed the row. A file that could not be created fails at its first write, with a
// CFileException naming the file and the cause.
class LineFile
{
public:
    // Creates or truncates the file; false when it can't be (the failure shows at the first write).
    bool create(const QString& path);
    // Holds one line for the file; throws CFileException when the file could not be created.
    void writeLine(const QString& line);
    // The file as the monitor's error-file device: what the monitor writes there is held like
    // the lines of writeLine(). When the file could not be created, every write fails with
    // that cause.
    QIODevice& device();

    // Writes the lines held so far to the file and flushes it; throws CFileException with the
    // system's reason when they can't be written.
    void commitLines();
    // Forgets the lines held so far.
    void discardLines();
    // Bytes held and not yet written.
    qsizetype heldBytes() const { return m_held.size(); }

    // Closes the file (lines still held are not written); throws CFileException when what was
    // written can't be saved.
    void close();
    // Closes without reporting anything (when the run already stops on an error).
    void abandon();
    QString fileName() const { return m_file.fileName(); }

private:
    [[noreturn]] void fail(const QString& cause) const;

    QFile m_file;
    QString m_openError;
    QByteArray m_held;
    std::unique_ptr<QIODevice> m_device;
};
