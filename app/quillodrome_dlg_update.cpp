// The toolbar's part of the update service: the prompts once the worker has answered, and the
// download, signature check and elevated launch of an installer the user accepted. Window
// thread, but for the download itself, which runs on a worker under a wait dialog.
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
#include "update/installer_trust.h"
#include "update/update_check.h"
#include "update/update_reply.h"

#include <shellapi.h>

#include <cstring>
#include <thread>

namespace {

constexpr const char* kDriverPrompt =
    "Une mise à jour du pilote est disponible!\nVoulez-vous la faire maintenant ?";
constexpr const char* kDriverFailed =
    "La mise à jour du pilote a échoué\nVeuillez réessayer ultérieurement";
constexpr const char* kProgramPrompt =
    "Une mise à jour de Quillodrome est disponible!\nVoulez-vous la faire maintenant ?";
constexpr const char* kUnverified =
    "La mise à jour n'a pas pu être vérifiée : le fichier reçu ne porte pas la signature de "
    "son éditeur.\nIl a été supprimé sans être lancé.";
constexpr const char* kNoWebPage = "Impossible de lancer la page web...\nAllez voir sur ";
constexpr const char* kDriverWaitCaption = "Mise à jour du pilote";
constexpr const char* kDriverWaitText =
    "La mise à jour du pilote est en cours.\nVeuillez patienter...";
constexpr int kDriverWaitSeconds = 30;
constexpr const char* kDownloadCaption = "Téléchargement de la mise à jour";
constexpr const char* kDownloadText =
    "Téléchargement de la mise à jour en cours...\nÉchap l'interrompt.";
constexpr UINT kTickAfterDriverMs = 50;

// Starts the installer elevated, from its folder and with that folder as working directory,
// without waiting for it. The full path goes to the shell so that no program of the same name
// found elsewhere on the search path can be started instead. On failure the system's text for
// the error is shown and false returned.
bool LaunchElevated(const std::wstring& strFolder, const std::wstring& strFile) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.lpVerb = L"runas";
    info.lpFile = strFile.c_str();
    info.lpParameters = L"";
    info.lpDirectory = strFolder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (::ShellExecuteExW(&info))
        return true;
    const std::string strText = fw::ErrorText(
        ::GetLastError(), "Impossible de lancer le programme d'installation (erreur 0x%08lX).");
    fw::AfxMessageBox(strText.c_str(), MB_OK);
    return false;
}

// What UpdateDriver and UpdateProgram report.
enum UpdateResult : int {
    kUpdateStarted = 0,
    kUpdateNotDownloaded = 1,
    kUpdateNotLaunched = 2,
    kUpdateNotVerified = 3,
    kUpdateCancelled = 4,
};

// A downloaded installer in a folder of its own, held open for reading and shared for reading
// only from its check to its launch: nothing can change the file in between, so what runs is
// what was checked.
struct Installer {
    std::wstring strFolder; // with its final backslash
    std::wstring strFile;
    fw::UniqueFile hFile;

    // Deletes the file and its folder (the handle first, or the file could not go).
    void Discard() {
        hFile.reset();
        RemoveDownloadFolder(strFolder);
    }
};

bool SignedBy(const Installer& installer, Publisher publisher) {
    return !installer.strFile.empty() &&
           IsSignedBy(installer.hFile.get(), installer.strFile, publisher);
}

