#pragma once

#include "options/Choices.h"
#include "options/Options.h"
#include "options/QslDateFile.h"

#include "lotw/LotwHttp.h"

#include <QString>
#include <QUrl>

class Desktop;
class EventMonitor;

// The address of the LoTW QSL report for the chosen login and range: all QSLs (ReportRange
// 0) or only those since the date text (ReportRange 1), for the chosen own call unless any
// call is chosen. Values are inserted as they stand, except that the date is passed through
// AddressDateText. Empty when no range is chosen.
QString ReportRequestAddress(const Choices& choices);

// The date text as it goes into the address: a well-formed date is left as it is; every
// character that would change the address ("&", "#", "+", blanks and other white space,
// control characters, "%" that starts no escape, characters outside ASCII and the others an
// address may not hold) is percent-encoded (as UTF-8), so the whole text stays the value
// of qso_qslsince.
QString AddressDateText(const QString& date);
// Whether the text is a date of the form YYYY-MM-DD that exists in the calendar.
bool IsReportDate(const QString& date);
// Whether the text is a "since" LoTW takes: a date (YYYY-MM-DD) or a date and time
// (YYYY-MM-DD HH:MM:SS, LoTW's own cursors) that exist.
bool IsReportSince(const QString& text);

// The report's address as the program asks LoTW for it (QUORVANE_LOTW_URL's host, when set):
// the parameters of ReportRequestAddress, the date encoded as a query value; null when no
// range is chosen.
QUrl ReportDownloadUrl(const Choices& choices);

// The press of "#1 - Download fm LoTW": asks LoTW for the QSL report and keeps it as the
// report file when it came whole, then saves the date and the remembered choices to the date
// file. The browser way instead opens the report address in the browser and puts the path of
// the report file on the clipboard for the browser's Save As window.
class ReportRequest
{
public:
    enum class Way {
        Download, // the program fetches the report itself (the default)
        Browser,  // the browser opens the address; the operator saves the report
        Address,  // the address is only composed (the batch command prints it)
    };

    ReportRequest(const Options& options, const Choices& choices, EventMonitor& monitor, Desktop& desktop);

    void setWay(Way way) { m_way = way; }
    // Kept for callers of the browser way: false composes the address only.
    void setOpenInBrowser(bool open) { m_way = open ? Way::Browser : Way::Address; }
    // Where a downloaded report goes (the data folder's "lotwreport.adi", which the import reads).
    void setReportPath(const QString& path) { m_reportPath = path; }
    void setLimits(const HttpLimits& limits) { m_limits = limits; }

    // Runs the request. dates are the remembered choices to save; their date text is taken
    // from the choices' date. The download asks LoTW only for a "since" that is a date or a
    // date and time; the browser way warns of any other with a message once the address has
    // been opened (it goes out as typed). A request that fails (no report, no browser, a bad
    // date for the download) or that the operator stopped saves nothing. True when the request
    // was carried out and the date file saved (a failed save is not shown).
    bool run(const QString& dateFilePath, SavedQslDates dates);

    // The address composed by the last run, password and all: only for the browser.
    const QString& address() const { return m_address; }
    // The address as it may be shown: the password masked unless showPassword.
    QString shownAddress(bool showPassword = false) const;
    // False when the last run could not open the address in a browser (it was then put on the
    // clipboard and a message said so).
    bool opened() const { return m_opened; }
    // Whether the last run brought the whole report and saved it as the report file.
    bool downloaded() const { return m_downloaded; }
    // Whether the operator stopped the last run.
    bool stopped() const { return m_stopped; }

private:
    bool download();
    void browse();

    const Options& m_options;
    const Choices& m_choices;
    EventMonitor& m_monitor;
    Desktop& m_desktop;
    Way m_way = Way::Download;
    QString m_reportPath;
    HttpLimits m_limits = HttpLimits::fromEnvironment();
    QString m_address;
    bool m_opened = true;
    bool m_downloaded = false;
    bool m_stopped = false;
};
