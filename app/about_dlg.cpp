#include "app/about_dlg.h"

#include "maker/maker_site.h"
#include "app/quillodrome_app.h"
#include "pedal/port.h"
#include "pedal/port_catalogue.h"
#include "pedal/usb_port.h"
#include "res/resource.h"

namespace {

// Only a USB pedal has a driver of its own to report.
std::string DriverLine(CPort* pPort) {
    auto* pUsb = dynamic_cast<CUSB*>(pPort);
    if (!pUsb || pUsb->GetType() != pedal::TypeCode(pedal::PortKind::Usb))
        return {};
    return "Driver: " + pUsb->GetDriverVersionText();
}

} // namespace

CAboutDlg::CAboutDlg(fw::CWnd* pParent, CPort* pPort)
    : fw::CDialog(IDD_ABOUTBOX, pParent),
      m_strVersionLine("Quillodrome  " + TheApp().m_strVersion + " (64)"),
      m_strDriverLine(DriverLine(pPort)) {}

std::string CAboutDlg::ProjectPage() {
    return maker::Url(maker::kProjectPagePath);
}

void CAboutDlg::DoDataExchange(fw::DataExchange& dx) {
    fw::DDX_Control(dx, IDC_ABOUT_WEB, m_linkWeb);
    fw::DDX_Control(dx, IDC_ABOUT_MAIL, m_linkMail);
    fw::DDX_Text(dx, IDC_ABOUT_VERSION, m_strVersionLine);
    fw::DDX_Text(dx, IDC_ABOUT_DRIVER, m_strDriverLine);
}

BOOL CAboutDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    m_linkMail.m_strTarget = kMailTarget;
    // The page's address comes from the build, not from the template; the link's target stays
    // empty, so its first click opens what it shows.
    m_linkWeb.SetWindowText(ProjectPage());
    return TRUE;
}
