#include "ReportRequest.h"

#include "platform/Desktop.h"
#include "platform/EventMonitor.h"

#include <QDate>

namespace {
bool IsHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
           || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// Characters that stand for themselves in the value of a query parameter. "&" (the next
// parameter), "#" (the fragment), "+" (a blank to the server) and "%" are not among them.
bool KeptInQuery(char16_t c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '-': case '.': case '_': case '~': case ':': case '/': case '?': case '@': case '!': case '$':
    case '\'': case '(': case ')': case '*': case ',': case ';': case '=':
        return true;
    default:
        return false;
    }
}
} // namespace

QString AddressDateText(const QString& date)
{
    QString text;
    text.reserve(date.size());
    for (qsizetype i = 0; i < date.size(); ++i) {
        const QChar c = date.at(i);
        if (KeptInQuery(c.unicode())) {
            text += c;
        } else if (c == QLatin1Char('%') && i + 2 < date.size() && IsHexDigit(date.at(i + 1))
                   && IsHexDigit(date.at(i + 2))) {
            text += c; // an escape already
        } else {
            // A surrogate pair is encoded together, as one character.
            const qsizetype length = c.isHighSurrogate() && i + 1 < date.size() ? 2 : 1;
            for (char byte : date.mid(i, length).toUtf8())
                text += QStringLiteral("%%1").arg(static_cast<unsigned char>(byte), 2, 16, QLatin1Char('0')).toUpper();
            i += length - 1;
        }
    }
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

QString ReportRequestAddress(const Choices& choices)
{
    if (choices.ReportRange != 0 && choices.ReportRange != 1)
        return QString();
    QString address = QStringLiteral("https://lotw.arrl.org/lotwuser/lotwreport.adi?qso_query=1&login=")
                      + choices.CurrentLoginCall + QStringLiteral("&password=") + choices.CurrentPassword
                      + QStringLiteral("&qso_qsl=yes&qso_qsldetail=yes");
    if (choices.ReportRange == 1)
        address += QStringLiteral("&qso_qslsince=") + AddressDateText(choices.sinceDate);
    address += QStringLiteral("&qso_withown=yes");
    if (!choices.AnyCall)
        address += QStringLiteral("&qso_owncall=") + choices.DownloadCall;
    return address;
}

ReportRequest::ReportRequest(const Options& options, const Choices& choices, EventMonitor& monitor, Desktop& desktop)
    : m_options(options), m_choices(choices), m_monitor(monitor), m_desktop(desktop)
{
}

bool ReportRequest::run(const QString& dateFilePath, SavedQslDates dates)
{
    m_monitor.SetStepIcon(Control::StepDownload, StepIcon::Blank);
    m_desktop.setClipboardText(m_options.reportAdifPath.left(100));

    m_address = ReportRequestAddress(m_choices);
    m_opened = true;
    if (m_openInBrowser && !m_address.isEmpty() && !m_desktop.openUrl(m_address)) {
        // The operator opens the report page by hand: its address takes the clipboard's place.
        m_opened = false;
        m_desktop.setClipboardText(m_address);
        m_monitor.ShowMessage(QStringLiteral("The LoTW report page could not be opened: no web browser could be "
                                             "started. Its address is on the clipboard instead; paste it into a "
                                             "browser and save the report as %1.")
                                  .arg(m_options.reportAdifPath));
    }
    if (m_choices.ReportRange == 1 && !IsReportDate(m_choices.sinceDate)) {
        const QString shown = m_choices.sinceDate.isEmpty() ? QStringLiteral("The QSL date field is empty")
                                                            : QStringLiteral("The QSL date \"%1\" is not a date of "
                                                                             "the form YYYY-MM-DD")
                                                                  .arg(m_choices.sinceDate);
        const bool opened = m_opened && m_openInBrowser && !m_address.isEmpty();
        m_monitor.ShowMessage(shown + QStringLiteral(": LoTW may not answer with the QSLs since the date meant. ")
                              + (opened ? QStringLiteral("The request went out with the date as typed; correct it and "
                                                         "request again if the report is not what you expected.")
                                        : QStringLiteral("The address carries the date as typed.")));
    }

    dates.date = m_choices.sinceDate;
    // As with the form's other saves, a failed save shows no message; the caller learns of
    // it from the result.
    const bool saved = SaveQslDateFile(dateFilePath, dates);

    m_monitor.SetStepIcon(Control::StepDownload, m_opened ? StepIcon::Tick : StepIcon::RedArrow);
    return saved;
}
