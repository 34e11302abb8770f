#pragma once

#include <QString>

// One run at a time per data folder, across processes: the window and the batch command take
// this lock ("quorvane.lock" in the data folder) for the length of a run.
//
// The lock file is written whole under a name of its own first (its owner's process number,
// program, computer, machine and boot ids, one a line) and then linked into place, which fails
// when a lock is there already: a lock file is never seen empty or half written. Its owner
// holds it open and locked for as long as the run goes on (an advisory lock on Unix, a handle
// that lets nobody delete it on Windows), so the system itself tells a lock that is held from
// one left behind by a run that ended without letting go of it (a kill, a power cut): such a
// lock is taken over whatever it holds (nothing, garbage, a process number of a process that
// has ended or is another program), and takeOverNote() says so. A lock of another computer
// (a data folder on a network share) is not taken over: the message says what to check.
class RunLock
{
public:
    explicit RunLock(const QString& dataFolder);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock; false when it can't be taken, with the text to show in message:
    // "Another Quorvane run is using this data folder (process N)", or the cause why no lock
    // file could be written (the folder is missing, read-only or full), each saying that
    // nothing was changed.
    bool acquire(QString& message);
    void release();
    bool held() const;

    // After acquire(): a line saying that a lock left behind was taken over, naming what it
    // held; empty when there was none.
    const QString& takeOverNote() const { return m_note; }
    const QString& path() const { return m_path; }

private:
    QString m_folder;
    QString m_path;
    QString m_note;
#ifdef Q_OS_WIN
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};
