#include <gtest/gtest.h>

#include <algorithm>

#include "resources/resource.h"
#include "tests/app/dialog_fixture.h"

namespace kelvane::test {
namespace {

std::wstring CabPathOf(DialogRun& run, int row) {
    std::string path = run.folder / ("cabfiles\\" + std::string(CatalogRows()[row].CabName));
    return std::wstring(path.begin(), path.end());
}

// What the dialog shows as each download is asked for.
struct Snapshot {
    std::string current;
    std::string total;
    int32_t installed;
};

TEST(Sequencer, InstallsPresentRowsInCatalogOrderWithBothBarsStepping) {
    DialogRun run;
    run.LayOutCabinets({3, 10, 73, 90});
    InstallerDialog& dialog = run.Make("1");
    run.service.fallback = Attempt::Installs(3);
    std::vector<Snapshot> snapshots;
    std::unique_ptr<PaintRecorder> paints;
    bool clicked = false;
    INT_PTR result = run.Run([&](HWND window) {
        if (!clicked) {
            clicked = true;
            paints = std::make_unique<PaintRecorder>(dialog.CurrentBar);
            Click(window, IDC_INSTALL);
        }
        if (snapshots.size() < run.service.requests.size()) {
            snapshots.push_back({dialog.CurrentBar.GetText(), dialog.TotalBar.GetText(), dialog.InstalledCount});
        }
    });
    EXPECT_EQ(IDOK, result);
    ASSERT_EQ(4u, run.service.requests.size());
    const int rows[] = {3, 10, 73, 90};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(CabPathOf(run, rows[i]), run.service.requests[i].codeLocation);
        SCOPED_TRACE(i);
        ASSERT_LT(i, snapshots.size());
        EXPECT_EQ(std::string(CatalogRows()[rows[i]].CabName) + " is installed.", snapshots[i].current);
        EXPECT_EQ(std::to_string(i) + "/4 is installed.", snapshots[i].total);
    }
    EXPECT_EQ(4, dialog.InstalledCount);
    EXPECT_EQ(1, run.steps.chartCalls);
    EXPECT_EQ(1, run.steps.cleanupCalls);

    // Each component: three progress steps, the success fills up to ten, then the bar is reset.
    std::vector<int> one = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0};
    std::vector<int> expected{0};  // the bar's set-up
    for (int i = 0; i < 4; ++i) expected.insert(expected.end(), one.begin(), one.end());
    ASSERT_TRUE(paints);
    std::vector<int> seen = paints->positions;
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ(expected, seen);
}

TEST(Sequencer, MoreThanTenProgressNoticesGetNoFillerSteps) {
    DialogRun run;
    run.LayOutCabinets({5});
    InstallerDialog& dialog = run.Make("");
    run.service.fallback = Attempt::Installs(12);
    std::unique_ptr<PaintRecorder> paints;
    INT_PTR result = run.Run([&](HWND) {
        if (!paints) paints = std::make_unique<PaintRecorder>(dialog.CurrentBar);
    });
    EXPECT_EQ(IDOK, result);
    ASSERT_TRUE(paints);
    std::vector<int> seen = paints->positions;
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0}), seen);
    EXPECT_EQ("1/1 is installed.", dialog.TotalBar.GetText());
}

TEST(Sequencer, ChartRowRegistersTheChartOnEveryAttempt) {
    DialogRun run;
    run.LayOutCabinets({73});
    InstallerDialog& dialog = run.Make("");
    run.service.attempts = {Attempt::Fails(2), Attempt::Failure(E_FAIL), Attempt::Installs(2)};
    EXPECT_EQ(IDOK, run.Run());
    EXPECT_EQ(3u, run.service.requests.size());
    EXPECT_EQ(3, run.steps.chartCalls);
    EXPECT_EQ(1, dialog.InstalledCount);
}

