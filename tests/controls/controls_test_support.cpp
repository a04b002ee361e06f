#include "tests/controls/controls_test_support.h"

#include "tests/tools/wine_test_paths.h"

namespace ctltest {

namespace {
const char* kParentClass = "QdPatternParent";

void RegisterParentClass() {
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kParentClass;
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    ::RegisterClassA(&wc);
    registered = true;
}

uint8_t Channel(int v) {
    return static_cast<uint8_t>(0x30 + (v & 0x7F) + (v & 0x40));
}
} // namespace

uint32_t PixelOf(COLORREF c) {
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

uint32_t PatternPixel(int x, int y) {
    // Stripes in three directions: every pixel differs from its neighbours, none is black.
    return PixelOf(RGB(Channel(x * 5), Channel(y * 11), Channel((x + y) * 3)));
}

const fw::MessageMap<PatternParent> PatternParent::s_messageMap = {
    fw::on::EraseBkgnd(&PatternParent::OnEraseBkgnd),
    fw::on::Raw(WM_NCLBUTTONDOWN, &PatternParent::OnNcLButtonDown),
    fw::on::CtlColor(&PatternParent::OnCtlColor),
};

PatternParent::PatternParent(int x, int y, int w, int h) {
    RegisterParentClass();
    HWND wnd = ::CreateWindowExA(0, kParentClass, "pattern", WS_POPUP | WS_VISIBLE, x, y, w, h,
                                 nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    BITMAPINFO bi = qdtest::TopDown32(w, h);
    void* bits = nullptr;
    m_hPattern = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* px = static_cast<uint32_t*>(bits);
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col)
            px[row * w + col] = PatternPixel(col, row);
    SubclassWindow(wnd);
    Repaint(wnd);
}

PatternParent::~PatternParent() {
    HWND wnd = m_hWnd;
    if (wnd)
        ::DestroyWindow(wnd);
    ::DeleteObject(m_hPattern);
}

BOOL PatternParent::OnEraseBkgnd(HDC dc) {
    HDC mem = ::CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(mem, m_hPattern);
    RECT rc = GetClientRect();
    ::BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
    return TRUE;
}

LRESULT PatternParent::OnNcLButtonDown(WPARAM hit, LPARAM point) {
    m_presses.push_back({hit, point});
    return 0;
}

HBRUSH PatternParent::OnCtlColor(HDC dc, HWND control, UINT kind) {
    char cls[64] = {};
    ::GetClassNameA(control, cls, sizeof cls);
    if (m_bBlackTrackbars && std::string(cls) == TRACKBAR_CLASSA)
        return static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    return reinterpret_cast<HBRUSH>(Default());
}

void Repaint(HWND wnd) {
    ::RedrawWindow(wnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
}

BITMAPINFO TopDown32(int w, int h) {
    return qdtest::TopDown32(w, h);
}

Picture Capture(HWND wnd, const RECT& rc) {
    HDC dc = ::GetDC(wnd);
    Picture p = qdtest::ReadPixels(dc, rc);
    ::ReleaseDC(wnd, dc);
    return p;
}

Picture CaptureClient(HWND wnd) {
    RECT rc{};
    ::GetClientRect(wnd, &rc);
    return Capture(wnd, rc);
}

void Keep(const Picture& p, const std::string& name) {
    const std::string folder = qdtest::FolderFromEnv("QD_ARTIFACT_DIR");
    if (folder.empty())
        return;
    ::CreateDirectoryA(folder.c_str(), nullptr);
    qdtest::SaveBmp(p, folder + name + ".bmp");
}

bool TimerPending(HWND wnd, DWORD ms) {
    const DWORD start = ::GetTickCount();
    MSG msg;
    for (;;) {
        if (::PeekMessageA(&msg, wnd, WM_TIMER, WM_TIMER, PM_NOREMOVE))
            return true;
        if (::GetTickCount() - start >= ms)
            return false;
        ::Sleep(5);
    }
}

// Wine's GetGuiResources always answers 0, so the count is kept here instead: the program's
// own calls that create or take a GDI object or a window's device context go through counting
// wrappers (this executable's import table is pointed at them), and so do the calls that give
// them back.
namespace {
int g_nLive = 0;

// The system's own entry points: calls from inside the wrappers must not come back to them.
template <class F>
F Real(const char* dll, const char* name) {
    return reinterpret_cast<F>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA(dll), name)));
}
#define QD_REAL(dll, fn) static const auto real = Real<decltype(&::fn)>(dll, #fn)

template <class R>
R Counted(R handle) {
    if (handle)
        ++g_nLive;
    return handle;
}
HDC WINAPI CountCreateCompatibleDC(HDC dc) {
    QD_REAL("gdi32.dll", CreateCompatibleDC);
    return Counted(real(dc));
}
HBITMAP WINAPI CountCreateCompatibleBitmap(HDC dc, int w, int h) {
    QD_REAL("gdi32.dll", CreateCompatibleBitmap);
    return Counted(real(dc, w, h));
}
HBITMAP WINAPI CountCreateBitmap(int w, int h, UINT planes, UINT bits, const void* data) {
    QD_REAL("gdi32.dll", CreateBitmap);
    return Counted(real(w, h, planes, bits, data));
}
HBITMAP WINAPI CountCreateDIBSection(HDC dc, const BITMAPINFO* bi, UINT usage, void** bits,
                                     HANDLE section, DWORD offset) {
    QD_REAL("gdi32.dll", CreateDIBSection);
    return Counted(real(dc, bi, usage, bits, section, offset));
}
HBRUSH WINAPI CountCreateSolidBrush(COLORREF c) {
    QD_REAL("gdi32.dll", CreateSolidBrush);
    return Counted(real(c));
}
HFONT WINAPI CountCreateFontIndirectA(const LOGFONTA* lf) {
    QD_REAL("gdi32.dll", CreateFontIndirectA);
    return Counted(real(lf));
}
HBITMAP WINAPI CountLoadBitmapA(HINSTANCE instance, LPCSTR name) {
    QD_REAL("user32.dll", LoadBitmapA);
    return Counted(real(instance, name));
}
HDC WINAPI CountGetDC(HWND wnd) {
    QD_REAL("user32.dll", GetDC);
    return Counted(real(wnd));
}
BOOL WINAPI CountDeleteObject(HGDIOBJ obj) {
    QD_REAL("gdi32.dll", DeleteObject);
    BOOL ok = real(obj);
    g_nLive -= ok != FALSE;
    return ok;
}
BOOL WINAPI CountDeleteDC(HDC dc) {
    QD_REAL("gdi32.dll", DeleteDC);
    BOOL ok = real(dc);
    g_nLive -= ok != FALSE;
    return ok;
}
int WINAPI CountReleaseDC(HWND wnd, HDC dc) {
    QD_REAL("user32.dll", ReleaseDC);
    int ok = real(wnd, dc);
    g_nLive -= ok != 0;
    return ok;
}

int g_nLeaveRequests = 0;
int g_nBeeps = 0;
BOOL WINAPI CountTrackMouseEvent(TRACKMOUSEEVENT* request) {
    QD_REAL("comctl32.dll", _TrackMouseEvent);
    g_nLeaveRequests += (request->dwFlags & TME_LEAVE) && !(request->dwFlags & TME_CANCEL);
    return real(request);
}
BOOL WINAPI CountMessageBeep(UINT type) {
    QD_REAL("user32.dll", MessageBeep);
    ++g_nBeeps;
    return real(type);
}
#undef QD_REAL

void Redirect(const char* dll, const char* name, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
    void* real = Real<void*>(dll, name);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    for (; imp->Name; ++imp) {
        auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; thunk->u1.Function; ++thunk) {
            auto* slot = reinterpret_cast<void**>(&thunk->u1.Function);
            if (*slot != real)
                continue;
            DWORD old;
            ::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
            *slot = replacement;
            ::VirtualProtect(slot, sizeof *slot, old, &old);
        }
    }
}

