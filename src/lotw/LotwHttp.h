#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>

class EventMonitor;
class QHttpMultiPart;
class QIODevice;

// How long a LoTW request may wait. LoTW may think for a minute or more before it sends the
// first byte of a large report, so the first wait is generous; once bytes flow, a pause longer
// than the stall limit means the connection is dead.
struct HttpLimits
{
    int firstByteMs = 5 * 60 * 1000;
    int stallMs = 90 * 1000;
    // The largest answer taken: an answer that never ends is given up there.
    qint64 maxBytes = qint64(8) << 30;

    // The limits as the environment variable QUORVANE_LOTW_TIMEOUTS ("FIRST,STALL" in seconds)
    // sets them, the defaults otherwise.
    static HttpLimits fromEnvironment();
};

// How one request ended.
struct HttpOutcome
{
    enum class Kind {
        Ok,            // a 2xx answer, whole as far as HTTP can tell
        Stopped,       // the operator stopped it
        Setup,         // no request was made: the address or the trusted authorities are wrong
        HttpStatus,    // the server answered with an error status (4xx, 5xx, 1xx)
        Redirect,      // the server sent the request elsewhere (3xx); never followed
        HostNotFound,  // the host name could not be resolved
        Tls,           // the secure connection failed (certificate, handshake)
        Refused,       // nobody listens at the address
        NoFirstByte,   // nothing came within the first-byte limit
        Stalled,       // the answer stopped coming
        Truncated,     // the connection ended before the whole answer
        Network,       // any other failure of the connection
        LocalFile,     // the answer could not be written here
    };
    Kind kind = Kind::Network;
    int status = 0;          // HTTP status, 0 when none came
    QByteArray contentType;  // of the answer
    qint64 bytes = 0;        // bytes of the body received
    QString cause;           // what went wrong, naming the host; never the password

    bool ok() const { return kind == Kind::Ok; }
    bool unreachable() const { return !ok() && kind != Kind::Stopped; }
};

// One request to LoTW at a time, run to its end on the calling thread: its own network access
// manager and a local event loop, so that it works on a run's worker thread as in the batch
// command. The operator's Stop (EventMonitor::StopRequested) ends it at once; progress goes to
// EventMonitor::ReportProgress (bytes received of the length announced, 0 while waiting).
// Redirects are never followed, and no text it makes holds the query of the address (where
// the password is).
class LotwHttp
{
public:
    explicit LotwHttp(EventMonitor& monitor, HttpLimits limits = HttpLimits::fromEnvironment());

    // GET: the body of the answer is handed on as it comes (sink returns false when it could
    // not take it: the request then ends as LocalFile with the sink's error). Memory stays
    // constant whatever the size of the answer.
    HttpOutcome get(const QUrl& url, const std::function<bool(const char* data, qint64 size, QString& error)>& sink);

    // POST of a multipart form; the body of the answer (up to maxBody bytes, the rest dropped)
    // is returned in body. The parts are the caller's.
    HttpOutcome post(const QUrl& url, QHttpMultiPart& form, QByteArray& body, qint64 maxBody = 4 << 20);

private:
    HttpOutcome run(bool isPost, const QUrl& url, QHttpMultiPart* form,
                    const std::function<bool(const char*, qint64, QString&)>& sink);

    EventMonitor& m_monitor;
    HttpLimits m_limits;
};

// "lotw.arrl.org" or "127.0.0.1:8443": the host of an address as a message names it.
QString HostText(const QUrl& url);
