#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/installer_app.h"
#include "catalog/component_catalog.h"
#include "framework/raii.h"
#include "framework/strings.h"
#include "resources/resource.h"
#include "tests/support/test_platform.h"
#include "tests/support/test_registry.h"

namespace kelvane::test {
namespace {

// A file of the build tree, as wine sees it.
std::string BuildPath(const std::string& relative) {
    return BuildFile(std::string(KELVANE_BUILD_DIR) + "/" + relative);
}

std::string KitCabinet(int row) { return BuildPath(std::string("kit/cabfiles/") + CatalogRows()[row].CabName); }

struct FoundWindow {
    DWORD process;
    const char* className;
    std::string title;
    HWND window;
    bool messageBox = false;
};

// The message box's text: its one static control with text (the icon's has none).
BOOL CALLBACK CollectStaticText(HWND child, LPARAM context) {
    char className[32] = {}, text[512] = {};
    ::GetClassNameA(child, className, sizeof(className));
    ::GetWindowTextA(child, text, sizeof(text));
    if (::lstrcmpiA(className, "Static") == 0 && text[0]) *reinterpret_cast<std::string*>(context) += text;
    return TRUE;
}

// A message box counts once it is shown with its text: the main dialog carries
// the same caption while its controls are still being made.
bool IsShownMessageBox(HWND window) {
    if (!::IsWindowVisible(window) || ::GetDlgItem(window, IDC_CURRENT_PROGRESS)) return false;
    std::string text;
    ::EnumChildWindows(window, &CollectStaticText, reinterpret_cast<LPARAM>(&text));
    return !text.empty();
}

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<FoundWindow*>(context);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    char title[128] = {}, className[64] = {};
    ::GetWindowTextA(window, title, sizeof(title));
    ::GetClassNameA(window, className, sizeof(className));
    if (process == found->process && found->title == title && std::string(found->className) == className &&
        (!found->messageBox || IsShownMessageBox(window))) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}


// Kelvane.exe copied into a scratch program folder and run as a child process.
class ProgramRun {
public:
    ProgramRun() {
        ::CopyFileA(BuildPath("app/Kelvane.exe").c_str(), (folder / "Kelvane.exe").c_str(), FALSE);
        ::CopyFileA(BuildPath("app/kvreghost.exe").c_str(), (folder / "kvreghost.exe").c_str(), FALSE);
    }

    void AddCabinet(const std::string& source, const std::string& name) {
        MakeFolder(folder / "cabfiles");
        ASSERT_TRUE(::CopyFileA(source.c_str(), (folder / ("cabfiles\\" + name)).c_str(), FALSE)) << source;
    }
    void AddKitRow(int row) { AddCabinet(KitCabinet(row), CatalogRows()[row].CabName); }

