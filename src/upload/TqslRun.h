#pragma once

#include "platform/EventMonitor.h"

#include <QString>
#include <QStringList>
#include <map>
#include <optional>

class EventMonitor;

// What one run of TQSL came to.
struct TqslOutcome
{
    enum class Kind {
        Signed,       // status 0: TQSL signed what it could and wrote the signed file
        SomeSkipped,  // status 9: the signed file holds some QSOs; others TQSL did not sign
        Failed,       // any other status
        NotInstalled, // there is no TQSL program at the path
        NotStarted,   // the program could not be started
        Crashed,      // TQSL ended on a signal (a crash, or killed by someone else)
        Stopped,      // the operator stopped waiting; TQSL was ended
        TimedOut,     // TQSL did not end within the time limit and was ended
    };
    Kind kind = Kind::Failed;
    int status = -1;       // TQSL's exit status when it exited by itself, else -1
    QString reason;        // what happened, in the operator's terms, without a final stop
    QStringList lastLines; // TQSL's own last words (its version, field lines and status aside)
    std::optional<Step> failedStep; // the step marker the failure belongs to, if any
    // TQSL's reason for each QSO it did not sign, by the line of the upload file it names
    // ("Already Uploaded QSO suppressed on line 9").
    std::map<qint64, QString> reasonsByLine;

    // Whether TQSL says it wrote a signed file (which then decides what was signed).
    bool wroteSignedFile() const { return kind == Kind::Signed || kind == Kind::SomeSkipped; }
};

// TQSL's exit statuses, as TQSL documents them for its batch mode.
QString TqslStatusText(int status);

// Whether a reason TQSL gives for a QSO means that it signed the QSO before (it keeps every
// QSO it signed, and does not sign one again unless told to).
bool IsSignedBeforeReason(const QString& reason);

// How TQSL is to sign an upload file.
struct TqslSigning
{
    QString location;   // the station location
    QString adifPath;   // the upload file
    bool signAgain = false; // "-a all": sign QSOs TQSL signed before as well
    // The passphrase of the callsign certificate's key ("-p"); empty: TQSL asks for it in its
    // own window when the key has one.
    QString passphrase;
    // TQSL is ended when it has not ended after this many seconds; 0: no limit (the window,
    // where the operator's Stop ends the wait).
    int timeLimitSeconds = 0;
    // TQSL's folder of private keys, to tell the operator when TQSL waits for a passphrase;
    // empty when not known.
    QString keysFolder;
};

// Runs TQSL on an upload file and watches it to its end: the program is started with an
// argument list, every line it writes (standard output and error) goes to the upload monitor
// as it comes, prefixed "TQSL: ", and the window is kept alive while TQSL runs. The operator's
// Stop ends TQSL and the wait.
class TqslRun
{
public:
    // At most this many of TQSL's lines are echoed; the last ones are kept and shown at its end.
    static constexpr int kMaxEchoedLines = 2000;
    // A line is cut to this many characters.
    static constexpr int kMaxLineLength = 1000;

    TqslRun(QString program, EventMonitor& monitor);

    // The arguments for signing: "-l" and the location, "-d" (no date-range dialog), the file,
    // "-x" (batch: sign and exit), "-a compliant" (QSOs that TQSL would ask about are left out
    // instead) or "-a all" to sign again, and "-p" with a passphrase when one is given.
    static QStringList arguments(const TqslSigning& signing);

    // Starts TQSL and waits for it.
    TqslOutcome sign(const TqslSigning& signing);

private:
    void echo(const QString& line);
    void takeLines(QByteArray& buffer, bool flush);

    QString m_program;
    EventMonitor& m_monitor;
    const TqslSigning* m_signing = nullptr;
    int m_echoed = 0;
    qint64 m_dropped = 0;
    bool m_skipping = false; // the rest of a cut line is being dropped
    bool m_toldPassphrase = false;
    QStringList m_tail;
    std::map<qint64, QString> m_reasons;
};
