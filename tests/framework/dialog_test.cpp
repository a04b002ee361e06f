// Dialogs as the user drives them: real mouse clicks on owner-drawn and image buttons and on a
// notifying static, the dialog manager behind Default(), failed control bindings, and the image
// buttons' drawing and GDI objects.
#include "framework/bitmap_button.h"
#include "framework/dialog.h"
#include "tests/controls/controls_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {

constexpr int kPlay = 511, kStop = 512, kNoArt = 513, kIcon = 514;
constexpr UINT kEnd = WM_APP + 10;
constexpr UINT kRun = WM_APP + 11;

ctltest::Picture PictureOf(HBITMAP bitmap) {
    BITMAP bm{};
    ::GetObjectA(bitmap, sizeof bm, &bm);
    ctltest::Picture p;
    p.w = bm.bmWidth;
    p.h = bm.bmHeight;
    p.px.resize(static_cast<size_t>(p.w) * p.h);
    BITMAPINFO bi = ctltest::TopDown32(p.w, p.h);
    HDC screen = ::GetDC(nullptr);
    ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(p.h), p.px.data(), &bi, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    for (uint32_t& v : p.px)
        v &= 0x00FFFFFF;
    return p;
}

// Mouse input as the system delivers it, at a point of the screen.
void Mouse(POINT at, DWORD flags) {
    ::SetCursorPos(at.x, at.y);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    ::SendInput(1, &in, sizeof in);
    ::Sleep(60);
}

