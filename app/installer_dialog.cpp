#include "app/installer_dialog.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/about_dialog.h"
#include "framework/strings.h"
#include "resources/resource.h"

namespace kelvane {

char AboutVersionText[128] = {};

namespace {

constexpr char kTitlePrefix[] = "Kelvane ";

// The one-digit argument: a mask of 1 = interactive, 2 = ask before closing
// browser windows, 4 = completion message; no argument is an unattended run.
struct Mode {
    const char* argument;
    bool unattended;
    int32_t askBeforeClosingBrowser;
    int32_t showCompletionMessage;
};
constexpr Mode kModes[] = {
    {"", true, 0, 0},  {"1", false, 0, 0}, {"2", true, 1, 0},  {"4", true, 0, 1},
    {"3", false, 1, 0}, {"5", false, 0, 1}, {"6", true, 1, 1}, {"7", false, 1, 1},
};

}  // namespace

InstallerDialog::InstallerDialog(fw::Platform& platform, DownloadService& service, InstallSteps& steps,
                                 std::string argument)
    : MappedDialog(IDD_KELVANE_DIALOG),
      Job(service),
      platform_(platform),
      steps_(steps),
      argument_(std::move(argument)) {
    Catalog.Selected.fill(1);
    AppIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

InstallerDialog::~InstallerDialog() = default;

std::span<const fw::MessageEntry<InstallerDialog>> InstallerDialog::MessageMap() {
    static constexpr fw::MessageEntry<InstallerDialog> map[] = {
        fw::OnMessage<&InstallerDialog::OnSysCommand>(WM_SYSCOMMAND),
        fw::OnMessage<&InstallerDialog::OnPaint>(WM_PAINT),
        fw::OnMessage<&InstallerDialog::OnQueryDragIcon>(WM_QUERYDRAGICON),
        fw::OnCommand<&InstallerDialog::OnInstall>(IDC_INSTALL),
        fw::OnMessage<&InstallerDialog::OnTimer>(WM_TIMER),
        fw::OnMessage<&InstallerDialog::OnDestroy>(WM_DESTROY),
        fw::OnCommand<&InstallerDialog::RunCleanupPass>(IDC_CLEANUP),
        fw::OnMessage<&InstallerDialog::OnJobNotice>(WM_DOWNLOAD_FINISHED),
        fw::OnMessage<&InstallerDialog::OnJobProgress>(WM_DOWNLOAD_PROGRESS),
    };
    return map;
}

int InstallerDialog::MessageBox(const std::string& text, UINT type) {
    return fw::ShowAppMessage(platform_, hwnd_, text, type);
}

void InstallerDialog::DoDataExchange() {
    BindControl(IDCANCEL, CloseButton);
    BindControl(IDC_INSTALL, InstallButton);
    BindControl(IDC_CURRENT_PROGRESS, CurrentBar);
    BindControl(IDC_TOTAL_PROGRESS, TotalBar);
}

BOOL InstallerDialog::OnInitDialog() {
    MappedDialog::OnInitDialog();

    if (HMENU menu = ::GetSystemMenu(hwnd_, FALSE)) {
        std::string about = fw::LoadText(IDS_ABOUTBOX);
        if (!about.empty()) {
            ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(AppIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(AppIcon));

    CatalogReady = Catalog.BuildCatalog(platform_, hwnd_);
    if (CatalogReady) {
        PresentCount = 0;
        for (const auto& entry : Catalog.Entries) {
            if (entry.CabPresent) ++PresentCount;
        }
    } else {
        CloseButton.SetWindowText(fw::LoadText(IDS_CLOSE));
        InstallButton.EnableWindow(false);
    }

    Job.CreateJobWindow(hwnd_);

    CurrentBar.SetShowText(FALSE);
    TotalBar.SetShowText(FALSE);

    ApplyCommandLine();
    SetTitleFromVersion();
    return TRUE;
}

void InstallerDialog::ApplyCommandLine() {
    for (const Mode& mode : kModes) {
        if (argument_ != mode.argument) continue;
        AskBeforeClosingBrowser = mode.askBeforeClosingBrowser;
        ShowCompletionMessage = mode.showCompletionMessage;
        if (mode.unattended) {
            ::SetWindowPos(InstallButton.Handle(), nullptr, 0, 0, 0, 0,
                           SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            SetTimer(2, 100);
        }
        return;
    }
}

void InstallerDialog::SetTitleFromVersion() {
    std::string path = platform_.ModulePath();
    std::memset(WindowTitle, 0, sizeof(WindowTitle));

    // Without a readable version resource the title and the about line carry
    // the name alone, and the program runs on.
    bool haveVersion = false;
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size > 0) {
        std::vector<char> block(size);
        VS_FIXEDFILEINFO* info = nullptr;
        UINT length = 0;
        if (::GetFileVersionInfoA(path.c_str(), 0, size, block.data()) &&
            ::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) && info &&
            length >= sizeof(VS_FIXEDFILEINFO)) {
            int major = HIWORD(info->dwFileVersionMS), minor = LOWORD(info->dwFileVersionMS);
            int third = HIWORD(info->dwFileVersionLS), fourth = LOWORD(info->dwFileVersionLS);
            std::snprintf(WindowTitle, sizeof(WindowTitle), "%sV%d.%d.%d.%d", kTitlePrefix, major, minor, third,
                          fourth);
            std::snprintf(AboutVersionText, sizeof(AboutVersionText), "%sVersion %d,%d,%d,%d", kTitlePrefix, major,
                          minor, third, fourth);
            haveVersion = true;
        }
    }
    if (!haveVersion) {
        std::snprintf(WindowTitle, sizeof(WindowTitle), "%s", kTitlePrefix);
        std::snprintf(AboutVersionText, sizeof(AboutVersionText), "%s", kTitlePrefix);
    }
    ::SetWindowTextA(hwnd_, WindowTitle);
}

LRESULT InstallerDialog::OnSysCommand(WPARAM command, LPARAM) {
    if ((command & 0xFFF0) == IDM_ABOUTBOX) {
        AboutDialog about(hwnd_);
        about.DoModal();
        return 0;
    }
    return Default();
}

LRESULT InstallerDialog::OnPaint(WPARAM, LPARAM) {
    if (!::IsIconic(hwnd_)) return Default();
    fw::paint_scope paint(hwnd_);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.get()), 0);
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(paint.get(), x, y, AppIcon);
    return 0;
}

LRESULT InstallerDialog::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(AppIcon); }

LRESULT InstallerDialog::OnDestroy(WPARAM, LPARAM) {
    Default();
    Job.DestroyJobWindow();
    return 0;
}

void InstallerDialog::RunCleanupPass() { steps_.RunCleanupPass(*this); }

}  // namespace kelvane
