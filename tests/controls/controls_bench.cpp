// Cost of the caption's scroll step and of the slider's repaint under the real window system,
// next to the same repaint of the plain control, and the GDI objects held before and after.
//
//   controls_bench [steps]
// prints one line per case: steps, thread CPU microseconds per step, wall microseconds per
// step, GDI objects before and after.
#include "controls/lumo_slider_ctrl.h"
#include "controls/scroll_static.h"
#include "tests/controls/controls_test_support.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

double ThreadCpuMicros() {
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    auto us = [](FILETIME t) {
        return ((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10.0;
    };
    return us(kernel) + us(user);
}

double WallMicros() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart * 1e6 / frequency.QuadPart;
}

void Measure(const char* name, int steps, const std::function<void(int)>& step) {
    for (int i = 0; i < 50; ++i) // the first paints build what later ones reuse
        step(i);
    const int before = ctltest::GdiObjects();
    const double cpu = ThreadCpuMicros(), wall = WallMicros();
    for (int i = 0; i < steps; ++i)
        step(i);
    const double cpuPer = (ThreadCpuMicros() - cpu) / steps;
    const double wallPer = (WallMicros() - wall) / steps;
    std::printf("%-22s steps %6d  cpu %8.1f us/step  wall %8.1f us/step  gdi %d -> %d\n", name,
                steps, cpuPer, wallPer, before, ctltest::GdiObjects());
}

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int y, int w, int h) {
    HWND wnd = ::CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, 10, y, w, h, parent,
                                 nullptr, nullptr, nullptr);
    ::SendMessageA(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(ctltest::DialogFont()), FALSE);
    return wnd;
}

} // namespace

int main(int argc, char** argv) {
    const int steps = argc > 1 ? std::atoi(argv[1]) : 10000;
    ctltest::PatternParent parent(40, 40, 700, 200);
    std::string text;
    while (text.size() < 400)
        text += "Entretien avec Mme Dubois, enregistrement du mardi. ";

    // The toolbar's caption: 141 x 11 dialog units.
    HWND plain = Child(parent.m_hWnd, "STATIC", text.c_str(), SS_LEFTNOWORDWRAP, 10, 211, 18);
    CScrollStatic caption;
    caption.m_crText = RGB(0, 200, 200);
    caption.SubclassWindow(
        Child(parent.m_hWnd, "STATIC", text.c_str(), SS_LEFTNOWORDWRAP, 40, 211, 18));
    ctltest::Repaint(parent.m_hWnd);
    Measure("plain static repaint", steps, [&](int) {
        ::InvalidateRect(plain, nullptr, FALSE);
        ::UpdateWindow(plain);
    });
    Measure("caption scroll step", steps, [&](int) {
        caption.SendMessage(WM_TIMER, 0);
        ::UpdateWindow(caption.m_hWnd);
    });

    // The toolbar's position slider: 183 x 11 dialog units.
    HWND track = Child(parent.m_hWnd, TRACKBAR_CLASSA, "", TBS_BOTH | TBS_NOTICKS, 80, 275, 18);
    LumoSliderCtrl slider;
    slider.SubclassWindow(
        Child(parent.m_hWnd, TRACKBAR_CLASSA, "", TBS_BOTH | TBS_NOTICKS, 110, 275, 18));
    ::SendMessageA(track, TBM_SETRANGEMAX, FALSE, 199);
    slider.SetRange(0, 199);
    ctltest::Repaint(parent.m_hWnd);
    Measure("plain trackbar repaint", steps, [&](int i) {
        ::SendMessageA(track, TBM_SETPOS, TRUE, i % 200);
        ::UpdateWindow(track);
    });
    Measure("slider repaint", steps, [&](int i) {
        slider.SetPos(i % 200, TRUE);
        ::UpdateWindow(slider.m_hWnd);
    });
    return 0;
}