POINT CentreOf(HWND wnd) {
    RECT rc{};
    ::GetWindowRect(wnd, &rc);
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

// The test dialog, run modally while `drive` works it from another thread.
class ButtonsDlg : public fw::Routed<ButtonsDlg, fw::CDialog> {
public:
    ButtonsDlg() : Routed(510) {}

    fw::CBitmapButton m_btnPlay, m_btnNoArt;
    std::atomic<HWND> m_hReady{nullptr};
    std::atomic<int> m_nPlay{0}, m_nStop{0}, m_nIconPlain{0}, m_nIconDouble{0};
    int m_nCancels = 0, m_nDefIdCalls = 0;
    LRESULT m_defIdSeen = 0;
    BOOL m_bAutoPlay = FALSE, m_bAutoNoArt = TRUE;
    std::function<void(ButtonsDlg&)> m_onRun;

    INT_PTR Run(const std::function<void(ButtonsDlg&)>& drive) {
        std::thread driver([&] {
            while (!m_hReady || !::IsWindowVisible(m_hReady))
                ::Sleep(10);
            ::Sleep(200); // mapped by the X server and activated
            drive(*this);
            ::PostMessageA(m_hReady, kEnd, 0, 0);
        });
        INT_PTR result = DoModal();
        driver.join();
        return result;
    }

protected:
    BOOL OnInitDialog() override {
        fw::CDialog::OnInitDialog();
        m_bAutoPlay = m_btnPlay.AutoLoad(kPlay, *this);
        m_bAutoNoArt = m_btnNoArt.AutoLoad(kNoArt, *this);
        m_hReady = m_hWnd;
        return TRUE;
    }
    void OnCancel() override {
        ++m_nCancels;
        fw::CDialog::OnCancel();
    }

private:
    void OnPlay() { ++m_nPlay; }
    void OnStop() { ++m_nStop; }
    void OnIconPlain() { ++m_nIconPlain; }
    void OnIconDouble() { ++m_nIconDouble; }
    void OnEnd() { EndDialog(7); }
    void OnRun() { m_onRun(*this); }
    void OnSysCommand(UINT, LPARAM) { Default(); }
    LRESULT OnGetDefId(WPARAM, LPARAM) {
        ++m_nDefIdCalls;
        return m_defIdSeen = Default();
    }
    void OnDestroy() { Default(); }

    friend Routed;
    static const fw::MessageMap<ButtonsDlg> s_messageMap;
};
const fw::MessageMap<ButtonsDlg> ButtonsDlg::s_messageMap = {
    fw::on::Command(kPlay, &ButtonsDlg::OnPlay),
    fw::on::Command(kStop, &ButtonsDlg::OnStop),
    // The plain entry comes first: it must let the double-click pass to the next one.
    fw::on::Command(kIcon, &ButtonsDlg::OnIconPlain),
    fw::on::Command(kIcon, STN_DBLCLK, &ButtonsDlg::OnIconDouble),
    fw::on::Simple(kEnd, &ButtonsDlg::OnEnd),
    fw::on::Simple(kRun, &ButtonsDlg::OnRun),
    fw::on::SysCommand(&ButtonsDlg::OnSysCommand),
    fw::on::Raw(DM_GETDEFID, &ButtonsDlg::OnGetDefId),
    fw::on::Destroy(&ButtonsDlg::OnDestroy),
};

// Runs `body` on the dialog's own thread, inside the modal loop.
void OnDialogThread(ButtonsDlg& dlg, std::function<void(ButtonsDlg&)> body) {
    dlg.m_onRun = std::move(body);
    ::SendMessageA(dlg.m_hReady, kRun, 0, 0);
}

TEST(Commands, FastSecondClicksCountAndStaticDoubleClicksStayApart) {
    ButtonsDlg dlg;
    ctltest::Picture up, down, heldFirst, heldSecond, released;
    dlg.Run([&](ButtonsDlg& d) {
        up = PictureOf(d.m_btnPlay.UpBitmap());
        down = PictureOf(d.m_btnPlay.DownBitmap());
        const HWND play = ::GetDlgItem(d.m_hReady, kPlay);
        const RECT image{0, 0, up.w, up.h};
        for (int id : {kPlay, kStop, kIcon}) {
            const POINT at = CentreOf(::GetDlgItem(d.m_hReady, id));
            Mouse(at, MOUSEEVENTF_LEFTDOWN);
            if (id == kPlay)
                heldFirst = ctltest::Capture(play, image);
            Mouse(at, MOUSEEVENTF_LEFTUP);
            Mouse(at, MOUSEEVENTF_LEFTDOWN);
            if (id == kPlay)
                heldSecond = ctltest::Capture(play, image);
            Mouse(at, MOUSEEVENTF_LEFTUP);
            if (id == kPlay)
                released = ctltest::Capture(play, image);
            ::Sleep(::GetDoubleClickTime() + 50);
        }
        // A menu command and an accelerator carry no control handle.
        ::SendMessageA(d.m_hReady, WM_COMMAND, MAKEWPARAM(kIcon, 0), 0);
        ::SendMessageA(d.m_hReady, WM_COMMAND, MAKEWPARAM(kIcon, 1), 0);
    });
    EXPECT_EQ(dlg.m_nPlay, 2) << "image button";
    EXPECT_EQ(dlg.m_nStop, 2) << "owner-drawn button's BN_DOUBLECLICKED";
    EXPECT_EQ(dlg.m_nIconDouble, 1) << "STN_DBLCLK reaches only its own entry";
    EXPECT_EQ(dlg.m_nIconPlain, 3) << "STN_CLICKED, menu and accelerator";
    ASSERT_NE(up, down);
    EXPECT_EQ(heldFirst, down) << "pressed image while held";
    EXPECT_EQ(heldSecond, down) << "a fast second press looks pressed too";
    EXPECT_EQ(released, up);
}

TEST(DialogDefault, HandlersGetTheDialogManagersProcessing) {
    ButtonsDlg dlg;
    LRESULT before = 0, after = 0;
    EXPECT_EQ(dlg.Run([&](ButtonsDlg& d) {
        before = ::SendMessageA(d.m_hReady, DM_GETDEFID, 0, 0);
        ::SendMessageA(d.m_hReady, DM_SETDEFID, kStop, 0);
        after = ::SendMessageA(d.m_hReady, DM_GETDEFID, 0, 0);
        // The close command becomes the dialog's cancel command.
        ::SendMessageA(d.m_hReady, WM_SYSCOMMAND, SC_CLOSE, 0);
    }),
              IDCANCEL);
    EXPECT_EQ(before, MAKELRESULT(IDOK, DC_HASDEFID));
    EXPECT_EQ(after, MAKELRESULT(kStop, DC_HASDEFID));
    EXPECT_EQ(dlg.m_defIdSeen, after) << "the handler sees the manager's answer";
    EXPECT_EQ(dlg.m_nDefIdCalls, 2) << "Default() does not come back to the handler";
    EXPECT_EQ(dlg.m_nCancels, 1);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST(BitmapButton, AutoLoadSizesToTheUpImageOrLeavesTheButtonAlone) {
    ButtonsDlg dlg;
    RECT noArtBefore{}, noArtAfter{};
    SIZE play{};
    dlg.Run([&](ButtonsDlg& d) {
        OnDialogThread(d, [&](ButtonsDlg& self) {
            const RECT rc = self.m_btnPlay.GetClientRect();
            play = {rc.right, rc.bottom};
            noArtAfter = self.m_btnNoArt.GetClientRect();
            fw::CWnd fresh(::GetDlgItem(self.m_hWnd, kStop));
            noArtBefore = fresh.GetClientRect();
            fw::CBitmapButton none;
            EXPECT_FALSE(none.AutoLoad(999, self)) << "no such item";
        });
    });
    EXPECT_TRUE(dlg.m_bAutoPlay);
    const ctltest::Picture up = PictureOf(dlg.m_btnPlay.UpBitmap());
    EXPECT_EQ(play.cx, up.w);
    EXPECT_EQ(play.cy, up.h);
    EXPECT_FALSE(dlg.m_bAutoNoArt);
    EXPECT_EQ(dlg.m_btnNoArt.UpBitmap(), nullptr);
    EXPECT_EQ(noArtAfter.right, noArtBefore.right) << "same template size as its neighbour";
    EXPECT_EQ(noArtAfter.bottom, noArtBefore.bottom);
}

// What the button draws for each state, with all four images or with the up and down ones.
TEST(BitmapButton, DrawsTheImageOfItsStateAndHoldsNoGdiObject) {
    ButtonsDlg dlg;
    dlg.Run([&](ButtonsDlg& d) {
        OnDialogThread(d, [&](ButtonsDlg& self) {
            fw::CBitmapButton& btn = self.m_btnPlay;
            auto draw = [&](UINT state) {
                ctltest::Picture p;
                p.w = 18;
                p.h = 18;
                BITMAPINFO bi = ctltest::TopDown32(p.w, p.h);
                void* bits = nullptr;
                HBITMAP dib = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
                HDC mem = ::CreateCompatibleDC(nullptr);
                HGDIOBJ old = ::SelectObject(mem, dib);
                DRAWITEMSTRUCT dis{ODT_BUTTON, kPlay,      0,   ODA_DRAWENTIRE,
                                   state,      btn.m_hWnd, mem, {0, 0, p.w, p.h},
                                   0};
                ::SendMessageA(self.m_hWnd, WM_DRAWITEM, kPlay, reinterpret_cast<LPARAM>(&dis));
                ::GdiFlush();
                const auto* px = static_cast<const uint32_t*>(bits);
                p.px.assign(px, px + p.w * p.h);
                for (uint32_t& v : p.px)
                    v &= 0x00FFFFFF;
                ::SelectObject(mem, old);
                ::DeleteDC(mem);
                ::DeleteObject(dib);
                return p;
            };
            const int before = ctltest::GdiObjects();
            ASSERT_TRUE(btn.LoadBitmaps("PLAYU", "PLAYD", "STOPU", "STOPD"));
            EXPECT_EQ(ctltest::GdiObjects(), before + 2) << "the earlier two images went";
            const ctltest::Picture playUp = PictureOf(btn.UpBitmap()),
                                   playDown = PictureOf(btn.DownBitmap()),
                                   focus = PictureOf(btn.FocusBitmap()),
                                   disabled = PictureOf(btn.DisabledBitmap());
            const struct {
                UINT state;
                const ctltest::Picture& four;
                const ctltest::Picture& two;
            } cases[] = {
                {0, playUp, playUp},
                {ODS_SELECTED, playDown, playDown},
                {ODS_SELECTED | ODS_FOCUS, playDown, playDown},
                {ODS_FOCUS, focus, playUp},
                {ODS_DISABLED, disabled, playUp},
            };
            for (const auto& c : cases)
                EXPECT_EQ(draw(c.state), c.four) << "state " << c.state << ", four images";
            ASSERT_TRUE(btn.LoadBitmaps("PLAYU", "PLAYD"));
            for (const auto& c : cases)
                EXPECT_EQ(draw(c.state), c.two) << "state " << c.state << ", two images";

            const int loaded = ctltest::GdiObjects();
            for (int i = 0; i < 300; ++i) {
                ::InvalidateRect(btn.m_hWnd, nullptr, TRUE);
                ::UpdateWindow(btn.m_hWnd);
                draw(i % 2 ? ODS_SELECTED : 0);
            }
            EXPECT_EQ(ctltest::GdiObjects(), loaded) << "redrawing holds nothing";
            for (int i = 0; i < 50; ++i) {
                fw::CBitmapButton spare;
                EXPECT_TRUE(spare.LoadBitmaps("STOPU", "STOPD", "PLAYU", "NOARTF"));
            }
            EXPECT_EQ(ctltest::GdiObjects(), loaded) << "destroyed buttons give their images back";
        });
    });
}

// A binding that cannot be made shows in UpdateData's answer and leaves the first owner alone.
class BindingDlg : public ButtonsDlg {
public:
    fw::CWnd m_extra;
    bool m_bBound = false;
    BOOL Exchange(int id) {
        m_nBindTo = id;
        return UpdateData(FALSE);
    }

protected:
    void DoDataExchange(fw::DataExchange& dx) override {
        m_bBound = fw::DDX_Control(dx, m_nBindTo, m_extra);
    }

private:
    int m_nBindTo = kStop;
};

TEST(DataExchange, AFailedBindingFailsTheExchange) {
    BindingDlg dlg;
    dlg.Run([&](ButtonsDlg& d) {
        OnDialogThread(d, [&](ButtonsDlg&) {
            const HWND stop = dlg.GetDlgItem(kStop), play = dlg.GetDlgItem(kPlay);
            EXPECT_EQ(fw::CWnd::FromHandlePermanent(stop), &dlg.m_extra) << "bound at set-up";
            const struct {
                const char* what;
                int id;
                BOOL result;
            } cases[] = {
                {"the same control again", kStop, TRUE},
                {"no such control", 999, FALSE},
                {"the object is bound to another control", kIcon, FALSE},
            };
            for (const auto& c : cases) {
                EXPECT_EQ(dlg.Exchange(c.id), c.result) << c.what;
                EXPECT_EQ(dlg.m_bBound, c.result != FALSE) << c.what;
            }
            dlg.m_extra.UnsubclassWindow();
            EXPECT_FALSE(dlg.Exchange(kPlay)) << "the control belongs to the image button";
            EXPECT_EQ(fw::CWnd::FromHandlePermanent(play), &dlg.m_btnPlay);
            EXPECT_EQ(dlg.m_extra.m_hWnd, nullptr);
        });
    });
}

} // namespace
