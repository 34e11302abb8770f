#include "ReportRequest.h"

#include "platform/Desktop.h"
#include "platform/EventMonitor.h"

#include "lotw/LotwAddress.h"
#include "lotw/ReportDownload.h"
#include "platform/Redaction.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QTime>
#include <QUrlQuery>

namespace {
// What stands for itself in the value of a query parameter besides the unreserved characters
// (letters, digits, "-._~", which QUrl::toPercentEncoding never encodes). "&" (the next
// parameter), "#" (the fragment), "+" (a blank to the server) and "%" are not among them.
const QByteArray kKeptInQuery = QByteArrayLiteral(":/?@!$'()*,;=");
} // namespace

QString AddressDateText(const QString& date)
{
    QString text;
    text.reserve(date.size());
    qsizetype from = 0; // where the text not yet encoded begins
    const auto encodeUpTo = [&](qsizetype to) {
        if (to > from)
            text += QString::fromLatin1(QUrl::toPercentEncoding(date.mid(from, to - from), kKeptInQuery));
        from = to;
    };
    for (qsizetype i = 0; i < date.size(); ++i) {
        const QChar c = date.at(i);
        if (LotwAddress::IsEscapeAt(date, i)) {
            encodeUpTo(i);
            text += c; // an escape already
            from = i + 1;
        } else if (c.isHighSurrogate() && i + 1 < date.size() && date.at(i + 1).isLowSurrogate()) {
            ++i; // a character beyond the BMP: encoded with the text around it
        } else if (c.isSurrogate()) {
            // Half a surrogate pair is no character: UTF-8 gives "?" for it. It is encoded with
            // the character after a high half, byte by byte, so that no "?" of it reaches the
            // address as the start of a query.
            encodeUpTo(i);
            const qsizetype length = c.isHighSurrogate() && i + 1 < date.size() ? 2 : 1;
            for (char byte : date.mid(i, length).toUtf8())
                text += QStringLiteral("%%1").arg(static_cast<unsigned char>(byte), 2, 16, QLatin1Char('0')).toUpper();
            i += length - 1;
            from = i + 1;
        }
    }
    encodeUpTo(date.size());
    return text;
}

bool IsReportDate(const QString& date)
{
    if (date.size() != 10 || date.at(4) != QLatin1Char('-') || date.at(7) != QLatin1Char('-'))
        return false;
    for (qsizetype i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (date.at(i) < QLatin1Char('0') || date.at(i) > QLatin1Char('9'))
            return false;
    }
    return QDate::fromString(date, QStringLiteral("yyyy-MM-dd")).isValid();
}

bool IsReportSince(const QString& text)
{
    if (text.size() == 10)
        return IsReportDate(text);
    if (text.size() != 19 || text.at(10) != QLatin1Char(' ') || !IsReportDate(text.left(10)))
        return false;
    for (qsizetype i : {11, 12, 14, 15, 17, 18}) {
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
            return false;
    }
    return text.at(13) == QLatin1Char(':') && text.at(16) == QLatin1Char(':')
           && QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss")).isValid();
}

QString ReportRequestAddress(const Choices& choices)
{
    if (choices.ReportRange != 0 && choices.ReportRange != 1)
        return QString();
    QString address = LotwAddress::base().toString() + QStringLiteral("/lotwuser/lotwreport.adi?qso_query=1&login=")
                      + choices.CurrentLoginCall + QStringLiteral("&password=") + choices.CurrentPassword
                      + QStringLiteral("&qso_qsl=yes&qso_qsldetail=yes");
    if (choices.ReportRange == 1)
        address += QStringLiteral("&qso_qslsince=") + AddressDateText(choices.sinceDate);
    address += QStringLiteral("&qso_withown=yes");
    if (!choices.AnyCall)
        address += QStringLiteral("&qso_owncall=") + choices.DownloadCall;
    return address;
}

QUrl ReportDownloadUrl(const Choices& choices)
{
    if (choices.ReportRange != 0 && choices.ReportRange != 1)
        return QUrl();
    QUrlQuery query;
    const auto add = [&query](const char* name, const QString& value) {
        query.addQueryItem(QString::fromLatin1(name), LotwAddress::queryValue(value));
    };
    add("qso_query", QStringLiteral("1"));
    add("login", choices.CurrentLoginCall);
    add("password", choices.CurrentPassword);
    add("qso_qsl", QStringLiteral("yes"));
    add("qso_qsldetail", QStringLiteral("yes"));
    if (choices.ReportRange == 1)
        add("qso_qslsince", choices.sinceDate);
    add("qso_withown", QStringLiteral("yes"));
    if (!choices.AnyCall)
        add("qso_owncall", choices.DownloadCall);
    return LotwAddress::at(QStringLiteral("/lotwuser/lotwreport.adi"), query);
}

ReportRequest::ReportRequest(const Options& options, const Choices& choices, EventMonitor& monitor, Desktop& desktop)
    : m_options(options), m_choices(choices), m_monitor(monitor), m_desktop(desktop), m_reportPath(options.reportAdifPath)
{
}

QString ReportRequest::shownAddress(bool showPassword) const
{
    return showPassword ? m_address : MaskPasswords(m_address);
}