TEST(Sequencer, FailingRowIsRetriedUntilCancelWhichEndsWithTheIncorrectInstallationMessage) {
    DialogRun run;
    run.LayOutCabinets({20, 30});
    InstallerDialog& dialog = run.Make("");
    run.service.fallback = Attempt::Fails(2);
    bool cancelled = false;
    INT_PTR result = run.Run([&](HWND window) {
        if (!cancelled && run.service.requests.size() >= 4 && run.service.Busy()) {
            cancelled = true;
            PressClose(window);
        }
    });
    EXPECT_EQ(IDCANCEL, result);
    for (const auto& request : run.service.requests) EXPECT_EQ(CabPathOf(run, 20), request.codeLocation);
    EXPECT_EQ(1, dialog.CancelRequested);
    ASSERT_EQ(1u, run.platform.messages.size());
    EXPECT_EQ(Text(IDS_INSTALL_INCORRECT), run.platform.messages[0].text);
    EXPECT_EQ(0, dialog.InstalledCount);
}

TEST(Sequencer, CancelAnsweredByASuccessEndsWithoutAMessage) {
    DialogRun run;
    run.LayOutCabinets({20, 30});
    InstallerDialog& dialog = run.Make("");
    Attempt late = Attempt::Async({Report::Start(), Report::Progress(BINDSTATUS_FINDINGRESOURCE),
                                   Report::Call([&] { PressClose(dialog.Handle()); }),
                                   Report::Progress(BINDSTATUS_INSTALLINGCOMPONENTS), Report::Object(),
                                   Report::Stop()});
    late.ignoresAbort = true;
    run.service.attempts = {late};
    EXPECT_EQ(IDCANCEL, run.Run());
    EXPECT_EQ(1, dialog.InstalledCount);
    EXPECT_EQ(1u, run.service.requests.size()) << "the next row is not started";
    EXPECT_TRUE(run.platform.messages.empty());
}

TEST(Sequencer, CancelAfterTheLastRowEndedButBeforeTimerOneEndsAtOnce) {
    DialogRun run;
    run.LayOutCabinets({7});
    InstallerDialog& dialog = run.Make("");
    run.service.fallback = Attempt::Installs(1);
    bool pressed = false;
    INT_PTR result = run.Run([&](HWND window) {
        if (!pressed && dialog.InstalledCount == 1 && dialog.Job.IsIdle()) {
            pressed = true;
            PressClose(window);
        }
    });
    EXPECT_TRUE(pressed);
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_TRUE(run.platform.messages.empty());
}

