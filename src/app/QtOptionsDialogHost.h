#pragma once

#include "options/CommitOptions.h"

class Desktop;
class MessageBox;
class Paths;
class Profile;
class TqslLocator;
class COptionsDlg;
class QWidget;

#include <functional>

// Shows a new COptionsDlg modally for each showing the start-up (or File > Options...) asks for.
class QtOptionsDialogHost : public OptionsDialogHost
{
public:
    QtOptionsDialogHost(const Paths& paths, const Profile& profile, const TqslLocator& locator,
                        MessageBox& messages, Desktop& desktop);
    bool showOptionsDialog(OptionsDialogResult& result) override;

    // Called with each dialog after its initialisation, before it is shown (for tests).
    void setBeforeShow(std::function<void(COptionsDlg&)> hook) { m_beforeShow = std::move(hook); }
    // Whether Cancel ends the program (at start, where the operator is asked first; from the
    // running window Cancel only closes the dialog). Default true.
    void setCancelEndsProgram(bool ends) { m_cancelEndsProgram = ends; }
    // The window the dialog belongs to (none at start).
    void setParent(QWidget* parent) { m_parent = parent; }

private:
    const Paths& m_paths;
    const Profile& m_profile;
    const TqslLocator& m_locator;
    MessageBox& m_messages;
    Desktop& m_desktop;
    std::function<void(COptionsDlg&)> m_beforeShow;
    bool m_cancelEndsProgram = true;
    QWidget* m_parent = nullptr;
};
