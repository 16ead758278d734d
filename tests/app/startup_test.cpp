#include <gtest/gtest.h>

#include "app/installer_app.h"
#include "resources/resource.h"
#include "tests/app/dialog_fixture.h"

namespace kelvane::test {
namespace {

struct ModeCase {
    const char* argument;
    bool unattended;  // Install hidden and the run started by timer 2
    int32_t ask;
    int32_t message;
};

TEST(Startup, CommandLineChoosesTheModeAndTheTwoOptions) {
    const ModeCase cases[] = {
        {"", true, 0, 0},     {"1", false, 0, 0},   {"2", true, 1, 0},    {"3", false, 1, 0},
        {"4", true, 0, 1},    {"5", false, 0, 1},   {"6", true, 1, 1},    {"7", false, 1, 1},
        {"1 ", false, 0, 0},  {"1 2", false, 0, 0}, {"01", false, 0, 0},  {"0", false, 0, 0},
        {"8", false, 0, 0},   {"-1", false, 0, 0},  {" 1", false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("argument \"") + c.argument + "\"");
        DialogRun run;
        run.LayOutCabinets({});
        InstallerDialog& dialog = run.Make(c.argument);
        bool installVisibleAtStart = true;
        DWORD start = 0;
        run.Run([&](HWND window) {
            if (!start) {
                start = ::GetTickCount();
                installVisibleAtStart = ::IsWindowVisible(::GetDlgItem(window, IDC_INSTALL)) != FALSE;
            }
            if (::GetTickCount() - start > 400) PressClose(window);
        });
        EXPECT_EQ(!c.unattended, installVisibleAtStart);
        EXPECT_EQ(c.unattended ? 1 : 0, run.steps.browserCalls) << "the run starts by itself only when unattended";
        EXPECT_EQ(c.ask, dialog.AskBeforeClosingBrowser);
        EXPECT_EQ(c.message, dialog.ShowCompletionMessage);
    }
}

TEST(Startup, TitleAndAboutLineCarryTheProgramsFileVersion) {
    DialogRun run;
    run.LayOutCabinets({});
    InstallerDialog& dialog = run.Make("1");
    std::string title;
    HICON dragIcon = nullptr;
    run.Run([&](HWND window) {
        char text[128] = {};
        ::GetWindowTextA(window, text, sizeof(text));
        title = text;
        dragIcon = reinterpret_cast<HICON>(::SendMessageA(window, WM_QUERYDRAGICON, 0, 0));
        PressClose(window);
    });
    EXPECT_EQ("Kelvane V1.0.3.27", title);
    EXPECT_STREQ("Kelvane V1.0.3.27", dialog.WindowTitle);
    EXPECT_STREQ("Kelvane Version 1,0,3,27", AboutVersionText);
    EXPECT_NE(nullptr, dialog.AppIcon);
    EXPECT_EQ(dialog.AppIcon, dragIcon);
}

TEST(Startup, WithoutAReadableVersionTheTitleIsTheNameAlone) {
    DialogRun run;
    WriteFile(run.platform.modulePath, "not a program");
    run.LayOutCabinets({});
    run.Make("");
    std::string title;
    DWORD start = 0;
    run.Run([&](HWND window) {
        if (!start) start = ::GetTickCount();
        char text[128] = {};
        ::GetWindowTextA(window, text, sizeof(text));
        title = text;
        if (::GetTickCount() - start > 300) PressClose(window);
    });
    EXPECT_EQ("Kelvane ", title);
    EXPECT_STREQ("Kelvane ", AboutVersionText);
    EXPECT_EQ(1, run.steps.browserCalls) << "the unattended start still finds the window by its title";
}

TEST(Startup, MissingCabfilesFolderIsReportedAndLeavesOnlyClosing) {
    DialogRun run;  // no "cabfiles" folder
    InstallerDialog& dialog = run.Make("");
    bool installEnabled = true;
    std::string closeText;
    DWORD start = 0;
    HWND dialogWindow = nullptr;
    INT_PTR result = run.Run([&](HWND window) {
        if (!start) start = ::GetTickCount();
        dialogWindow = window;
        installEnabled = ::IsWindowEnabled(::GetDlgItem(window, IDC_INSTALL)) != FALSE;
        closeText = dialog.CloseButton.GetWindowText();
        if (::GetTickCount() - start > 400) PressClose(window);
    });
    ASSERT_EQ(1u, run.platform.messages.size());
    EXPECT_EQ(Text(IDS_NO_CABFILES), run.platform.messages[0].text);
    EXPECT_EQ("Kelvane", run.platform.messages[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK), run.platform.messages[0].type);
    EXPECT_EQ(dialogWindow, run.platform.messages[0].owner);
    EXPECT_EQ(0, dialog.CatalogReady);
    EXPECT_EQ(0, dialog.PresentCount);
    EXPECT_FALSE(installEnabled);
    EXPECT_EQ("Close", closeText);
    EXPECT_EQ(0, run.steps.browserCalls) << "timer 2 never starts a run without the folder";
    EXPECT_EQ(IDCANCEL, result);
}

TEST(Startup, PresentCountCountsFoundCabinetsWhateverTheirSelection) {
    DialogRun run;
    run.LayOutCabinets({0, 40, 73, 97});
    InstallerDialog& dialog = run.Make("1");
    dialog.Catalog.Selected[40] = 0;
    run.Run([&](HWND window) { PressClose(window); });
    EXPECT_EQ(1, dialog.CatalogReady);
    EXPECT_EQ(4, dialog.PresentCount);
}

TEST(Startup, SocketsOrOleFailingShowsItsMessageAndNoDialog) {
    struct FailureCase {
        bool sockets;
        UINT text;
    };
    for (const auto& c : {FailureCase{true, IDS_SOCKETS_INIT_FAILED}, FailureCase{false, IDS_OLE_INIT_FAILED}}) {
        ScratchFolder folder;
        TestPlatform platform;
        platform.modulePath = folder / "Kelvane.exe";
        (c.sockets ? platform.socketsFail : platform.oleFail) = true;
        ScriptedService service;
        RecordingSteps steps;
        InstallerApp app(platform, service, steps, "1");
        EXPECT_EQ(ExitFatalError, app.Run());
        ASSERT_EQ(1u, platform.messages.size());
        EXPECT_EQ(Text(c.text), platform.messages[0].text);
        EXPECT_EQ(nullptr, platform.messages[0].owner);
        EXPECT_EQ(static_cast<UINT>(MB_OK), platform.messages[0].type);
    }
}

}  // namespace
}  // namespace kelvane::test
