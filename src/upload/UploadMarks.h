#pragma once

#include "upload/KeptMarks.h"

#include <QString>
#include <exception>
#include <vector>

class Connection;
class CQSO2006SRC;
class EventMonitor;
class ProblemLog;
class UndoJournal;

// The sent marks of an upload: the QSOs of the file become "sent" in the log ("0" becomes "2",
// "1" becomes "3"), in one transaction, only where a row still holds every value its record was
// made from, with what they change kept for undo in the data folder.
class UploadMarks
{
public:
    // marks: the QSOs of the upload file, in file order. problems: the run's, which notes a
    // failure of the log (and whose monitor shows the waits). logPath names the log in the kept
    // run; undoFolder is the data folder (none: nothing is kept for undo).
    UploadMarks(CQSO2006SRC& qsos, const std::vector<UploadMark>& marks, ProblemLog& problems, const QString& logPath,
                const QString& undoFolder);

    // Marks the QSOs at the given places of marks. A row another program changed meanwhile keeps
    // its value and its place goes into changed. False with error when the log could not be
    // written: nothing is then marked. The log's recordset is closed afterwards.
    bool markRows(const std::vector<size_t>& places, QString& error, std::vector<size_t>& changed);

    // Of the last markRows: the QSOs marked, and those marked together with a twin (a row equal
    // in every column, which the log cannot tell apart).
    long marked() const { return m_marked; }
    qint64 twinsMarked() const { return m_twins; }

    // The marks of a log known by its values are unpacked and written this many at a time
    // (16384; tests take fewer, to have many parts of a small log).
    static void setPartSize(size_t rows);

private:
    struct Pass;
    void markKnownByValues(Pass& pass, const std::vector<size_t>& places);
    void markInStretches(Pass& pass, const std::vector<size_t>& places);
    void rollBack(Connection* db, UndoJournal* journal, const std::exception& e, QString& error);

    CQSO2006SRC& m_qsos;
    const std::vector<UploadMark>& m_marks;
    ProblemLog& m_problems;
    EventMonitor& m_monitor;
    QString m_logPath;
    QString m_undoFolder;
    long m_marked = 0;
    qint64 m_twins = 0;
};
