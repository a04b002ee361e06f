#include "player/dshow_media_player.h"

#include "framework/system_message.h"
#include "framework/win_app.h"

#include <audioclient.h>

#include <cstdio>
#include <memory>
#include <new>

namespace {

// The audio engine's device failures. The system has no text for most of them, and the one it
// has for "not found" says nothing of sound.
const char* AudioDeviceError(HRESULT hr) {
    switch (hr) {
    case AUDCLNT_E_DEVICE_INVALIDATED:
        return "Le périphérique audio a été débranché ou désactivé.";
    case AUDCLNT_E_DEVICE_IN_USE:
        return "Le périphérique audio est réservé par un autre programme.";
    case AUDCLNT_E_SERVICE_NOT_RUNNING:
        return "Le service audio de Windows ne fonctionne pas.";
    case HRESULT_FROM_WIN32(ERROR_NOT_FOUND): // no render endpoint at all
        return "Aucun périphérique audio n'est disponible.";
    default:
        return nullptr;
    }
}

const char* KnownMediaError(HRESULT hr) {
    switch (hr) {
    case VFW_E_UNSUPPORTED_STREAM:
    case VFW_E_UNKNOWN_FILE_TYPE:
    case VFW_E_INVALID_FILE_FORMAT:
        return "Le format de ce fichier n'est pas reconnu ou n'est pas pris en charge.";
    case VFW_E_CANNOT_RENDER:
    case VFW_E_CANNOT_CONNECT:
    case VFW_E_NO_DECOMPRESSOR:
        return "Aucun décodeur n'a été trouvé pour lire ce fichier.";
    case VFW_E_NOT_FOUND:
    case VFW_E_CANNOT_LOAD_SOURCE_FILTER:
        return "Impossible d'ouvrir ce fichier : il est introuvable ou illisible.";
    case VFW_E_NO_AUDIO_HARDWARE:
        return "Aucun périphérique audio n'est disponible.";
    case REGDB_E_CLASSNOTREG:
        return "Le composant de lecture DirectShow n'est pas installé sur ce poste.";
    case E_OUTOFMEMORY:
        return "Mémoire insuffisante pour ouvrir ce fichier.";
    default:
        return nullptr;
    }
}

} // namespace

std::string MediaErrorText(HRESULT hr) {
    const DWORD code = static_cast<DWORD>(hr);
    // quartz.dll stays loaded: it is DirectShow itself.
    static HMODULE quartz = ::LoadLibraryA("quartz.dll");
    std::string text;
    if (const char* device = AudioDeviceError(hr))
        return device;
    if (quartz)
        text = fw::SystemMessage(code, quartz);
    if (text.empty())
        text = fw::SystemMessage(code);
    if (text.empty() && HRESULT_FACILITY(hr) == FACILITY_WIN32)
        text = fw::SystemMessage(HRESULT_CODE(hr));
    if (text.empty() && KnownMediaError(hr))
        text = KnownMediaError(hr);
    if (text.empty()) {
        char hex[64];
        std::snprintf(hex, sizeof hex, "Erreur de lecture 0x%08lX.",
                      static_cast<unsigned long>(code));
        text = hex;
    }
    return text;
}

CDShowMediaPlayer::~CDShowMediaPlayer() {
    Close();
}

int CDShowMediaPlayer::Open(const char* file) {
    if (m_pGraph)
        Close();
    m_strFile = file ? file : "";
    m_llDuration = 0;

    std::unique_ptr<wchar_t[]> wide;
    if (file) {
        size_t length = m_strFile.size();
        if (length + 1 <= 0x3FFFFFFF) {
            wide.reset(new (std::nothrow) wchar_t[length + 1]);
            if (wide && ::MultiByteToWideChar(CP_THREAD_ACP, 0, file, -1, wide.get(),
                                              static_cast<int>(length + 1)) == 0)
                wide.reset();
        }
    }
    m_pwszFile = wide.get();
    HRESULT hr = Build();
    if (FAILED(hr))
        ShowMediaError(hr);
    m_pwszFile = nullptr;
    return 1;
}

