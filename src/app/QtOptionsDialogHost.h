#pragma once

#include "options/CommitOptions.h"

class Desktop;
class MessageBox;
class Paths;
class Profile;
class TqslLocator;
class COptionsDlg;

#include <functional>

// Shows a new COptionsDlg modally for each showing the start-up asks for.
class QtOptionsDialogHost : public OptionsDialogHost
{
public:
    QtOptionsDialogHost(const Paths& paths, const Profile& profile, const TqslLocator& locator,
                        MessageBox& messages, Desktop& desktop);
    bool showOptionsDialog(OptionsDialogResult& result) override;

    // Called with each dialog after its initialisation, before it is shown (for tests).
    void setBeforeShow(std::function<void(COptionsDlg&)> hook) { m_beforeShow = std::move(hook); }

private:
    const Paths& m_paths;
    const Profile& m_profile;
    const TqslLocator& m_locator;
    MessageBox& m_messages;
    Desktop& m_desktop;
    std::function<void(COptionsDlg&)> m_beforeShow;
};
