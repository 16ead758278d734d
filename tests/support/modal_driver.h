// Drives a modal dialog from inside its own message loop: a thread timer calls
// the test's script until the dialog has ended.
#pragma once

#include <windows.h>

#include <functional>

#include "framework/dialog.h"

namespace kelvane::test {

// Runs dialog.DoModal(); `tick` is called every `intervalMs` with the dialog's
// window while the dialog lives. Returns DoModal's result.
INT_PTR RunModal(fw::Dialog& dialog, std::function<void(HWND)> tick, UINT intervalMs = 10);

// Handles the thread's pending messages (for tests that drive windows outside a dialog).
void PumpMessages(DWORD forMs = 0);

// Handles the thread's messages as they come until `done` says so; false when
// `timeoutMs` passes first.
bool RunUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Clicks a dialog's button the way a user does (BM_CLICK).
void Click(HWND dialog, int id);

}  // namespace kelvane::test