long CDShowMediaPlayer::OpenFile(const std::wstring& file) {
    if (m_pGraph)
        Close();
    m_strFile.clear();
    m_llDuration = 0;
    m_pwszFile = file.c_str();
    HRESULT hr = Build();
    m_pwszFile = nullptr;
    if (SUCCEEDED(hr) && m_llDuration <= 0)
        hr = VFW_E_INVALID_FILE_FORMAT;
    if (FAILED(hr))
        Close();
    return hr;
}

HRESULT CDShowMediaPlayer::Build() {
    HRESULT hr =
        ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                           IID_IGraphBuilder, m_pGraph.PutVoid());
    if (FAILED(hr) || !m_pGraph) {
        m_pGraph.Reset();
        return FAILED(hr) ? hr : E_NOINTERFACE;
    }

    hr = m_pGraph->RenderFile(m_pwszFile, nullptr);
    const bool rendered = SUCCEEDED(hr);

    m_pGraph->QueryInterface(IID_IMediaEventEx, m_pEvent.PutVoid());
    if (m_pEvent)
        m_pEvent->SetNotifyWindow(reinterpret_cast<OAHWND>(m_hNotifyWnd), WM_APP + 1, 0);
    m_pGraph->QueryInterface(IID_IMediaSeeking, m_pSeeking.PutVoid());
    m_pGraph->QueryInterface(IID_IBasicAudio, m_pAudio.PutVoid());
    if (m_pAudio)
        m_pAudio->put_Volume(m_lVolume);
    if (rendered && m_pSeeking) {
        LONGLONG duration = 0;
        if (SUCCEEDED(m_pSeeking->GetDuration(&duration)))
            m_llDuration = duration;
    }
    m_pGraph->QueryInterface(IID_IMediaControl, m_pControl.PutVoid());
    return rendered ? S_OK : hr;
}

long CDShowMediaPlayer::Play() {
    m_bPlaying = m_pGraph ? TRUE : FALSE;
    if (!m_pControl)
        return m_pGraph ? E_NOINTERFACE : E_UNEXPECTED;
    HRESULT hr = m_pControl->Run();
    return FAILED(hr) ? hr : S_OK;
}

void CDShowMediaPlayer::Pause() {
    if (m_bPlaying && m_pControl)
        m_pControl->Pause();
}

bool CDShowMediaPlayer::IsPlaying() const {
    OAFilterState state = State_Stopped;
    return m_pControl && SUCCEEDED(m_pControl->GetState(0, &state)) && state == State_Running;
}

void CDShowMediaPlayer::Seek(int64_t position) {
    if (!m_pSeeking)
        return;
    LONGLONG at = position;
    m_pSeeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr,
                             AM_SEEKING_NoPositioning);
}

int64_t CDShowMediaPlayer::Position() const {
    LONGLONG at = 0;
    if (m_pSeeking)
        m_pSeeking->GetCurrentPosition(&at);
    return at;
}

void CDShowMediaPlayer::SetVolume(long volume) {
    m_lVolume = volume;
    if (m_pAudio)
        m_pAudio->put_Volume(m_lVolume);
}

int CDShowMediaPlayer::Stop() {
    m_bPlaying = FALSE;
    if (!m_pControl)
        return 0;
    m_pControl->Stop();
    if (m_pSeeking) {
        LONGLONG start = 0, stop = 0;
        m_pSeeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &stop,
                                 AM_SEEKING_NoPositioning);
    }
    if (m_pEvent) {
        long code = 0;
        m_pEvent->WaitForCompletion(INFINITE, &code);
    }
    return 1;
}

void CDShowMediaPlayer::Close() {
    if (!m_pGraph)
        return;
    Stop();
    if (m_pEvent) {
        long code = 0;
        m_pEvent->WaitForCompletion(INFINITE, &code);
    }
    m_pSeeking.Reset();
    m_pControl.Reset();
    m_pEvent.Reset();
    m_pAudio.Reset();
    m_pGraph.Reset();
}

void CDShowMediaPlayer::ShowMediaError(HRESULT hr) {
    fw::AfxMessageBox(MediaErrorText(hr).c_str(), MB_OK);
}
