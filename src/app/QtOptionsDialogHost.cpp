#include "QtOptionsDialogHost.h"

#include "COptionsDlg.h"

QtOptionsDialogHost::QtOptionsDialogHost(const Paths& paths, const Profile& profile, const TqslLocator& locator,
                                         MessageBox& messages, Desktop& desktop)
    : m_paths(paths), m_profile(profile), m_locator(locator), m_messages(messages), m_desktop(desktop)
{
}

bool QtOptionsDialogHost::showOptionsDialog(OptionsDialogResult& result)
{
    COptionsDlg dialog(m_paths, m_profile, m_locator, m_messages, m_desktop, m_parent);
    dialog.setCancelEndsProgram(m_cancelEndsProgram);
    dialog.initialiseDialog();
    if (m_beforeShow)
        m_beforeShow(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    result = dialog.result();
    return true;
}
