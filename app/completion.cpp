// How a run ends: all rows done (FinishRun), or the Close/Cancel button.
#include "app/installer_dialog.h"
#include "framework/strings.h"
#include "resources/resource.h"

namespace kelvane {

void InstallerDialog::OnCancel() {
    if (Installing) {
        KillTimer(1);
        // Every row has ended and no attempt runs: no notice will come to end
        // the dialog, and timer 1 is stopped, so it ends now.
        if (CurrentIndex >= CatalogRowCount && Job.IsIdle()) {
            EndDialog(IDCANCEL);
            return;
        }
        Job.CancelDownload();
        CancelRequested = 1;
        return;
    }
    if (CleanupBusy) {
        CancelRequested = 1;
        return;
    }
    EndDialog(IDCANCEL);
}

void InstallerDialog::FinishRun() {
    Installing = 0;
    CurrentIndex = 0;
    StepsTaken = 0;
    InstallButton.EnableWindow(true);
    CloseButton.SetWindowText(fw::LoadText(IDS_CLOSE));
    TotalBar.SetShowText(FALSE);
    TotalBar.SetPos(0);
    if (ShowCompletionMessage == 1) MessageBox(fw::LoadText(IDS_COMPLETED), MB_OK);
    EndDialog(IDOK);
}

}  // namespace kelvane
