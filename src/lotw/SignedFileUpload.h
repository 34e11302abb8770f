#pragma once

#include <QString>

class EventMonitor;
struct HttpLimits;

// What LoTW said to a signed file sent to it.
struct SignedFileUpload
{
    enum class Result {
        Accepted,    // LoTW took the file (it processes it later, in its queue)
        Rejected,    // LoTW refused the file; message says why
        Unexpected,  // an answer that is not LoTW's upload page
        Unreachable, // no answer: refused connection, DNS or TLS failure, HTTP error, stall
        Stopped,     // the operator stopped the sending
    };
    Result result = Result::Unreachable;
    // LoTW's own message (from <!-- .UPLMESSAGE. text -->) or the cause; never a password.
    QString message;
};

// Sends a signed file (.tq8) to LoTW as TQSL itself does: a POST of a multipart form to
// <base>/lotw/upload whose one part "upfile" holds the file's bytes under its name, as
// application/octet-stream. Runs to its end on the calling thread (the operator's Stop ends it
// at once); progress goes to the monitor.
SignedFileUpload UploadSignedFile(const QString& tq8Path, EventMonitor& monitor);
SignedFileUpload UploadSignedFile(const QString& tq8Path, EventMonitor& monitor, const HttpLimits& limits);

// LoTW's answer page read: the .UPL. and .UPLMESSAGE. comments of the page.
SignedFileUpload ReadUploadAnswer(const QByteArray& page);
