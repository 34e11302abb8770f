#include "ReportRequest.h"

#include "platform/Desktop.h"
#include "platform/EventMonitor.h"

QString ReportRequestAddress(const Choices& choices)
{
    if (choices.ReportRange != 0 && choices.ReportRange != 1)
        return QString();
    QString address = QStringLiteral("https://lotw.arrl.org/lotwuser/lotwreport.adi?qso_query=1&login=")
                      + choices.CurrentLoginCall + QStringLiteral("&password=") + choices.CurrentPassword
                      + QStringLiteral("&qso_qsl=yes&qso_qsldetail=yes");
    if (choices.ReportRange == 1)
        address += QStringLiteral("&qso_qslsince=") + choices.sinceDate;
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
    if (m_openInBrowser && !m_address.isEmpty())
        m_desktop.openUrl(m_address);

    dates.date = m_choices.sinceDate;
    // As with the form's other saves, a failed save shows no message; the caller learns of
    // it from the result.
    const bool saved = SaveQslDateFile(dateFilePath, dates);

    m_monitor.SetStepIcon(Control::StepDownload, StepIcon::Tick);
    return saved;
}
