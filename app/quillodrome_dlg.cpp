#include "app/quillodrome_dlg.h"

#include "app/about_dlg.h"
#include "app/file_path.h"
#include "maker/maker_site.h"
#include "player/speed.h"
#include "app/settings.h"
#include "controls/wait_bar_dlg.h"
#include "pedal/hid_port.h"
#include "pedal/setup_dlg.h"
#include "framework/file_dialog.h"
#include "framework/shell.h"
#include "framework/timer.h"
#include "framework/win_app.h"
#include "res/resource.h"
#include "update/update_check.h"

#include <process.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iterator>
#include <vector>

namespace {

constexpr const wchar_t* kIdleTitle = L"Quillodrome";
constexpr const wchar_t* kIdleCaption = L"<< Quillodrome >>";
constexpr const wchar_t* kOpenFilter =
    L"Son(*.mp3,*.wav,*.wma,*.m4a)|*.MP3; *.WAV; *.WMA; *.M4A|All Files (*.*)|*.*||";
constexpr UINT kTickMs = 100;
// Once the pedal settings have been used the main loop polls twice as often.
constexpr UINT kFastTickMs = 50;
// A closed port is tried again on the tick after this many.
constexpr int kReopenAfterTicks = 10;
constexpr int kInstallWaitSeconds = 15;
// The skin's pictures are drawn for this many dots per inch.
constexpr int kDesignDpi = 96;
constexpr LONGLONG kUnitsPerSecond = MediaPlayer::kUnitsPerSecond;
constexpr const char* kFixedSpeedText =
    "Ce fichier est lu par DirectShow : il ne peut être lu qu'à sa vitesse normale (100 %).";
constexpr const char* kPlaybackStoppedText = "La lecture s'est interrompue.\n";

const fw::CWinApp& App() {
    return *fw::AfxGetApp();
}

// The placement's rectangles are in workspace coordinates (the work area's corner is 0,0)
// unless the window is a tool window: with the taskbar at the top or left they differ from
// the screen's by its size.
RECT ScreenFromWorkspace(HWND wnd, RECT rc) {
    if (::GetWindowLongPtrA(wnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)
        return rc;
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoA(::MonitorFromRect(&rc, MONITOR_DEFAULTTONEAREST), &info))
        return rc;
    ::OffsetRect(&rc, info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top);
    return rc;
}

HBITMAP LoadBitmapResource(UINT id) {
    return ::LoadBitmapA(fw::AfxGetInstanceHandle(), MAKEINTRESOURCEA(id));
}

} // namespace

