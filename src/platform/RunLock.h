#pragma once

#include <QString>
#include <memory>

class QLockFile;

// One run at a time per data folder, across processes: the window and the batch command take
// this lock ("quorvane.lock" in the data folder) for the length of a run. A lock left by a
// process that has ended is taken over.
class RunLock
{
public:
    explicit RunLock(const QString& dataFolder);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock; false when another run holds it, with the text to show in message:
    // "Another Quorvane run is using this data folder (process N)".
    bool acquire(QString& message);
    void release();

private:
    std::unique_ptr<QLockFile> m_lock;
    QString m_path;
};
