#include "ChoiceModel.h"

namespace {
bool validSlot(int slot)
{
    return slot >= 1 && slot <= kSlotCount;
}
}

ChoiceModel::ChoiceModel(const Options& options) : m_options(options)
{
    const QString& firstLogin = m_options.logins[0].loginCall;
    // Slot 1's login call is required by the options dialog; it names both the login and the
    // first download call.
    m_slotLoginCall[0] = firstLogin;
    m_downloadCallLabel[0] = firstLogin;
    for (int i = 1; i < kSlotCount; ++i) {
        const QString& opr = m_options.stations[i].oprCall;
        const QString& login = m_options.logins[i].loginCall;
        if (!login.isEmpty())
            // The slot's own login, also for a slot with a login call but no operator call: its
            // download button requests that call, so it logs in with that call too.
            m_slotLoginCall[i] = login;
        else if (!opr.isEmpty())
            m_slotLoginCall[i] = firstLogin;
        m_downloadCallLabel[i] = opr.isEmpty() ? login : opr;
    }

    m_choices.DownloadCall = m_downloadCallLabel[0];
    m_choices.SigningCall = m_options.stations[0].oprCall;
    m_choices.AnyCall = false;
    m_choices.CurrentLoginCall = m_slotLoginCall[0];
    m_choices.CurrentPassword = password(1);
}

QString ChoiceModel::oprCall(int slot) const
{
    return validSlot(slot) ? m_options.stations[slot - 1].oprCall : QString();
}

QString ChoiceModel::location(int slot) const
{
    return validSlot(slot) ? m_options.stations[slot - 1].location : QString();
}

QString ChoiceModel::slotLoginCall(int slot) const
{
    return validSlot(slot) ? m_slotLoginCall[slot - 1] : QString();
}

QString ChoiceModel::downloadCallLabel(int slot) const
{
    return validSlot(slot) ? m_downloadCallLabel[slot - 1] : QString();
}

QString ChoiceModel::password(int slot) const
{
    if (!validSlot(slot))
        return QString();
    const LotwLogin& login = m_options.logins[slot - 1];
    // A password typed anew in the options dialog at this start is the one in force: the
    // addresses carry it from this run on, not the one it replaced.
    if (!login.password.isEmpty())
        return login.password;
    return login.passwordLoaded.isEmpty() ? login.passwordField : login.passwordLoaded;
}

bool ChoiceModel::hasSigningButton(int slot) const
{
    if (!validSlot(slot))
        return false;
    return slot == 1 || !m_options.stations[slot - 1].oprCall.isEmpty();
}

bool ChoiceModel::hasDownloadButton(int slot) const
{
    if (!validSlot(slot))
        return false;
    return slot == 1 || !m_downloadCallLabel[slot - 1].isEmpty();
}

// The password that goes with a slot's login call. A slot that logs in with slot 1's call
// (it has no login call of its own) logs in with slot 1's password as well: a login call is
// only of use with its own password.
static QString loginPassword(const ChoiceModel& model, const Options& options, int slot)
{
    if (slot != 1 && options.logins[slot - 1].loginCall.isEmpty() && !options.stations[slot - 1].oprCall.isEmpty())
        return model.password(1);
    return model.password(slot);
}

void ChoiceModel::chooseSigningSlot(int slot)
{
    if (!validSlot(slot))
        return;
    m_choices.SigningCall = oprCall(slot);
    m_choices.CurrentLoginCall = slotLoginCall(slot);
    m_choices.CurrentPassword = loginPassword(*this, m_options, slot);
}

void ChoiceModel::chooseAnyCall()
{
    m_choices.AnyCall = true;
    m_choices.CurrentLoginCall = slotLoginCall(1);
    m_choices.CurrentPassword = password(1);
}

void ChoiceModel::chooseDownloadSlot(int slot)
{
    if (!validSlot(slot))
        return;
    m_choices.DownloadCall = downloadCallLabel(slot);
    m_choices.AnyCall = false;
    m_choices.CurrentLoginCall = slotLoginCall(slot);
    m_choices.CurrentPassword = loginPassword(*this, m_options, slot);
}

void ChoiceModel::chooseReportRange(int index)
{
    if (index == 0) {
        m_choices.ReportRange = 0;
        m_choices.SinceChoice = -1;
    } else if (index == 1) {
        m_choices.ReportRange = 1;
        m_choices.SinceChoice = 0;
    }
}

void ChoiceModel::chooseImportScope(int index)
{
    if (index == 0 || index == 1)
        m_choices.ImportScope = index;
}

void ChoiceModel::chooseOverwrite(int index)
{
    if (index == 0 || index == 1)
        m_choices.OverwriteChoice = index;
}

void ChoiceModel::applySaved(const SavedQslDates& dates)
{
    m_choices.sinceDate = dates.date;
    m_choices.ReportRange = dates.reportRange;
    m_choices.SinceChoice = dates.sinceChoice;
    m_choices.ImportScope = dates.importScope;
    m_choices.OverwriteChoice = dates.overwriteChoice;
}

SavedQslDates ChoiceModel::saved() const
{
    SavedQslDates dates;
    dates.date = m_choices.sinceDate;
    dates.reportRange = m_choices.ReportRange;
    dates.sinceChoice = m_choices.SinceChoice;
    dates.importScope = m_choices.ImportScope;
    dates.overwriteChoice = m_choices.OverwriteChoice;
    return dates; // reserved numbers stay 0
}
