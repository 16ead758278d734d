// One installation at a time through the code-download service. The job's
// hidden child window is where the asynchronous download meets the dialog:
// the callback and the job post private messages to it, and the job turns
// them into notices sent synchronously to the dialog (its parent window).
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <cstdint>
#include <span>
#include <string>

#include "download/cdownload.h"
#include "download/download_service.h"
#include "framework/raii.h"
#include "framework/window.h"

namespace kelvane {

// The two version words asked of the service for a version text of four
// comma-separated integers ("1,0,3,27" -> 0x00010000, 0x0003001B). Each part
// keeps its low 16 bits, so "-1,-1,-1,-1" asks for the highest version.
struct RequestedVersion {
    DWORD MS;
    DWORD LS;
};
RequestedVersion ParseVersionText(const std::string& versionText);

class DownloadJob : public fw::MappedWindow<DownloadJob> {
public:
    explicit DownloadJob(DownloadService& service);
    ~DownloadJob() override;

    static std::span<const fw::MessageEntry<DownloadJob>> MessageMap();

    // The hidden child window ("button", WS_CHILD only, empty rectangle, id 1).
    bool CreateJobWindow(HWND dialog);
    void DestroyJobWindow();

    void SetUpJob(const std::string& clsidText, const std::string& cabPath, const std::string& versionText);
    void StartDownload();
    // Asks the running download, if any, to stop; always 1.
    int32_t CancelDownload();
    bool IsIdle() const { return !Callback; }

    std::string ClsidText;
    std::string CodeLocation;
    DWORD VersionMS = 0;
    DWORD VersionLS = 0;
    fw::com_ptr<CDownload> Callback;
    CLSID Clsid{};
    fw::com_ptr<IBindCtx> BindContext;
    fw::com_ptr<IBindStatusCallback> BindStatusCallback;
    // The class object of an attempt that the service answered at once.
    fw::com_ptr<IUnknown> ImmediateClassObject;
    std::string SettingsKeyPath;
    HKEY SettingsRoot = nullptr;
    std::string UserSid;

private:
    LRESULT OnDownloadFinished(WPARAM wParam, LPARAM lParam);
    LRESULT OnClassObjectReady(WPARAM wParam, LPARAM lParam);
    LRESULT OnDownloadProgress(WPARAM wParam, LPARAM lParam);
    void PostToSelf(UINT message, WPARAM wParam) const;
    HWND Parent() const { return ::GetParent(hwnd_); }

    DownloadService& service_;
    fw::unique_window window_;
};

// Browser settings around each download. They are filled in by their own
// step; until then they change nothing.
int32_t ResolveUserSettingsKey(DownloadJob& job);
void ApplyBrowserSettings(DownloadJob& job);
void RaiseConnectionLimit(DownloadJob& job);

}  // namespace kelvane