struct Install {
    Install() {
        const struct {
            const char* dll;
            const char* name;
            void* wrapper;
        } table[] = {
            {"gdi32.dll", "CreateCompatibleDC", reinterpret_cast<void*>(&CountCreateCompatibleDC)},
            {"gdi32.dll", "CreateCompatibleBitmap",
             reinterpret_cast<void*>(&CountCreateCompatibleBitmap)},
            {"gdi32.dll", "CreateBitmap", reinterpret_cast<void*>(&CountCreateBitmap)},
            {"gdi32.dll", "CreateDIBSection", reinterpret_cast<void*>(&CountCreateDIBSection)},
            {"gdi32.dll", "CreateSolidBrush", reinterpret_cast<void*>(&CountCreateSolidBrush)},
            {"gdi32.dll", "CreateFontIndirectA",
             reinterpret_cast<void*>(&CountCreateFontIndirectA)},
            {"gdi32.dll", "DeleteObject", reinterpret_cast<void*>(&CountDeleteObject)},
            {"gdi32.dll", "DeleteDC", reinterpret_cast<void*>(&CountDeleteDC)},
            {"user32.dll", "LoadBitmapA", reinterpret_cast<void*>(&CountLoadBitmapA)},
            {"user32.dll", "GetDC", reinterpret_cast<void*>(&CountGetDC)},
            {"user32.dll", "ReleaseDC", reinterpret_cast<void*>(&CountReleaseDC)},
            {"comctl32.dll", "_TrackMouseEvent", reinterpret_cast<void*>(&CountTrackMouseEvent)},
            {"user32.dll", "MessageBeep", reinterpret_cast<void*>(&CountMessageBeep)},
        };
        for (const auto& e : table)
            Redirect(e.dll, e.name, e.wrapper);
    }
};
// Before anything of the tests exists.
const Install g_install;
} // namespace

int GdiObjects() {
    return g_nLive;
}

int LeaveRequests() {
    return g_nLeaveRequests;
}

int Beeps() {
    return g_nBeeps;
}

std::vector<std::string> ClippedTexts(HWND dialog) {
    std::vector<std::string> clipped;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        char cls[32] = {};
        ::GetClassNameA(child, cls, sizeof cls);
        const DWORD kind = static_cast<DWORD>(::GetWindowLongA(child, GWL_STYLE)) & SS_TYPEMASK;
        if (::lstrcmpiA(cls, "Static") != 0 || (kind > SS_RIGHT && kind != SS_LEFTNOWORDWRAP))
            continue;
        char text[512] = {};
        ::GetWindowTextA(child, text, sizeof text);
        RECT rc{};
        ::GetClientRect(child, &rc);
        HDC dc = ::GetDC(child);
        HGDIOBJ old =
            ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(child, WM_GETFONT, 0, 0)));
        std::string all = text;
        for (size_t start = 0; start <= all.size();) {
            size_t end = all.find('\n', start);
            if (end == std::string::npos)
                end = all.size();
            SIZE size{};
            ::GetTextExtentPoint32A(dc, all.c_str() + start, static_cast<int>(end - start), &size);
            if (size.cx > rc.right)
                clipped.push_back(all + " (" + std::to_string(size.cx) + " > " +
                                  std::to_string(rc.right) + ")");
            start = end + 1;
        }
        ::SelectObject(dc, old);
        ::ReleaseDC(child, dc);
    }
    return clipped;
}

HFONT DialogFont() {
    static HFONT font = ::CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                      0, 0, 0, 0, "Tahoma");
    return font;
}

} // namespace ctltest