bool ReportRequest::run(const QString& dateFilePath, SavedQslDates dates)
{
    m_monitor.SetStepIcon(Step::Download, StepIcon::Blank);
    m_address = ReportRequestAddress(m_choices);
    m_opened = true;
    m_downloaded = false;
    m_stopped = false;

    bool done = true;
    if (m_way == Way::Download) {
        done = download();
    } else {
        m_desktop.setClipboardText(m_options.reportAdifPath.left(100));
        if (m_way == Way::Browser && !m_address.isEmpty())
            browse();
        done = m_opened;
        if (m_choices.ReportRange == 1 && !IsReportSince(m_choices.sinceDate)) {
            const QString shown = m_choices.sinceDate.isEmpty() ? QStringLiteral("The QSL date field is empty")
                                                                : QStringLiteral("The QSL date \"%1\" is not a date of "
                                                                                 "the form YYYY-MM-DD")
                                                                      .arg(m_choices.sinceDate);
            const bool opened = m_opened && m_way == Way::Browser && !m_address.isEmpty();
            m_monitor.ShowMessage(shown + QStringLiteral(": LoTW may not answer with the QSLs since the date meant. ")
                                  + (opened ? QStringLiteral("The request went out with the date as typed; correct it "
                                                             "and request again if the report is not what you expected.")
                                            : QStringLiteral("The address carries the date as typed.")));
        }
    }
    if (!done) {
        // A request that came to nothing leaves the date file as it was.
        m_monitor.SetStepIcon(Step::Download, StepIcon::RedArrow);
        return false;
    }

    dates.date = m_choices.sinceDate;
    // As with the form's other saves, a failed save shows no message; the caller learns of
    // it from the result.
    const bool saved = SaveQslDateFile(dateFilePath, dates);
    m_monitor.SetStepIcon(Step::Download, StepIcon::Tick);
    return saved;
}

void ReportRequest::browse()
{
    if (m_desktop.openUrl(m_address))
        return;
    m_opened = false;
    if (!m_desktop.hasClipboard()) {
        // The batch command: no clipboard to paste from, but the address can be printed.
        m_monitor.ShowMessage(QStringLiteral("The LoTW report page could not be opened: no web browser could be "
                                             "started (xdg-open, of the package xdg-utils, starts it). Print its "
                                             "address with --print-url (--show-password puts the password in it), "
                                             "open it in a browser and save the report as %1.")
                                  .arg(m_options.reportAdifPath));
        return;
    }
    // The operator opens the report page by hand: its address takes the clipboard's place.
    m_desktop.setClipboardText(m_address);
    m_monitor.ShowMessage(QStringLiteral("The LoTW report page could not be opened: no web browser could be "
                                         "started. Its address is on the clipboard instead; paste it into a "
                                         "browser and save the report as %1.")
                              .arg(m_options.reportAdifPath));
}

bool ReportRequest::download()
{
    const QString name = QFileInfo(m_reportPath).fileName();
    const QString unchanged = QStringLiteral("Nothing was changed: %1, the log and the QSL date are as they were.").arg(name);
    if (m_choices.ReportRange != 0 && m_choices.ReportRange != 1) {
        m_monitor.ShowMessage(QStringLiteral("Choose \"Download ALL QSLs\" or \"Only fm last QSL >\" first."));
        return false;
    }
    if (m_choices.ReportRange == 1 && !IsReportSince(m_choices.sinceDate)) {
        const QString shown = m_choices.sinceDate.isEmpty()
                                  ? QStringLiteral("The QSL date field is empty")
                                  : QStringLiteral("The QSL date \"%1\" is not a date").arg(m_choices.sinceDate);
        m_monitor.ShowMessage(shown + QStringLiteral(": give it as YYYY-MM-DD or YYYY-MM-DD HH:MM:SS (as the last "
                                                     "import left it), or choose \"Download ALL QSLs\". LoTW was not "
                                                     "asked.\n")
                              + unchanged);
        return false;
    }
    QString problem;
    LotwAddress::base(&problem);
    if (!problem.isEmpty()) {
        m_monitor.ShowMessage(problem + QStringLiteral(". LoTW was not asked.\n") + unchanged);
        return false;
    }
    const QUrl url = ReportDownloadUrl(m_choices);
    m_monitor.AddDownloadEvent(
        QStringLiteral("Asking LoTW (%1) for the QSLs of %2%3")
            .arg(HostText(url), m_choices.CurrentLoginCall,
                 m_choices.ReportRange == 1 ? QStringLiteral(" since ") + m_choices.sinceDate : QString()));
    const ReportDownload result = DownloadReport(url, m_reportPath, m_choices.CurrentLoginCall, m_monitor, m_limits);
    switch (result.result) {
    case ReportDownload::Result::Saved:
        m_downloaded = true;
        m_monitor.AddDownloadEvent(QStringLiteral("LoTW's report is saved as %1 (%2 bytes)")
                                       .arg(QDir::toNativeSeparators(m_reportPath))
                                       .arg(result.bytes));
        return true;
    case ReportDownload::Result::Stopped:
        m_stopped = true;
        m_monitor.AddDownloadEvent(result.message);
        m_monitor.AddDownloadEvent(QStringLiteral("Stopped by the operator"));
        return false;
    case ReportDownload::Result::Failed:
        break;
    }
    m_monitor.AddDownloadEvent(result.message.section(QLatin1Char('\n'), 0, 0));
    m_monitor.ShowMessage(result.message + QLatin1Char('\n') + unchanged);
    return false;
}
