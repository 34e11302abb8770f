#pragma once

#include "options/Choices.h"
#include "options/Options.h"
#include "options/QslDateFile.h"

#include <QString>

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

// The press of "#1 - Download fm LoTW": opens the report address in the browser, puts the
// path of the report file on the clipboard for the browser's Save As window, and saves the
// date and the remembered choices to the date file.
class ReportRequest
{
public:
    ReportRequest(const Options& options, const Choices& choices, EventMonitor& monitor, Desktop& desktop);

    // Whether the address is opened in the browser (default true); the address is composed
    // either way.
    void setOpenInBrowser(bool open) { m_openInBrowser = open; }

    // Runs the request. dates are the remembered choices to save; their date text is taken
    // from the choices' date. For "Only fm last QSL >" a date that is not YYYY-MM-DD is
    // warned of with a message once the address has been opened (it goes out as typed).
    // False when the date file could not be saved (not shown).
    bool run(const QString& dateFilePath, SavedQslDates dates);

    // The address composed by the last run.
    const QString& address() const { return m_address; }
    // False when the last run could not open the address in a browser (it was then put on the
    // clipboard and a message said so).
    bool opened() const { return m_opened; }

private:
    const Options& m_options;
    const Choices& m_choices;
    EventMonitor& m_monitor;
    Desktop& m_desktop;
    bool m_openInBrowser = true;
    QString m_address;
    bool m_opened = true;
};
