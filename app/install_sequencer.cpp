// The Install command and the install sequencer: one component after the
// other, each started from the end notice of the one before.
#include <cstdio>

#include "app/installer_dialog.h"
#include "framework/strings.h"
#include "resources/resource.h"

namespace kelvane {
namespace {

constexpr int kCurrentBarSteps = 10;
constexpr DWORD kStepPauseMs = 50;
constexpr UINT kRunEndTimer = 1;
constexpr UINT kRunEndPeriodMs = 2000;
constexpr UINT kUnattendedStartTimer = 2;
constexpr char kChartCabinet[] = "QzC1Chart.cab";

// "%d/%d is installed." with the two counts.
std::string FormatTotal(int32_t done, int32_t total) {
    char text[256] = {};
    std::snprintf(text, sizeof(text), fw::LoadText(IDS_TOTAL_INSTALLED).c_str(), done, total);
    return text;
}

}  // namespace

void InstallerDialog::PrepareRun() {
    UpdateData();
    CloseButton.SetWindowText(fw::LoadText(IDS_CANCEL));
}

void InstallerDialog::SkipRowsNotToInstall() {
    while (CurrentIndex < CatalogRowCount &&
           !(Catalog.Selected[CurrentIndex] && Catalog.Entries[CurrentIndex].CabPresent)) {
        ++CurrentIndex;
    }
}

void InstallerDialog::StartComponent(bool fromInstall) {
    const ComponentEntry& row = Catalog.Entries[CurrentIndex];
    CurrentBar.SetWindowText(fw::ReplacePercentOne(fw::LoadText(IDS_COMPONENT_INSTALLED), row.CabName));

    if (fromInstall) {
        CurrentBar.SetPos(0);
        CurrentBar.SetRange(0, kCurrentBarSteps);
        CurrentBar.SetStep(1);
        CurrentBar.SetShowText(TRUE);
        std::string total = FormatTotal(0, PresentCount);
        TotalBar.SetShowText(TRUE);
        TotalBar.SetWindowText(total);
        TotalBar.SetPos(0);
        TotalBar.SetRange(0, PresentCount);
        TotalBar.SetStep(1);
    }

    Job.SetUpJob(row.ClsidText, row.CabPath, row.VersionText);
    Job.StartDownload();

    if (row.CabName == kChartCabinet) steps_.RegisterChartServer(*this);

    if (fromInstall) {
        Installing = 1;
        SetTimer(kRunEndTimer, kRunEndPeriodMs);
    }
}

void InstallerDialog::EndWithIncorrectInstallation() {
    MessageBox(fw::LoadText(IDS_INSTALL_INCORRECT), MB_OK);
    EndDialog(IDCANCEL);
}

void InstallerDialog::OnInstall() {
    PrepareRun();
    InstallButton.EnableWindow(false);

    if (!steps_.CloseBrowserWindows(*this)) {
        InstallButton.EnableWindow(true);
        return;
    }
    // Close pressed while browser windows were being closed has ended the
    // dialog already: nothing is cleaned or installed after that.
    if (HasEnded()) return;

    steps_.RunCleanupPass(*this);
    if (CancelRequested == 1) {
        EndWithIncorrectInstallation();
        return;
    }

    CurrentIndex = 0;
    SkipRowsNotToInstall();
    if (CurrentIndex >= CatalogRowCount) return;
    StartComponent(true);
}

LRESULT InstallerDialog::OnJobProgress(WPARAM, LPARAM) {
    CurrentBar.StepIt();
    ::Sleep(kStepPauseMs);
    ++StepsTaken;
    return 0;
}

LRESULT InstallerDialog::OnJobNotice(WPARAM classObject, LPARAM) {
    // A notice that arrives while the dialog is going away changes nothing.
    if (HasEnded()) return 0;

    if (classObject) {
        for (int32_t step = StepsTaken; step < kCurrentBarSteps; ++step) {
            CurrentBar.StepIt();
            ::Sleep(kStepPauseMs);
        }
        CurrentBar.SetPos(0);
        CurrentBar.SetRange(0, kCurrentBarSteps);
        ++InstalledCount;
        StepsTaken = 0;
        TotalBar.SetWindowText(FormatTotal(InstalledCount, PresentCount));
        TotalBar.StepIt();
        ++CurrentIndex;
        if (CancelRequested == 1) EndDialog(IDCANCEL);
        return 0;
    }

    if (CancelRequested == 1) {
        EndWithIncorrectInstallation();
        return 0;
    }
    if (CurrentIndex >= CatalogRowCount) return 0;
    SkipRowsNotToInstall();
    if (CurrentIndex < CatalogRowCount) StartComponent(false);
    return 0;
}

LRESULT InstallerDialog::OnTimer(WPARAM id, LPARAM) {
    if (id == kRunEndTimer) {
        if (CurrentIndex == CatalogRowCount) {
            CurrentBar.SetShowText(FALSE);
            KillTimer(kRunEndTimer);
            FinishRun();
        }
    } else if (id == kUnattendedStartTimer) {
        if (::FindWindowA(nullptr, WindowTitle)) {
            KillTimer(kUnattendedStartTimer);
            if (CatalogReady) OnInstall();
        }
    }
    return Default();
}

}  // namespace kelvane
