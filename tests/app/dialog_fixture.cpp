#include "tests/app/dialog_fixture.h"

#include "framework/strings.h"

namespace kelvane::test {

bool RecordingSteps::CloseBrowserWindows(InstallerDialog& dialog) {
    ++browserCalls;
    if (duringBrowser) duringBrowser(dialog);
    return !refuseBrowser;
}

void RecordingSteps::RunCleanupPass(InstallerDialog& dialog) {
    ++cleanupCalls;
    if (duringCleanup) duringCleanup(dialog);
}

void RecordingSteps::RegisterChartServer(InstallerDialog&) { ++chartCalls; }

namespace {
PaintRecorder* g_recorder = nullptr;  // a hook procedure has no context of its own
}

PaintRecorder::PaintRecorder(const PercentProgressCtrl& bar) : bar_(bar) {
    g_recorder = this;
    hook_.reset(::SetWindowsHookExA(WH_CALLWNDPROC, &PaintRecorder::Hook, nullptr, ::GetCurrentThreadId()));
}

PaintRecorder::~PaintRecorder() {
    hook_.reset();
    g_recorder = nullptr;
}

LRESULT CALLBACK PaintRecorder::Hook(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && g_recorder && message->message == WM_PAINT &&
        message->hwnd == g_recorder->bar_.Handle()) {
        g_recorder->positions.push_back(g_recorder->bar_.GetPos());
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

DialogRun::DialogRun() {
    // The resource-search flag outlives every download of the process; each run starts clean.
    LastStatusWasFinding = 0;
    platform.modulePath = folder / "Kelvane.exe";
    // A copy of this test program: it carries the program's version resource.
    ::CopyFileA(TestProgramPath().c_str(), platform.modulePath.c_str(), FALSE);
}

void DialogRun::LayOutCabinets(std::initializer_list<int> rows) {
    MakeFolder(folder / "cabfiles");
    for (int row : rows) {
        WriteFile(folder / ("cabfiles\\" + std::string(CatalogRows()[row].CabName)), "MSCF");
        if (row == 73) {
            WriteFile(folder / "cabfiles\\olch2xu8.ocx");
            WriteFile(folder / "cabfiles\\c1regsvw.exe");
        }
    }
}

InstallerDialog& DialogRun::Make(const std::string& argument) {
    dialog = std::make_unique<InstallerDialog>(platform, service, steps, argument);
    return *dialog;
}

INT_PTR DialogRun::Run(std::function<void(HWND)> tick) {
    if (!tick) tick = [](HWND) {};
    return RunModal(*dialog, std::move(tick));
}

std::string Text(UINT id) { return fw::LoadText(id); }

void PressClose(HWND dialog) { ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

}  // namespace kelvane::test