const fw::MessageMap<CQuillodromeDlg> CQuillodromeDlg::s_messageMap = {
    fw::on::SysCommand(&CQuillodromeDlg::OnSysCommand),
    fw::on::Destroy(&CQuillodromeDlg::OnDestroy),
    fw::on::Paint(&CQuillodromeDlg::OnPaint),
    fw::on::QueryDragIcon(&CQuillodromeDlg::OnQueryDragIcon),
    fw::on::Command(IDC_FILE, &CQuillodromeDlg::OnFile),
    fw::on::Timer(&CQuillodromeDlg::OnTimer),
    fw::on::DropFiles(&CQuillodromeDlg::OnDropFiles),
    fw::on::HScroll(&CQuillodromeDlg::OnHScroll),
    fw::on::Command(IDC_PLAY, &CQuillodromeDlg::OnPlay),
    fw::on::Command(IDC_PAUSE, &CQuillodromeDlg::OnPause),
    fw::on::Command(IDC_STOP, &CQuillodromeDlg::OnStop),
    fw::on::Notify(IDC_SLIDER_VOLUME, NM_RELEASEDCAPTURE, &CQuillodromeDlg::OnVolumeReleased),
    fw::on::Notify(IDC_SLIDER_POSITION, NM_RELEASEDCAPTURE, &CQuillodromeDlg::OnPositionReleased),
    fw::on::LButtonDown(&CQuillodromeDlg::OnLButtonDown),
    fw::on::Command(IDC_MIN, &CQuillodromeDlg::OnMin),
    fw::on::EraseBkgnd(&CQuillodromeDlg::OnEraseBkgnd),
    fw::on::CtlColor(&CQuillodromeDlg::OnCtlColor),
    fw::on::Command(IDC_ABOUT, &CQuillodromeDlg::OnAbout),
    fw::on::Command(IDC_OPTION, &CQuillodromeDlg::OnOption),
    fw::on::Command(IDC_TOPMOST, STN_CLICKED, &CQuillodromeDlg::OnTopMostClicked),
    fw::on::Command(IDC_WINDOW_ICON, STN_DBLCLK, &CQuillodromeDlg::OnIconDblClk),
    fw::on::Command(IDC_PEDAL, STN_CLICKED, &CQuillodromeDlg::OnPedalClicked),
    fw::on::Command(IDC_HELP_BUTTON, &CQuillodromeDlg::OnHelp),
    fw::on::Raw(WM_HOTKEY, &CQuillodromeDlg::OnHotKey),
    fw::on::Raw(kKeyPedalMessage, &CQuillodromeDlg::OnKeyPedal),
    fw::on::Raw(kPedalReadingMessage, &CQuillodromeDlg::OnPedalReading),
};

CQuillodromeDlg::CQuillodromeDlg() : Routed(IDD_QUILLODROME_DIALOG) {
    m_hIcon = ::LoadIconA(fw::AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    m_nAutoRewind = settings::ReadAutoRewind(App());
    m_nSpeed = settings::ReadSpeed(App());
    m_bAlwaysOnTop = settings::ReadAlwaysOnTop(App());
    m_bmpBackground.reset(LoadBitmapResource(IDB_BACKGROUND));
    m_bmpTopOn.reset(LoadBitmapResource(IDB_TOP_ON));
    m_bmpTopOff.reset(LoadBitmapResource(IDB_TOP_OFF));
    m_bmpPedalUp.reset(LoadBitmapResource(IDB_PEDAL_UP));
    m_bmpPedalDown.reset(LoadBitmapResource(IDB_PEDAL_DOWN));
    m_bmpNoPedal.reset(LoadBitmapResource(IDB_NO_PEDAL));
}

CQuillodromeDlg::~CQuillodromeDlg() = default;

void CQuillodromeDlg::DoDataExchange(fw::DataExchange& dx) {
    fw::DDX_Control(dx, IDC_PEDAL, m_stPedal);
    fw::DDX_Control(dx, IDC_CAPTION, m_stCaption);
    fw::DDX_Control(dx, IDC_TOPMOST, m_stTopMost);
    fw::DDX_Control(dx, IDC_SLIDER_VOLUME, m_sliderVolume);
    fw::DDX_Control(dx, IDC_SLIDER_REWIND, m_sliderRewind);
    fw::DDX_Control(dx, IDC_SLIDER_POSITION, m_sliderPosition);
    fw::DDX_Control(dx, IDC_SLIDER_SPEED, m_sliderSpeed);
}

BOOL CQuillodromeDlg::OnInitDialog() {
    fw::CDialog::OnInitDialog();
    KeepDesignPixels();
    AddAboutToSystemMenu();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // Right after an installation the pedal's driver may still be settling: wait before the
    // port is touched.
    if (settings::ReadInstalling(App())) {
        CWaitBarDlg wait("Quillodrome", "Installation en cours...\nVeuillez patienter!",
                         kInstallWaitSeconds, this);
        wait.DoModal();
        settings::ClearInstalling(App());
    }

    m_hidChoice = settings::ReadHidChoice(App());
    m_functions = settings::ReadSwitchFunctions(App());
    m_switchLogic = pedal::SwitchLogic(m_functions);
    m_pedal.NotifyTo(m_hWnd, kPedalReadingMessage);
    m_pedal.SetPort(
        CreatePort(settings::ReadPortType(App()), settings::ReadPortNum(App()), m_hidChoice));
    WirePort();
    m_stCaption.m_crText = m_crCaptionText;
    m_stCaption.m_crBack = m_crCaptionBack;
    ReopenRecentFile();

    m_pedal.Port()->Open();
    m_bPedalActive = m_pedal.IsPortOpen() && m_bFileLoaded;

    const int volume = settings::ReadVolume(App());
    SetVolume(settings::PlayerVolumeFromStored(volume));

    ::DragAcceptFiles(m_hWnd, TRUE);
    m_sliderRewind.SetRange(0, 50, FALSE);
    m_sliderRewind.SetPos(m_nAutoRewind, TRUE);
    m_sliderSpeed.SetRange(0, transport::SpeedSliderMax(), FALSE);
    m_sliderSpeed.SetPos(transport::SpeedSliderValue(m_nSpeed), TRUE);
    ::SetDlgItemTextA(m_hWnd, IDC_SPEED_TEXT, transport::FormatSpeed(m_nSpeed).c_str());
    m_sliderVolume.SetRange(0, 4000, FALSE);
    m_sliderVolume.SetPos(volume, TRUE);
    LoadButtons();

    PlaceWindow();
    m_keys = settings::ReadShortcuts(App());
    m_timeStampFormat = settings::ReadTimeStampFormat(App());
    // A key another program holds leaves that shortcut out; the settings dialog says which.
    m_takenShortcuts = m_shortcuts.Register(m_hWnd, m_keys);
    fw::StartWindowTimer(*this, kTickMs);
    // Once per run, in the background; its answer is picked up by the timer loop.
    _beginthread(CheckForUpdates, 0, nullptr);
    return TRUE;
}

void CQuillodromeDlg::AddAboutToSystemMenu() {
    HMENU menu = ::GetSystemMenu(m_hWnd, FALSE);
    if (!menu)
        return;
    char text[128] = {};
    if (::LoadStringA(fw::AfxGetInstanceHandle(), IDS_ABOUTBOX, text, sizeof text) <= 0)
        return;
    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, text);
}

