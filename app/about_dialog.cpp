#include "app/about_dialog.h"

#include "app/installer_dialog.h"
#include "resources/resource.h"

namespace kelvane {

AboutDialog::AboutDialog(HWND parent) : MappedDialog(IDD_ABOUTBOX, parent) {}

BOOL AboutDialog::OnInitDialog() {
    MappedDialog::OnInitDialog();
    ::SetDlgItemTextA(hwnd_, IDC_ABOUT_VERSION, AboutVersionText);
    return TRUE;
}

}  // namespace kelvane
