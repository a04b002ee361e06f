// The toolbar's part of the update service: the prompts once the worker has answered, and the
// download and elevated launch of an installer the user accepted. Window thread only; every
// download blocks the window for the transfer.
#include "app/quillodrome_dlg.h"

#include "maker/maker_site.h"
#include "app/quillodrome_app.h"
#include "controls/wait_bar_dlg.h"
#include "framework/shell.h"
#include "framework/system_message.h"
#include "framework/timer.h"
#include "framework/win_app.h"
#include "pedal/port_catalogue.h"
#include "pedal/usb_port.h"
#include "update/download.h"
#include "update/update_check.h"
#include "update/update_reply.h"

#include <shellapi.h>

namespace {

constexpr const char* kDriverPrompt =
    "Une mise à jour du pilote est disponible!\nVoulez-vous la faire maintenant ?";
constexpr const char* kDriverFailed =
    "La mise à jour du pilote a échoué\nVeuillez réessayer ultérieurement";
constexpr const char* kProgramPrompt =
    "Une mise à jour de Quillodrome est disponible!\nVoulez-vous la faire maintenant ?";
constexpr const char* kNoWebPage = "Impossible de lancer la page web...\nAllez voir sur ";
constexpr const char* kDriverWaitCaption = "Mise à jour du pilote";
constexpr const char* kDriverWaitText =
    "La mise à jour du pilote est en cours.\nVeuillez patienter...";
constexpr int kDriverWaitSeconds = 30;
constexpr UINT kTickAfterDriverMs = 50;

// The folder for temporary files as the system reports it, with its final backslash; empty when
// the system cannot tell.
std::string TempFolder() {
    char szPath[MAX_PATH] = {};
    const DWORD n = ::GetTempPathA(MAX_PATH, szPath);
    return n > 0 && n < MAX_PATH ? std::string(szPath, n) : std::string();
}

// Starts the installer elevated, from its folder and with that folder as working directory,
// without waiting for it. The full path goes to the shell so that no program of the same name
// found elsewhere on the search path can be started instead. On failure the system's text for
// the error is shown and false returned.
bool LaunchElevated(const std::string& strFolder, const std::string& strFile) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.lpVerb = "runas";
    info.lpFile = strFile.c_str();
    info.lpParameters = "";
    info.lpDirectory = strFolder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (::ShellExecuteExA(&info))
        return true;
    const std::string strText = fw::ErrorText(
        ::GetLastError(), "Impossible de lancer le programme d'installation (erreur 0x%08lX).");
    fw::AfxMessageBox(strText.c_str(), MB_OK);
    return false;
}

// Fetches installer `name` from the maker's download folder into the temporary folder, which
// goes to `folder` and the local file to `file`. False when no whole installer arrived (or the
// system cannot name its temporary folder: nothing is ever put in the current folder).
bool DownloadInstaller(const char* name, std::string& folder, std::string& file) {
    folder = TempFolder();
    file = folder + name;
    return !folder.empty() &&
           DownloadToFile(maker::Url(std::string(maker::kDownloadFolderPath) + name), file) == 0;
}

} // namespace

void CQuillodromeDlg::OfferUpdates() {
    if (m_pPort->GetType() == pedal::TypeCode(pedal::PortKind::Usb)) {
        const std::string strInstalled = static_cast<CUSB&>(*m_pPort).GetDriverVersionText();
        if (IsDriverUpdate(g_strLatestDriver, strInstalled) &&
            fw::AfxMessageBox(kDriverPrompt, MB_YESNO) == IDYES && UpdateDriver() != 0)
            fw::AfxMessageBox(kDriverFailed, MB_OK);
    }

    if (!IsNewerProgram(g_strLatestVersion, TheApp().m_strVersion) ||
        fw::AfxMessageBox(kProgramPrompt, MB_YESNO) != IDYES)
        return;
    if (UpdateProgram() != 0) {
        const std::string strPage = maker::Url(maker::kProjectPagePath);
        if (!fw::ShellOpen(nullptr, strPage.c_str()))
            fw::AfxMessageBox((kNoWebPage + strPage).c_str(), MB_OK);
    }
    // The window closes (and writes the settings) whether or not the installer started.
    EndDialog(0);
}

int CQuillodromeDlg::UpdateDriver() {
    std::string strFolder, strFile;
    if (!DownloadInstaller(kDriverInstallerName, strFolder, strFile))
        return 1;

    // The installer replaces the driver under the pedal: let go of the device first. Until the
    // wait is over the loop sees a port that never opens and shows no pedal.
    m_pPort->Close();
    m_pPort = std::make_unique<CPort>();
    m_bPedalActive = FALSE;
    const bool bLaunched = LaunchElevated(strFolder, strFile);
    if (bLaunched) {
        CWaitBarDlg wait(kDriverWaitCaption, kDriverWaitText, kDriverWaitSeconds, this);
        wait.DoModal();
    }
    // Opened later by the loop's reconnect, once the new driver is in place.
    m_pPort->Close();
    m_pPort = std::make_unique<CUSB>(0);
    if (!bLaunched)
        return 2;
    fw::StartWindowTimer(*this, kTickAfterDriverMs);
    return 0;
}

int CQuillodromeDlg::UpdateProgram() {
    std::string strFolder, strFile;
    if (!DownloadInstaller(kProgramInstallerName, strFolder, strFile))
        return 1;
    return LaunchElevated(strFolder, strFile) ? 0 : 2;
}