TEST(Sequencer, WithNoCabinetPresentInstallPassesOverEveryRowAndWaits) {
    DialogRun run;
    run.LayOutCabinets({});
    InstallerDialog& dialog = run.Make("1");
    DWORD clickedAt = 0;
    bool installEnabled = true;
    std::string closeText;
    INT_PTR result = run.Run([&](HWND window) {
        if (!clickedAt) {
            clickedAt = ::GetTickCount();
            Click(window, IDC_INSTALL);
        }
        if (::GetTickCount() - clickedAt > 2500) {  // past timer 1's period
            installEnabled = ::IsWindowEnabled(::GetDlgItem(window, IDC_INSTALL)) != FALSE;
            closeText = dialog.CloseButton.GetWindowText();
            PressClose(window);
        }
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(1, run.steps.cleanupCalls);
    EXPECT_TRUE(run.service.requests.empty());
    EXPECT_EQ(0, dialog.Installing);
    EXPECT_EQ(98, dialog.CurrentIndex);
    EXPECT_FALSE(installEnabled);
    EXPECT_EQ("Cancel", closeText);
}

TEST(Sequencer, CloseDuringTheBrowserStepEndsTheDialogBeforeTheCleanup) {
    DialogRun run;
    run.LayOutCabinets({3});
    run.Make("");
    run.steps.duringBrowser = [](InstallerDialog& d) { PressClose(d.Handle()); };
    EXPECT_EQ(IDCANCEL, run.Run());
    EXPECT_EQ(0, run.steps.cleanupCalls);
    EXPECT_TRUE(run.service.requests.empty());
}

TEST(Sequencer, CancelDuringTheCleanupEndsWithTheMessageAndInstallsNothing) {
    DialogRun run;
    run.LayOutCabinets({3});
    InstallerDialog& dialog = run.Make("");
    run.steps.duringCleanup = [](InstallerDialog& d) {
        d.CleanupBusy = 1;
        PressClose(d.Handle());
        d.CleanupBusy = 0;
    };
    EXPECT_EQ(IDCANCEL, run.Run());
    EXPECT_EQ(1, dialog.CancelRequested);
    EXPECT_TRUE(run.service.requests.empty());
    ASSERT_EQ(1u, run.platform.messages.size());
    EXPECT_EQ(Text(IDS_INSTALL_INCORRECT), run.platform.messages[0].text);
}

TEST(Sequencer, RefusedBrowserCloseStopsBeforeTheCleanupAndEnablesInstall) {
    DialogRun run;
    run.LayOutCabinets({3});
    InstallerDialog& dialog = run.Make("");
    run.steps.refuseBrowser = true;
    bool installEnabled = false, installVisible = true;
    std::string closeText;
    INT_PTR result = run.Run([&](HWND window) {
        if (run.steps.browserCalls == 1) {
            installEnabled = ::IsWindowEnabled(::GetDlgItem(window, IDC_INSTALL)) != FALSE;
            installVisible = ::IsWindowVisible(::GetDlgItem(window, IDC_INSTALL)) != FALSE;
            closeText = dialog.CloseButton.GetWindowText();
            PressClose(window);
        }
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(0, run.steps.cleanupCalls);
    EXPECT_TRUE(installEnabled);
    EXPECT_FALSE(installVisible);
    EXPECT_EQ("Cancel", closeText);
}

struct FinishCase {
    const char* argument;
    bool message;
};

TEST(Sequencer, FinishRunResetsTheControlsShowsTheOptionalMessageAndEndsWithOk) {
    for (const auto& c : {FinishCase{"5", true}, FinishCase{"7", true}, FinishCase{"", false}, FinishCase{"6", true}}) {
        SCOPED_TRACE(c.argument);
        DialogRun run;
        run.LayOutCabinets({1});
        InstallerDialog& dialog = run.Make(c.argument);
        // Not ending on a resource search: that would carry over into the next case's download.
        run.service.fallback = Attempt::Installs(2);
        std::string closeText;
        bool totalText = true, installEnabled = false;
        auto look = [&] {
            closeText = dialog.CloseButton.GetWindowText();
            totalText = dialog.TotalBar.GetShowText();
            installEnabled = dialog.InstallButton.IsWindowEnabled();
        };
        run.platform.onMessage = [&](const TestPlatform::Message&) { look(); };
        bool clicked = false;
        INT_PTR result = run.Run([&](HWND window) {
            if (!clicked && c.argument[0] && (c.argument[0] - '0') & 1) Click(window, IDC_INSTALL);
            clicked = true;
            if (!c.message && dialog.Installing && dialog.CurrentIndex == 98) look();
        });
        EXPECT_EQ(IDOK, result);
        if (c.message) {
            ASSERT_EQ(1u, run.platform.messages.size());
            EXPECT_EQ(Text(IDS_COMPLETED), run.platform.messages[0].text);
            EXPECT_EQ(static_cast<UINT>(MB_OK), run.platform.messages[0].type);
            EXPECT_EQ("Close", closeText);
            EXPECT_FALSE(totalText);
            EXPECT_TRUE(installEnabled);
        } else {
            EXPECT_TRUE(run.platform.messages.empty());
        }
        EXPECT_EQ(0, dialog.Installing);
        EXPECT_EQ(0, dialog.CurrentIndex);
    }
}

}  // namespace
}  // namespace kelvane::test