    void Start(const std::string& argument) {
        std::string command = "\"" + (folder / "Kelvane.exe") + "\" " + argument;
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     folder.path().c_str(), &startup, &info));
        process_.reset(info.hProcess);
        fw::unique_handle thread(info.hThread);
        processId_ = info.dwProcessId;
    }

    // A top-level window of the program's process, waited for.
    HWND WaitForWindow(const char* className, const std::string& title, DWORD limitMs = 30000,
                       bool messageBox = false) {
        DWORD start = ::GetTickCount();
        do {
            FoundWindow found{processId_, className, title, nullptr, messageBox};
            ::EnumWindows(&FindProcessWindow, reinterpret_cast<LPARAM>(&found));
            if (found.window) return found.window;
            ::Sleep(50);
        } while (::GetTickCount() - start < limitMs && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT);
        return nullptr;
    }
    HWND MainWindow() { return WaitForWindow("#32770", "Kelvane V1.0.3.27"); }
    // The text of the program's message box, once it is shown; the box is then answered OK.
    std::string AnswerMessage(DWORD limitMs = 60000) {
        HWND box = WaitForWindow("#32770", "Kelvane", limitMs, true);
        if (!box) return "(no message box)";
        std::string text;
        ::EnumChildWindows(box, &CollectStaticText, reinterpret_cast<LPARAM>(&text));
        ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return text;
    }

    DWORD ExitCode(DWORD limitMs = 120000) {
        if (::WaitForSingleObject(process_.get(), limitMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(process_.get(), 99);
            return 0xFFFFFFFF;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(process_.get(), &code);
        return code;
    }

    ScratchFolder folder;

private:
    fw::unique_handle process_;
    DWORD processId_ = 0;
};

std::string ControlsFolder() { return fw::Platform().WindowsDirectory() + "\\Downloaded Program Files\\"; }

TEST(Program, UnattendedRunInstallsThePresentRowsAndEndsWithZero) {
    const int rows[] = {0, 5, 91};
    ProgramRun run;
    for (int row : rows) run.AddKitRow(row);
    run.Start("");
    EXPECT_EQ(static_cast<DWORD>(ExitSuccess), run.ExitCode());
    for (int row : rows) {
        const CatalogRow& r = CatalogRows()[row];
        SCOPED_TRACE(r.CabName);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE,
                              std::string("SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\") + r.ClsidText));
        EXPECT_TRUE(Exists(ControlsFolder() + r.ModuleName));
        const std::string path =
            ReadString(HKEY_CLASSES_ROOT, std::string("CLSID\\") + r.ClsidText + "\\InprocServer32", "");
        ASSERT_NE(path, "") << "no server registered";
        EXPECT_EQ(0, ::lstrcmpiA(path.c_str(), (ControlsFolder() + r.ModuleName).c_str())) << path;
    }
}

TEST(Program, CompletionMessageWaitsForOkThenTheRunEndsWithZero) {
    ProgramRun run;
    run.AddKitRow(12);
    run.Start("4");
    EXPECT_EQ(fw::LoadText(IDS_COMPLETED), run.AnswerMessage());
    EXPECT_EQ(static_cast<DWORD>(ExitSuccess), run.ExitCode());
}

TEST(Program, MissingFolderIsReportedAndClosingEndsWithUserCancelled) {
    ProgramRun run;  // no cabfiles folder
    run.Start("1");
    EXPECT_EQ(fw::LoadText(IDS_NO_CABFILES), run.AnswerMessage(30000));
    HWND window = run.MainWindow();
    ASSERT_NE(nullptr, window);
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(static_cast<DWORD>(ExitUserCancelled), run.ExitCode());
}

TEST(Program, NothingToInstallLeavesTheWindowUpUntilClosed) {
    ProgramRun run;
    MakeFolder(run.folder / "cabfiles");
    run.Start("");
    HWND window = run.MainWindow();
    ASSERT_NE(nullptr, window);
    ::Sleep(2500);  // past the unattended start and timer 1's period
    ASSERT_TRUE(::IsWindow(window)) << "a run that installs nothing does not end by itself";
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(static_cast<DWORD>(ExitUserCancelled), run.ExitCode());
}

// Bad cabinets fail every attempt; the installer stays up and retries the row
// until Cancel, which ends the run with the incorrect-installation message.
TEST(Program, BadCabinetsAreRetriedUntilCancel) {
    for (const char* bad : {"traversal.cab", "crash.cab", "truncated.cab"}) {
        SCOPED_TRACE(bad);
        ProgramRun run;
        run.AddCabinet(BuildPath("badcabs/") + bad, CatalogRows()[3].CabName);
        run.Start("");
        HWND window = run.MainWindow();
        ASSERT_NE(nullptr, window);
        ::Sleep(3000);
        ASSERT_TRUE(::IsWindow(window));
        ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_EQ(fw::LoadText(IDS_INSTALL_INCORRECT), run.AnswerMessage(30000));
        EXPECT_EQ(static_cast<DWORD>(ExitUserCancelled), run.ExitCode());
        EXPECT_FALSE(Exists(ControlsFolder() + CatalogRows()[3].ModuleName));
    }
}

}  // namespace
}  // namespace kelvane::test
