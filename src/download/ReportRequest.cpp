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
    m_opened = true;
    bool& opened = m_opened;
    if (m_openInBrowser && !m_address.isEmpty() && !m_desktop.openUrl(m_address)) {
        // The operator opens the report page by hand: its address takes the clipboard's place.
        opened = false;
        m_desktop.setClipboardText(m_address);
        m_monitor.ShowMessage(QStringLiteral("The LoTW report page could not be opened: no web browser could be "
                                             "started. Its address is on the clipboard instead; paste it into a "
                                             "browser and save the report as %1.")
                                  .arg(m_options.reportAdifPath));
    }

    dates.date = m_choices.sinceDate;
    // As with the form's other saves, a failed save shows no message; the caller learns of
    // it from the result.
    const bool saved = SaveQslDateFile(dateFilePath, dates);

    m_monitor.SetStepIcon(Control::StepDownload, opened ? StepIcon::Tick : StepIcon::RedArrow);
    return saved;
}