void CQuillodromeDlg::ReopenRecentFile() {
    const CWideFilePath path(settings::ReadRecent(App()));
    struct _stat64 status {};
    if (::_wstat64(path.GetPath().c_str(), &status) != 0) {
        ShowLoadedName({});
        return;
    }
    OpenAudioFile(path.GetPath());
    if (m_player->IsOpen())
        m_player->Seek(settings::ReadStartPosition(App()));
}

void CQuillodromeDlg::LoadButtons() {
    const std::pair<fw::CBitmapButton*, UINT> buttons[] = {
        {&m_btnPlay, IDC_PLAY},        {&m_btnPause, IDC_PAUSE},   {&m_btnStop, IDC_STOP},
        {&m_btnFile, IDC_FILE},        {&m_btnExit, IDCANCEL},     {&m_btnMin, IDC_MIN},
        {&m_btnHelp, IDC_HELP_BUTTON}, {&m_btnOption, IDC_OPTION}, {&m_btnAbout, IDC_ABOUT},
    };
    for (const auto& [button, id] : buttons)
        button->AutoLoad(id, *this);
}

// The skin is a picture drawn for 96 DPI and the controls must sit on its panels. The manifest
// declares the program unaware of DPI, so Windows shows it at 96 DPI and scales the whole
// window; a system that reports another DPI all the same (Wine, a compatibility setting) would
// grow the template's layout and its font but not the pictures. Then the window, every control
// and the font are laid out again as the template places them at 96 DPI.
void CQuillodromeDlg::KeepDesignPixels() {
    fw::WindowDc screen(m_hWnd);
    const int dpi = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
    LOGFONTA lf{};
    const auto font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    if (dpi == kDesignDpi || dpi <= 0 || !font || ::GetObjectA(font, sizeof lf, &lf) != sizeof lf)
        return;
    // Dialog units as laid out now, and as the same font measures at 96 DPI (the system's rule:
    // average width of the alphabet, rounded, and the cell height).
    RECT units{0, 0, 4, 8};
    ::MapDialogRect(m_hWnd, &units);
    lf.lfHeight = ::MulDiv(lf.lfHeight, kDesignDpi, dpi);
    m_fontDesign.reset(::CreateFontIndirectA(&lf));
    fw::UniqueMemoryDc dc(::CreateCompatibleDC(screen.get()));
    const HGDIOBJ old = ::SelectObject(dc.get(), m_fontDesign.get());
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent{};
    TEXTMETRICA tm{};
    ::GetTextExtentPoint32A(dc.get(), kAlphabet, sizeof kAlphabet - 1, &extent);
    ::GetTextMetricsA(dc.get(), &tm);
    ::SelectObject(dc.get(), old);
    const int baseX = (extent.cx / 26 + 1) / 2;
    const int baseY = tm.tmHeight;
    if (units.right <= 0 || units.bottom <= 0 || baseX <= 0 || baseY <= 0)
        return;
    auto x96 = [&](LONG px) { return ::MulDiv(::MulDiv(px, 4, units.right), baseX, 4); };
    auto y96 = [&](LONG px) { return ::MulDiv(::MulDiv(px, 8, units.bottom), baseY, 8); };

    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        RECT rc;
        ::GetWindowRect(child, &rc);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        const LONG type = ::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK;
        char cls[16] = {};
        ::GetClassNameA(child, cls, sizeof cls);
        // A picture sizes itself to its picture, which has no DPI.
        const bool picture =
            ::lstrcmpiA(cls, "Static") == 0 && (type == SS_BITMAP || type == SS_ICON);
        ::SetWindowPos(child, nullptr, x96(rc.left), y96(rc.top),
                       picture ? rc.right - rc.left : x96(rc.right - rc.left),
                       picture ? rc.bottom - rc.top : y96(rc.bottom - rc.top),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(m_fontDesign.get()), FALSE);
    }
    const RECT client = GetClientRect();
    RECT frame{0, 0, x96(client.right), y96(client.bottom)};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_EXSTYLE)));
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CQuillodromeDlg::PlaceWindow() {
    const RECT rc = GetWindowRect();
    const long long w = rc.right - rc.left;
    const long long h = rc.bottom - rc.top;
    const long long screenW = ::GetSystemMetrics(SM_CXSCREEN);
    const long long screenH = ::GetSystemMetrics(SM_CYSCREEN);
    const POINT stored = settings::ReadWindowPos(App(), POINT{rc.left, rc.top});
    // A position from another screen layout is not trusted: the window keeps the template's
    // place rather than appear cut off or out of reach.
    const bool fits =
        stored.x >= 0 && stored.x + w <= screenW && stored.y >= 0 && stored.y + h <= screenH;
    m_stTopMost.SetBitmap(TopMostBitmap());
    SetWindowPos(m_bAlwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, stored.x, stored.y, 0, 0,
                 SWP_NOSIZE | SWP_SHOWWINDOW | (fits ? 0 : SWP_NOMOVE));
}