// Fetches installer `name` from the maker's download folder into a new folder under the
// temporary folder that only the typist can open, and checks that `publisher` signed it.
// kUpdateStarted when `installer` is ready to run; kUpdateNotDownloaded when no whole installer
// arrived (or no folder could be made: nothing is ever put in the current folder);
// kUpdateNotVerified when it failed the check, the typist then being told. Unless it is ready,
// nothing is left on disk.
int FetchInstaller(const char* name, Publisher publisher, Installer& installer, fw::CWnd* pParent) {
    installer.strFolder = MakeDownloadFolder(TempFolder());
    if (installer.strFolder.empty())
        return kUpdateNotDownloaded;
    // Installer names are plain ASCII.
    installer.strFile = installer.strFolder + std::wstring(name, name + std::strlen(name));
    const std::string strUrl = maker::Url(std::string(maker::kDownloadFolderPath) + name);
    // The download runs on a worker while the wait dialog's loop keeps the toolbar alive (its
    // timer ticks on: the pedal and the read-outs work); the dialog ends when the worker does.
    fw::TransferWatch watch;
    int nDownload = kDownloadFailed;
    std::thread worker([&] {
        nDownload = DownloadToFile(strUrl, installer.strFile, &watch);
        watch.bDone = true;
    });
    CWaitBarDlg wait(kDownloadCaption, kDownloadText, watch, pParent);
    if (wait.DoModal() == -1)
        watch.bCancel = true;
    worker.join();
    if (nDownload != kDownloadOk) {
        installer.Discard();
        return nDownload == kDownloadCancelled ? kUpdateCancelled : kUpdateNotDownloaded;
    }
    installer.hFile.reset(::CreateFileW(installer.strFile.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!installer.hFile || !SignedBy(installer, publisher)) {
        installer.Discard();
        fw::AfxMessageBox(kUnverified, MB_OK);
        return kUpdateNotVerified;
    }
    return kUpdateStarted;
}

} // namespace

void CQuillodromeDlg::OfferUpdates() {
    if (CPort* port = m_pedal.Port(); port->GetType() == pedal::TypeCode(pedal::PortKind::Usb)) {
        const std::string strInstalled = static_cast<CUSB&>(*port).GetDriverVersionText();
        if (IsDriverUpdate(g_strLatestDriver, strInstalled) &&
            fw::AfxMessageBox(kDriverPrompt, MB_YESNO) == IDYES) {
            const int nResult = UpdateDriver();
            if (nResult != kUpdateStarted && nResult != kUpdateCancelled)
                fw::AfxMessageBox(kDriverFailed, MB_OK);
        }
    }

    if (!IsNewerProgram(g_strLatestVersion, TheApp().m_strVersion) ||
        fw::AfxMessageBox(kProgramPrompt, MB_YESNO) != IDYES)
        return;
    const int nResult = UpdateProgram();
    // Stopped by the typist: the toolbar stays, as after No.
    if (nResult == kUpdateCancelled)
        return;
    if (nResult != kUpdateStarted) {
        const std::string strPage = maker::Url(maker::kProjectPagePath);
        if (!fw::ShellOpen(nullptr, strPage.c_str()))
            fw::AfxMessageBox((kNoWebPage + strPage).c_str(), MB_OK);
    }
    // The window closes (and writes the settings) whether or not the installer started.
    EndDialog(0);
}

int CQuillodromeDlg::UpdateDriver() {
    // Fetched and checked before the pedal is let go: a refused installer leaves it as it was.
    Installer installer;
    if (const int nResult =
            FetchInstaller(kDriverInstallerName, Publisher::PedalMaker, installer, this))
        return nResult;

    // The installer replaces the driver under the pedal: let go of the device first. Until the
    // wait is over the loop sees a port that never opens and shows no pedal.
    m_pedal.SetPort(std::make_unique<CPort>());
    m_bPedalActive = FALSE;
    const bool bLaunched = LaunchElevated(installer.strFolder, installer.strFile);
    if (bLaunched) {
        CWaitBarDlg wait(kDriverWaitCaption, kDriverWaitText, kDriverWaitSeconds, this);
        wait.DoModal();
    }
    // Opened later by the loop's reconnect, once the new driver is in place.
    m_pedal.SetPort(std::make_unique<CUSB>(0));
    if (!bLaunched) {
        installer.Discard();
        return kUpdateNotLaunched;
    }
    fw::StartWindowTimer(*this, kTickAfterDriverMs);
    return kUpdateStarted;
}

int CQuillodromeDlg::UpdateProgram() {
    Installer installer;
    if (const int nResult =
            FetchInstaller(kProgramInstallerName, Publisher::Maker, installer, this))
        return nResult;
    if (LaunchElevated(installer.strFolder, installer.strFile))
        return kUpdateStarted;
    installer.Discard();
    return kUpdateNotLaunched;
}
