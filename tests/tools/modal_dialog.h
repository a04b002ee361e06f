// Running one of the program's modal dialogs inside a test: the scenario runs from the dialog's
// own modal loop once the dialog is on screen, and usually ends it.
#pragma once

#include "framework/dialog.h"

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

namespace qdtest {

namespace detail {
struct ModalScenario {
    std::string caption;
    std::function<void(HWND)> run;
};
inline ModalScenario& PendingScenario() {
    static ModalScenario scenario;
    return scenario;
}
inline void CALLBACK StartScenario(HWND, UINT, UINT_PTR id, DWORD) {
    // The dialog manager shows the dialog once its queue is first empty: wait for that.
    HWND dlg = ::FindWindowA("#32770", PendingScenario().caption.c_str());
    if (!dlg || !::IsWindowVisible(dlg))
        return;
    ::KillTimer(nullptr, id);
    auto run = std::move(PendingScenario().run);
    run(dlg);
}
} // namespace detail

// Runs `dialog` modally; `scenario` gets its window once a window with `caption` is visible.
inline INT_PTR RunModal(fw::CDialog& dialog, const std::string& caption,
                        std::function<void(HWND)> scenario) {
    detail::PendingScenario() = {caption, std::move(scenario)};
    ::SetTimer(nullptr, 0, 1, &detail::StartScenario);
    return dialog.DoModal();
}

} // namespace qdtest