void CQuillodromeDlg::OpenAudioFile(const std::wstring& path) {
    m_strRecent = path;
    OpenWithEitherPlayer(path);
    SetDuration(static_cast<double>(m_player->Duration()) / kUnitsPerSecond);
    m_sliderPosition.SetRange(0, 199, FALSE);
    m_sliderPosition.SetPos(0, TRUE);
    m_bFileLoaded = m_dDuration > 0;
    m_bPedalActive = m_pedal.IsPortOpen() && m_bFileLoaded;

    ShowLoadedName(m_bFileLoaded ? path : std::wstring());
}

void CQuillodromeDlg::ShowLoadedName(const std::wstring& path) {
    const std::wstring title = path.empty() ? kIdleTitle : L"Quillodrome " + path;
    const std::wstring caption = path.empty() ? kIdleCaption : L"Quillodrome -> " + path;
    SetWindowText(title);
    m_stCaption.m_strText = caption;
    m_stCaption.SetWindowText(caption);
    if (m_stCaption.m_bInitialized)
        m_stCaption.RestartScroll();
}

void CQuillodromeDlg::OpenWithEitherPlayer(const std::wstring& path) {
    m_player->Close();
    m_player = &m_engine;
    HRESULT hr = m_engine.OpenFile(path);
    if (FAILED(hr)) {
        // DirectShow's failure is the one worth telling: its codes have French texts.
        hr = m_fallback.OpenFile(path);
        if (SUCCEEDED(hr))
            m_player = &m_fallback;
    }
    if (!m_player->IsOpen()) {
        fw::AfxMessageBox(MediaErrorText(hr).c_str(), MB_OK);
        return;
    }
    m_player->SetVolume(m_lVolume);
    m_player->SetSpeed(m_nSpeed);
    m_bFixedSpeedTold = false;
    if (!m_player->CanChangeSpeed() && m_nSpeed != player::kSpeedNormal) {
        m_bFixedSpeedTold = true;
        fw::AfxMessageBox(kFixedSpeedText, MB_OK);
    }
}

