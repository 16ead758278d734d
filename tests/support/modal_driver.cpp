#include "tests/support/modal_driver.h"

namespace kelvane::test {
namespace {
struct DriverState {
    fw::Dialog* dialog;
    std::function<void(HWND)> tick;
    bool inTick = false;
};
DriverState* g_driver = nullptr;  // one modal driver at a time; thread timers carry no context

void CALLBACK OnDriverTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (!g_driver || g_driver->inTick) return;
    HWND window = g_driver->dialog->Handle();
    if (!window || g_driver->dialog->HasEnded()) return;
    g_driver->inTick = true;
    g_driver->tick(window);
    g_driver->inTick = false;
}
}  // namespace

INT_PTR RunModal(fw::Dialog& dialog, std::function<void(HWND)> tick, UINT intervalMs) {
    DriverState state{&dialog, std::move(tick)};
    DriverState* outer = g_driver;
    g_driver = &state;
    UINT_PTR timer = ::SetTimer(nullptr, 0, intervalMs, &OnDriverTimer);
    INT_PTR result = dialog.DoModal();
    ::KillTimer(nullptr, timer);
    g_driver = outer;
    return result;
}

void PumpMessages(DWORD forMs) {
    DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (forMs) ::Sleep(1);
    } while (::GetTickCount() - start < forMs);
}

bool RunUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!done()) {
        if (::GetTickCount64() >= deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        PumpMessages();
    }
    return true;
}

void Click(HWND dialog, int id) { ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

}  // namespace kelvane::test
