// CAboutDlg: the About box (dialog template 100): the program's name and version, the maker's
// notice, the USB pedal's driver version when it was asked for, a link to the project's page
// and a mail link to the maker.
#pragma once

#include "controls/hot_static.h"
#include "framework/dialog.h"

#include <string>

class CPort;

class CAboutDlg : public fw::CDialog {
public:
    static constexpr const char* kMailTarget =
        "mailto:quillodrome@brenvale.fr?subject=Quillodrome.";

    // With a port (the ABOUT button), the driver line shows the USB pedal's driver version when
    // that port is a USB one, and stays empty for any other port. Without one (the system
    // menu's entry) the driver line is always empty. The port is only read, here.
    explicit CAboutDlg(fw::CWnd* pParent = nullptr, CPort* pPort = nullptr);
    ~CAboutDlg() override = default;

    // The project's page, as the web link shows and opens it.
    static std::string ProjectPage();

    CHotStatic m_linkWeb;
    CHotStatic m_linkMail;
    std::string m_strVersionLine;
    // The caller may still change it before DoModal.
    std::string m_strDriverLine;

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    BOOL OnInitDialog() override;
};