void CQuillodromeDlg::SetDuration(double seconds) {
    m_dDuration = seconds;
    const transport::MinutesSeconds split = transport::SplitMinutes(seconds);
    m_nDurationMin = split.nMinutes;
    m_dDurationSec = split.dSeconds;
}

double CQuillodromeDlg::CurrentPosition() const {
    return static_cast<double>(m_player->Position()) / kUnitsPerSecond;
}

void CQuillodromeDlg::SeekTo(double seconds) {
    if (m_player->IsOpen())
        m_player->Seek(static_cast<LONGLONG>(seconds * kUnitsPerSecond));
}

void CQuillodromeDlg::Play() {
    if (m_player->IsOpen())
        m_player->Play();
}

// The read-out says the speed heard: a file only DirectShow plays sounds at 100 % whatever the
// slider holds, which stays the typist's choice for the next file.
void CQuillodromeDlg::ShowSpeed() {
    const int heard = m_player->CanChangeSpeed() ? m_nSpeed : player::kSpeedNormal;
    if (heard == m_nShownSpeed)
        return;
    m_nShownSpeed = heard;
    ::SetDlgItemTextA(m_hWnd, IDC_SPEED_TEXT, transport::FormatSpeed(heard).c_str());
}

void CQuillodromeDlg::SetSpeed(int percent) {
    m_nSpeed = percent;
    m_player->SetSpeed(percent);
    ShowSpeed();
    // Raised before the box: ticks during it must not tell it again.
    if (m_player->IsOpen() && !m_player->CanChangeSpeed() && !m_bFixedSpeedTold) {
        m_bFixedSpeedTold = true;
        fw::AfxMessageBox(kFixedSpeedText, MB_OK);
    }
}

void CQuillodromeDlg::SetVolume(long volume) {
    m_lVolume = volume;
    m_player->SetVolume(volume);
}

