// The installer's one window: it owns everything a run needs (catalog, bars,
// buttons, the download job and the run state) and drives the run from its
// message handlers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/install_steps.h"
#include "catalog/component_catalog.h"
#include "download/download_job.h"
#include "framework/dialog.h"
#include "framework/platform.h"
#include "ui/percent_progress_ctrl.h"

namespace kelvane {

// The version line of the about box, made at start-up.
extern char AboutVersionText[128];

class InstallerDialog : public fw::MappedDialog<InstallerDialog> {
public:
    // `argument` is the command-line text after the program name and the blanks after it.
    InstallerDialog(fw::Platform& platform, DownloadService& service, InstallSteps& steps, std::string argument);
    ~InstallerDialog() override;

    static std::span<const fw::MessageEntry<InstallerDialog>> MessageMap();

    ComponentCatalog Catalog;  // the rows, their Selected flags and the chart paths
    fw::Control CloseButton;
    fw::Control InstallButton;
    PercentProgressCtrl CurrentBar;
    PercentProgressCtrl TotalBar;
    HICON AppIcon = nullptr;  // a shared icon of the module: never destroyed
    DownloadJob Job;
    int32_t CancelRequested = 0;
    int32_t CurrentIndex = 0;
    int32_t Installing = 0;
    int32_t CleanupBusy = 0;
    int32_t StepsTaken = 0;
    int32_t PresentCount = 0;
    int32_t InstalledCount = 0;
    int32_t CleanupTotal = 0;
    int32_t CleanedCount = 0;
    int32_t ShowCompletionMessage = 0;
    int32_t AskBeforeClosingBrowser = 0;
    int32_t CatalogReady = 0;
    char WindowTitle[128] = {};
    std::vector<std::string> CleanupFileList;

    fw::Platform& platform() { return platform_; }
    // A message box owned by the dialog, captioned with the application name.
    int MessageBox(const std::string& text, UINT type = MB_OK);

    // The Install command (button 1003; timer 2 calls it too).
    void OnInstall();
    // The end of a run: timer 1 calls it once every row is done.
    void FinishRun();

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange() override;
    void OnCancel() override;
    // Enter would end the dialog in the middle of a run; it does nothing here.
    void OnOK() override {}

private:
    LRESULT OnSysCommand(WPARAM command, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
    LRESULT OnTimer(WPARAM id, LPARAM lParam);
    LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
    void RunCleanupPass();
    void OpenHomePage();
    LRESULT OnJobNotice(WPARAM classObject, LPARAM abortReason);
    LRESULT OnJobProgress(WPARAM statusCode, LPARAM statusText);

    void ApplyCommandLine();
    void SetTitleFromVersion();
    void PrepareRun();
    void SkipRowsNotToInstall();
    void StartComponent(bool fromInstall);
    void EndWithIncorrectInstallation();

    fw::Platform& platform_;
    InstallSteps& steps_;
    std::string argument_;
};

}  // namespace kelvane
