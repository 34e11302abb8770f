#pragma once

#include <QFile>
#include <QString>
#include <memory>

// An output text file of the import (the error file, the imported-QSO list): created empty
// at the start of a run, one Latin-1 line with CR LF per write. A file that could not be
// created fails at its first write, with a CFileException naming the file and the cause.
class LineFile
{
public:
    // Creates or truncates the file; false when it can't be (the failure shows at the first write).
    bool create(const QString& path);
    void writeLine(const QString& line);
    // Writes what is buffered and closes; throws CFileException when the data can't be written.
    void close();
    // Closes without reporting anything (when the run already stops on an error).
    void abandon();
    // The file as the monitor's error-file device; the monitor writes its own lines to it.
    // When the file could not be created, a device whose every write fails with that cause.
    QIODevice& device();

private:
    void fail();

    QFile m_file;
    QString m_openError;
    std::unique_ptr<QIODevice> m_failing;
};
