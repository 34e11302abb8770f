#pragma once

#include "platform/ProblemLog.h"

#include "lotw/LotwHttp.h"
#include "options/Choices.h"
#include "options/Options.h"

#include <QDateTime>
#include <QString>
#include <QUrl>

class EventMonitor;
class Paths;

// "Check LoTW": asks LoTW which QSOs it has received since the oldest kept upload that it has
// not yet been found to hold all of (a report of received QSOs: qso_qsl=no with
// qso_qsorxsince), and matches them to the rows the kept uploads (the data folder's "undo"
// files) marked as sent, by call, date, time to the minute, band and mode group. Rows that no
// longer hold their upload's mark (taken back, made due again) are left out.
//
// The upload monitor and the error file get one line per QSO LoTW does not hold yet and a
// summary; a kept upload that LoTW holds whole is noted, so that the next check starts after
// it. With redue, the QSOs LoTW does not hold are made due again ("2" back to "0", "3" back to
// "1"), only where a row still holds the upload's mark, in one transaction kept for undo like
// any run. A failed or stopped check changes nothing.
class ReceiptCheck
{
public:
    // LoTW needs time to process an upload: younger ones are said to be maybe still in its queue.
    static constexpr int kProcessingHours = 4;
    // The "since" asked for lies this long before the oldest upload: a clock set wrongly or a
    // mix-up of time zones loses nothing (older QSOs LoTW sends are simply not matched).
    static constexpr int kSinceMarginHours = 24;

    ReceiptCheck(const Options& options, const Choices& choices, const Paths& paths, EventMonitor& monitor);

    void setRedue(bool redue) { m_redue = redue; }
    void setLimits(const HttpLimits& limits) { m_limits = limits; }
    // The time the check takes as now (tests); the clock's by default.
    void setNow(const QDateTime& now) { m_now = now; }

    // Runs the check. True when it ran to its end (whatever LoTW holds); false when LoTW could
    // not be asked or its answer is no report (a message says why), when the log or a kept
    // upload could not be read, or when the operator stopped it.
    bool run();

    long received() const { return m_received; }
    long missing() const { return m_missing; }
    long madeDue() const { return m_madeDue; }
    // The address asked (null before a run asks).
    const QUrl& url() const { return m_url; }

    // The band and mode texts of the lines about QSOs LoTW does not hold follow the problem
    // lines' (a code not known shows the text of the one before): what the earlier lines
    // left, and what this check leaves.
    void setProblemMemory(const ProblemMemory& memory) { m_problems = memory; }
    const ProblemMemory& problemMemory() const { return m_problems; }

private:
    bool fail(const QString& message);

    const Options& m_options;
    const Choices& m_choices;
    const Paths& m_paths;
    EventMonitor& m_monitor;
    HttpLimits m_limits = HttpLimits::fromEnvironment();
    QDateTime m_now;
    bool m_redue = false;
    QUrl m_url;
    long m_received = 0;
    long m_missing = 0;
    long m_madeDue = 0;
    ProblemMemory m_problems;
};

// The mode group LoTW matches by ("CW", "PHONE", "DATA", "IMAGE"): of a log mode code, and of
// a report's MODE when it gives no APP_LoTW_MODEGROUP.
QString ModeGroupOfCode(const QString& modeCode);
QString ModeGroupOfMode(const QString& mode);