void CQuillodromeDlg::OnTimer(UINT_PTR id) {
    if (id == kWindTimerId) {
        OnWindStep();
        return;
    }
    // One set per process: the switch's state survives everything but the process.
    static BOOL s_bUpdatePromptDone = FALSE;
    static transport::ReadoutCache s_readouts;

    // A tick inside the box of the port's own Open leaves the port alone: no reconnect, no
    // poll, and no update offer (a driver update replaces the port).
    const bool bPortFree = !m_pedal.IsBusy();

    // The flag is raised before the prompt: ticks that arrive during its message boxes run
    // this handler again and must not prompt a second time.
    if (bPortFree && !s_bUpdatePromptDone && g_nCheckDone.load(std::memory_order_acquire) > 0) {
        s_bUpdatePromptDone = TRUE;
        OfferUpdates();
    }

    m_nAutoRewind = m_sliderRewind.GetPos();
    // Like the auto-rewind amount, the speed follows its slider on the next tick.
    if (const int speed = transport::SpeedFromSlider(m_sliderSpeed.GetPos()); speed != m_nSpeed)
        SetSpeed(speed);
    ShowSpeed(); // the player may have changed with the file
    // Taken before the box, so that ticks during it do not tell it again.
    if (const long failure = m_player->TakeFailure())
        fw::AfxMessageBox((kPlaybackStoppedText + MediaErrorText(failure)).c_str(), MB_OK);
    // A damaged file's duration is known only once it has been read to its end.
    if (m_bFileLoaded) {
        const double duration = static_cast<double>(m_player->Duration()) / kUnitsPerSecond;
        if (duration > 0 && duration != m_dDuration)
            SetDuration(duration);
    }
    double position = CurrentPosition();
    const int sliderValue = transport::PositionSliderValue(position, m_dDuration);
    if (m_sliderPosition.GetPos() != sliderValue)
        m_sliderPosition.SetPos(sliderValue, TRUE);

    if (bPortFree)
        PedalTick(position);
    ShowPedal();

    const transport::MinutesSeconds shown = transport::SplitMinutes(position);
    const transport::MinutesSeconds duration{m_nDurationMin, m_dDurationSec};
    if (s_readouts.TimeChanged(shown, duration))
        ::SetDlgItemTextA(m_hWnd, IDC_TIME, transport::FormatTime(shown, duration).c_str());
    if (s_readouts.AutoRewindChanged(m_nAutoRewind))
        ::SetDlgItemTextA(m_hWnd, IDC_REWIND_TEXT,
                          transport::FormatAutoRewind(m_nAutoRewind).c_str());
    Decline();
}

void CQuillodromeDlg::PedalTick(double& position) {
    static int s_nReopenTicks = 0;
    // The reader's worker alone calls a port it reads; without a recording it stops, so that
    // the probing costs nothing while there is nothing to play.
    if (m_pedal.IsReading() && (m_pedal.HasEnded() || !m_bFileLoaded))
        m_pedal.Stop();
    if (m_pedal.IsReading())
        return;
    CPort& port = *m_pedal.Port();
    if (!port.IsOpen() && ++s_nReopenTicks > kReopenAfterTicks) {
        s_nReopenTicks = 0;
        port.Open();
        m_bPedalActive = port.IsOpen() && m_bFileLoaded;
    }
    const bool multiSwitch = port.GetType() == pedal::TypeCode(pedal::PortKind::Hid);
    if (m_bPedalActive && multiSwitch) {
        RunPedal(port.ReadSwitches(), true, position);
    } else if (m_switchLogic.Held() != 0) {
        // Unplugged, or no longer read, while held: released.
        RunPedal(0, true, position);
    } else if (m_bPedalActive) {
        // A polled port's first reading comes from the worker, at once.
        if (!m_pedal.Start())
            RunPedal(port.ReadSwitches(), false, position);
    } else {
        m_nPedalHeld = 0;
    }
}

void CQuillodromeDlg::ShowPedal() {
    HBITMAP indicator = m_bmpNoPedal.get();
    if (m_pedal.IsPortOpen())
        indicator = m_bPedalActive && m_nPedalHeld ? m_bmpPedalDown.get() : m_bmpPedalUp.get();
    // Setting the picture repaints the control: only a change is worth it.
    if (indicator != m_hShownPedal) {
        m_stPedal.SetBitmap(indicator);
        m_hShownPedal = indicator;
    }
}

