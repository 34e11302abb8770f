#pragma once

#include <QString>
#include <QStringList>

class EventMonitor;

// What one run of TQSL came to.
struct TqslOutcome
{
    enum class Kind {
        Signed,          // status 0: every QSO of the file was signed (and uploaded, with -u)
        SomeSkipped,     // status 9: the file was signed; TQSL skipped QSOs it had signed before or
                         // that lie outside the certificate's date range
        Failed,          // any other status: nothing was signed, or the upload did not reach LoTW
        NotInstalled,    // there is no TQSL program at the path
        NotStarted,      // the program could not be started
        Killed,          // TQSL ended on a signal or crashed
        Stopped,         // the operator stopped waiting; TQSL was ended
    };
    Kind kind = Kind::Failed;
    int status = -1;        // TQSL's exit status when it exited normally, else -1
    QString reason;         // what happened, in the operator's terms, without a final stop
    QStringList lastLines;  // TQSL's own last lines about the file (its version and final status aside)
    int failedStep = 0;     // the step marker the failure belongs to, 0 when none

    // Whether the upload file was signed, so that its QSOs count as sent.
    bool signedFile() const { return kind == Kind::Signed || kind == Kind::SomeSkipped; }
};

// TQSL's result codes, as TQSL documents them for its batch mode.
QString TqslStatusText(int status);

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

    // The arguments for signing adifPath with a station location: "-l", the location, "-d"
    // (no date-range dialog), the file, "-x" (batch: sign and exit), "-a compliant" (QSOs that
    // were already signed or lie outside the certificate's dates are skipped instead of asked
    // about) and, to have TQSL upload the signed file itself, "-u".
    static QStringList arguments(const QString& location, const QString& adifPath, bool upload);

    // Starts TQSL and waits for it. upload: TQSL sends the signed file to LoTW itself.
    TqslOutcome sign(const QString& location, const QString& adifPath, bool upload);

private:
    void echo(const QString& line);
    void takeLines(QByteArray& buffer, bool flush);

    QString m_program;
    EventMonitor& m_monitor;
    int m_echoed = 0;
    qint64 m_dropped = 0;
    bool m_skipping = false; // the rest of a cut line is being dropped
    QStringList m_tail;
};
