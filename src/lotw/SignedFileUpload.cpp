#include "SignedFileUpload.h"

#include "LotwAddress.h"
#include "LotwHttp.h"

#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QRegularExpression>
#include <optional>

namespace {
// The text of the first "<!-- .NAME. text -->" comment of the page, white space simplified;
// nothing when the page has none.
std::optional<QString> Comment(const QString& page, const QString& name)
{
    const QRegularExpression pattern(QStringLiteral("<!--\\s*\\.%1\\.\\s*(.*?)\\s*-->").arg(name),
                                     QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = pattern.match(page);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).simplified();
}

// Header values are quoted strings: a quote or a backslash in the file name is escaped, and a
// line end can't stand in it at all.
QString QuotedName(const QString& name)
{
    QString quoted;
    for (QChar c : name) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            continue;
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return quoted;
}
} // namespace

SignedFileUpload ReadUploadAnswer(const QByteArray& page)
{
    const QString text = QString::fromLatin1(page);
    SignedFileUpload answer;
    const std::optional<QString> found = Comment(text, QStringLiteral("UPL"));
    const QString message = Comment(text, QStringLiteral("UPLMESSAGE")).value_or(QString());
    if (!found) {
        answer.result = SignedFileUpload::Result::Unexpected;
        QString first = text.left(200).simplified();
        answer.message = QStringLiteral("LoTW's answer to the upload is not its upload page (no upload verdict in "
                                        "it)%1")
                             .arg(first.isEmpty() ? QStringLiteral(": the answer was empty")
                                                  : QStringLiteral(": \"%1\"").arg(first.left(120)));
        return answer;
    }
    const QString verdict = *found;
    const QString word = verdict.section(QLatin1Char(' '), 0, 0).toLower();
    if (word == QLatin1String("accepted")) {
        answer.result = SignedFileUpload::Result::Accepted;
        answer.message = message.isEmpty() ? QStringLiteral("LoTW accepted the file") : message;
    } else if (word == QLatin1String("rejected")) {
        answer.result = SignedFileUpload::Result::Rejected;
        answer.message = message.isEmpty() ? QStringLiteral("LoTW rejected the file without saying why") : message;
    } else {
        answer.result = SignedFileUpload::Result::Unexpected;
        answer.message = QStringLiteral("LoTW's upload verdict \"%1\" is neither accepted nor rejected%2")
                             .arg(verdict.left(80), message.isEmpty() ? QString() : QStringLiteral(": ") + message);
    }
    return answer;
}

SignedFileUpload UploadSignedFile(const QString& tq8Path, EventMonitor& monitor)
{
    return UploadSignedFile(tq8Path, monitor, HttpLimits::fromEnvironment());
}

SignedFileUpload UploadSignedFile(const QString& tq8Path, EventMonitor& monitor, const HttpLimits& limits)
{
    SignedFileUpload upload;
    QString problem;
    LotwAddress::base(&problem);
    if (!problem.isEmpty()) {
        upload.message = problem;
        return upload;
    }
    auto* file = new QFile(tq8Path);
    if (!file->open(QIODevice::ReadOnly)) {
        upload.message = QStringLiteral("The signed file %1 cannot be read: %2").arg(tq8Path, file->errorString());
        delete file;
        return upload;
    }
    QHttpMultiPart form(QHttpMultiPart::FormDataType);
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
    // The file name goes out as UTF-8 inside its quotes.
    part.setRawHeader("Content-Disposition", "form-data; name=\"upfile\"; filename=\""
                                                 + QuotedName(QFileInfo(tq8Path).fileName()).toUtf8() + '"');
    part.setBodyDevice(file);
    file->setParent(&form); // read while the form is sent, closed with it
    form.append(part);

    QByteArray page;
    LotwHttp http(monitor, limits);
    const HttpOutcome outcome = http.post(LotwAddress::at(QStringLiteral("/lotw/upload")), form, page);
    if (outcome.kind == HttpOutcome::Kind::Stopped) {
        upload.result = SignedFileUpload::Result::Stopped;
        upload.message = QStringLiteral("Stopped by the operator before LoTW answered: LoTW may or may not have the "
                                        "file");
        return upload;
    }
    if (!outcome.ok()) {
        upload.result = SignedFileUpload::Result::Unreachable;
        upload.message = outcome.cause;
        return upload;
    }
    return ReadUploadAnswer(page);
}
