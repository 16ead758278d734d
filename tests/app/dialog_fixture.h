// The real installer dialog, made from its template, over a scratch program
// folder, with the scripted download service and recording install steps.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/installer_dialog.h"
#include "framework/raii.h"
#include "tests/support/modal_driver.h"
#include "tests/support/scripted_service.h"
#include "tests/support/test_platform.h"

namespace kelvane::test {

class RecordingSteps : public InstallSteps {
public:
    int browserCalls = 0;
    int cleanupCalls = 0;
    int chartCalls = 0;
    bool refuseBrowser = false;
    std::function<void(InstallerDialog&)> duringBrowser;
    std::function<void(InstallerDialog&)> duringCleanup;

    bool CloseBrowserWindows(InstallerDialog& dialog) override;
    void RunCleanupPass(InstallerDialog& dialog) override;
    void RegisterChartServer(InstallerDialog& dialog) override;
};

// A hook from SetWindowsHookEx.
struct HookTraits {
    using type = HHOOK;
    static type invalid() { return nullptr; }
    static void close(type hook) { ::UnhookWindowsHookEx(hook); }
};
using unique_hook = fw::unique_resource<HookTraits>;

// Positions of a bar at each of its repaints.
class PaintRecorder {
public:
    explicit PaintRecorder(const PercentProgressCtrl& bar);
    // The hook reports to this one object, so it is neither copied nor moved.
    PaintRecorder(const PaintRecorder&) = delete;
    PaintRecorder& operator=(const PaintRecorder&) = delete;
    ~PaintRecorder();
    std::vector<int> positions;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    const PercentProgressCtrl& bar_;
    unique_hook hook_;
};

class DialogRun {
public:
    DialogRun();

    // The "cabfiles" folder beside the program, with the cabinets of these catalog rows
    // (row 73 with its two companion files).
    void LayOutCabinets(std::initializer_list<int> rows);
    InstallerDialog& Make(const std::string& argument);
    // Runs the dialog; `tick` is called every 10 ms while it lives.
    INT_PTR Run(std::function<void(HWND)> tick = {});

    struct OleScope {
        OleScope() { ::OleInitialize(nullptr); }
        ~OleScope() { ::OleUninitialize(); }
    } ole;
    ScratchFolder folder;
    TestPlatform platform;
    ScriptedService service;
    RecordingSteps steps;
    std::unique_ptr<InstallerDialog> dialog;
};

std::string Text(UINT id);
// Ends the dialog as the Close/Cancel button does.
void PressClose(HWND dialog);

}  // namespace kelvane::test