void CQuillodromeDlg::PauseAndStepBack(double& position) {
    m_player->Pause();
    position = transport::StepBack(position, m_nAutoRewind);
    SeekTo(position);
}

void CQuillodromeDlg::OnPlay() {
    if (m_bFileLoaded)
        Play();
}

void CQuillodromeDlg::OnPause() {
    if (m_bFileLoaded)
        m_player->Pause();
}

void CQuillodromeDlg::OnStop() {
    if (!m_bFileLoaded)
        return;
    m_player->Stop();
    SeekTo(0);
}

void CQuillodromeDlg::OnHScroll(UINT, UINT, HWND bar) {
    if (bar == m_sliderPosition.m_hWnd && m_bFileLoaded) {
        m_player->Pause();
        SeekTo(transport::PositionFromSlider(m_sliderPosition.GetPos(), m_dDuration));
    } else if (bar == m_sliderVolume.m_hWnd) {
        SetVolume(settings::PlayerVolumeFromStored(m_sliderVolume.GetPos()));
    }
    Decline();
}

void CQuillodromeDlg::OnVolumeReleased(NMHDR*, LRESULT* result) {
    SetVolume(settings::PlayerVolumeFromStored(m_sliderVolume.GetPos()));
    *result = 0;
}

void CQuillodromeDlg::OnPositionReleased(NMHDR*, LRESULT* result) {
    *result = 0;
    if (!m_bFileLoaded)
        return;
    SeekTo(transport::PositionFromSlider(m_sliderPosition.GetPos(), m_dDuration));
    Play();
}

void CQuillodromeDlg::OnFile() {
    fw::CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT,
                           kOpenFilter);
    if (dialog.DoModal() != IDOK)
        return;
    OpenAudioFile(dialog.GetPathName());
}

void CQuillodromeDlg::OnDropFiles(HDROP drop) {
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::wstring path;
    for (UINT i = 0; i < count; ++i) {
        // Each path is read whole, however long: the drop says how long it is.
        const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        path.assign(length + 1, L'\0');
        const UINT copied = ::DragQueryFileW(drop, i, path.data(), length + 1);
        path.resize(copied);
    }
    ::DragFinish(drop);
    if (count > 0)
        OpenAudioFile(path);
}

void CQuillodromeDlg::OnSysCommand(UINT id, LPARAM) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.DoModal();
        return;
    }
    Decline();
}

void CQuillodromeDlg::OnAbout() {
    CAboutDlg about(this, m_pedal.Port());
    about.DoModal();
}

void CQuillodromeDlg::OnOption() {
    // The port's own Open is still running under its message box: it stays where it is.
    if (m_pedal.IsBusy())
        return;
    // Nothing may touch the port while the dialog owns it: no tick, no reading.
    KillTimer(fw::kWindowTimerId);
    m_bPedalActive = FALSE;
    // The shortcuts' keys must reach the dialog's hotkey controls, and a key one of them frees
    // may be given to another.
    m_shortcuts.Unregister();
    SetupDlg setup(this, m_pedal.TakePort());
    setup.SetChoices({m_keys, m_hidChoice, m_functions, m_timeStampFormat}, m_takenShortcuts);
    const INT_PTR result = setup.DoModal();
    std::unique_ptr<CPort> port = setup.TakePort();
    if (!port)
        port = std::make_unique<CPort>();
    if (result == IDOK) {
        const SetupChoices& choices = setup.Choices();
        m_keys = choices.shortcuts;
        m_timeStampFormat = choices.timeStampFormat;
        m_hidChoice = choices.hid;
        if (!std::equal(std::begin(m_functions.of), std::end(m_functions.of),
                        std::begin(choices.functions.of))) {
            m_functions = choices.functions;
            m_switchLogic = pedal::SwitchLogic(m_functions);
        }
    }
    if (const auto* hid = dynamic_cast<const CHidPort*>(port.get()))
        m_hidChoice = hid->Choice();
    m_takenShortcuts = m_shortcuts.Register(m_hWnd, m_keys);
    m_pedal.SetPort(std::move(port));
    WirePort();
    m_bPedalActive = m_pedal.IsPortOpen() && m_bFileLoaded;
    fw::StartWindowTimer(*this, kFastTickMs);
}

