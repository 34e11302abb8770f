#pragma once

#include "LotwHttp.h"

#include <QByteArrayView>
#include <QString>
#include <QUrl>

class EventMonitor;

// A LoTW report (the QSL report, or the report of received QSOs) fetched into a file.
struct ReportDownload
{
    enum class Result {
        Saved,   // the whole report is in the file
        Stopped, // the operator stopped it; the file is as it was
        Failed,  // message says why; the file is as it was
    };
    Result result = Result::Failed;
    QString message; // names the cause; never the password
    qint64 bytes = 0;
    HttpOutcome::Kind failure = HttpOutcome::Kind::Ok; // how the request ended, when it failed there
};

// What LoTW's answer is, from its first bytes (up to a megabyte), its last bytes and its
// content type: an empty text when it is a whole report (it ends with "<APP_LoTW_EOF>"),
// otherwise the message that says what it is instead: the page of a refused login (naming
// loginCall), the page of LoTW's request limit, another web page, a report cut short, or
// something that is no report at all.
QString ReportAnswerProblem(QByteArrayView head, QByteArrayView tail, QByteArrayView contentType, qint64 bytes,
                            const QString& loginCall);

// Fetches the report at url into path, streaming it there (constant memory, whatever its
// size). The file is replaced, atomically, only by a whole report; otherwise it is left as it
// was. Answers larger than limits.maxBytes are given up.
ReportDownload DownloadReport(const QUrl& url, const QString& path, const QString& loginCall, EventMonitor& monitor,
                              const HttpLimits& limits = HttpLimits::fromEnvironment());