void CQuillodromeDlg::OnDestroy() {
    RECT rc = GetWindowRect();
    if (IsIconic()) {
        // Minimised, the window sits off screen: keep where it will come back to.
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        if (::GetWindowPlacement(m_hWnd, &placement))
            rc = ScreenFromWorkspace(m_hWnd, placement.rcNormalPosition);
    }
    KillTimer(fw::kWindowTimerId);
    CPort* port = m_pedal.Port();
    if (port)
        port->Close();
    m_player->Pause();

    settings::WriteBack values;
    values.ptTopLeft = POINT{rc.left, rc.top};
    if (port) {
        values.nPortType = port->GetType();
        values.nPortNum = port->GetNum();
    }
    values.nAutoRewind = m_nAutoRewind;
    values.bAlwaysOnTop = m_bAlwaysOnTop;
    if (m_player->IsOpen())
        values.llPosition = m_player->Position();
    values.lPlayerVolume = m_lVolume;
    values.nSpeed = m_nSpeed;
    values.strRecent = m_strRecent;
    values.shortcuts = m_keys;
    values.timeStampFormat = m_timeStampFormat;
    values.hid = m_hidChoice;
    values.functions = m_functions;
    settings::Write(App(), values);
    m_shortcuts.Unregister();

    m_pedal.SetPort(nullptr);
    m_player->Close();
    Decline();
}

void CQuillodromeDlg::OnPaint() {
    if (!IsIconic()) {
        Decline();
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
    const RECT rc = GetClientRect();
    const int x = (rc.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rc.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
}

HCURSOR CQuillodromeDlg::OnQueryDragIcon() {
    return m_hIcon;
}

void CQuillodromeDlg::OnLButtonDown(UINT, POINT point) {
    // The drag starts once the press itself has been processed as usual.
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
    Decline();
}

void CQuillodromeDlg::OnMin() {
    ShowWindow(SW_SHOWMINIMIZED);
}

BOOL CQuillodromeDlg::OnEraseBkgnd(HDC dc) {
    const RECT rc = GetClientRect();
    // Width and height 0: the bitmap's own size.
    ::DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(m_bmpBackground.get()), 0, rc.left,
                 rc.top, 0, 0, DST_BITMAP);
    return FALSE;
}

HBRUSH CQuillodromeDlg::OnCtlColor(HDC dc, HWND control, UINT kind) {
    char className[256] = {};
    ::GetClassNameA(control, className, sizeof className);
    if (kind != CTLCOLOR_STATIC || ::lstrcmpiA(className, TRACKBAR_CLASSA) == 0) {
        Decline();
        return nullptr;
    }
    switch (::GetDlgCtrlID(control)) {
    case IDC_TIME:
    case IDC_REWIND_TEXT:
    case IDC_SPEED_TEXT:
    case IDC_CAPTION:
        ::SetTextColor(dc, m_crCaptionText);
        ::SetBkColor(dc, m_crCaptionBack);
        return static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    default:
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::SetBkMode(dc, TRANSPARENT);
        return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
    }
}

void CQuillodromeDlg::OnTopMostClicked() {
    m_bAlwaysOnTop = !m_bAlwaysOnTop;
    m_stTopMost.SetBitmap(TopMostBitmap());
    SetWindowPos(m_bAlwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE);
}

void CQuillodromeDlg::OnIconDblClk() {
    OnCancel();
}

void CQuillodromeDlg::OnHelp() {
    const std::string page = maker::Url(maker::kHelpPagePath);
    fw::ShellOpen(m_hWnd, page.c_str());
}
