#include "download/download_job.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "framework/strings.h"

namespace kelvane {
namespace {

// A decimal integer with an optional sign and nothing else.
bool ParseInteger(const std::string& text, long long& value) {
    if (text.empty()) return false;
    size_t digits = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (digits == text.size()) return false;
    for (size_t i = digits; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    errno = 0;
    value = std::strtoll(text.c_str(), nullptr, 10);
    return errno == 0;
}

}  // namespace

RequestedVersion ParseVersionText(const std::string& versionText) {
    // A text that is not four comma-separated integers asks for the highest
    // version, as the catalog's "-1,-1,-1,-1" does: a component whose version
    // cannot be read is installed rather than silently taken as present.
    constexpr RequestedVersion highest{0xFFFFFFFFu, 0xFFFFFFFFu};
    std::vector<std::string> parts(1);
    for (char c : versionText) {
        if (c == ',') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    if (parts.size() != 4) return highest;
    DWORD words[4];
    for (size_t i = 0; i < 4; ++i) {
        long long value = 0;
        if (!ParseInteger(parts[i], value)) return highest;
        words[i] = static_cast<DWORD>(value) & 0xFFFFu;
    }
    return {(words[0] << 16) | words[1], (words[2] << 16) | words[3]};
}

DownloadJob::DownloadJob(DownloadService& service) : service_(service) { ResolveUserSettingsKey(*this); }

DownloadJob::~DownloadJob() {
    Unsubclass();
}

std::span<const fw::MessageEntry<DownloadJob>> DownloadJob::MessageMap() {
    static constexpr fw::MessageEntry<DownloadJob> map[] = {
        fw::OnMessage<&DownloadJob::OnDownloadFinished>(WM_DOWNLOAD_FINISHED),
        fw::OnMessage<&DownloadJob::OnClassObjectReady>(WM_CLASS_OBJECT_READY),
        fw::OnMessage<&DownloadJob::OnDownloadProgress>(WM_DOWNLOAD_PROGRESS),
    };
    return map;
}

bool DownloadJob::CreateJobWindow(HWND dialog) {
    window_.reset(::CreateWindowExA(0, "button", "", WS_CHILD, 0, 0, 0, 0, dialog,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)),
                                    ::GetModuleHandleA(nullptr), nullptr));
    return window_ && Subclass(window_.get());
}

void DownloadJob::DestroyJobWindow() {
    Unsubclass();
    window_.reset();
}

void DownloadJob::SetUpJob(const std::string& clsidText, const std::string& cabPath, const std::string& versionText) {
    ClsidText = clsidText;
    CodeLocation = cabPath;
    RequestedVersion version = ParseVersionText(versionText);
    VersionMS = version.MS;
    VersionLS = version.LS;
}

void DownloadJob::PostToSelf(UINT message, WPARAM wParam) const { ::PostMessageA(hwnd_, message, wParam, 0); }

void DownloadJob::StartDownload() {
    ApplyBrowserSettings(*this);

    ::CLSIDFromString(fw::Widen(ClsidText).c_str(), &Clsid);
    Callback = fw::MakeComObject<CDownload>(this);

    service_.CreateBindContext(BindContext.put());
    service_.AddBindFlags(BindContext.get(), BIND_MAYBOTHERUSER);
    BindStatusCallback = Callback.query<IBindStatusCallback>(IID_IBindStatusCallback);
    service_.RegisterCallback(BindContext.get(), BindStatusCallback.get());

    // The service's reference to an object handed over at once is kept until the
    // next attempt starts: by then its notices have been handled, and nothing
    // here calls the object.
    ImmediateClassObject.reset();
    HRESULT hr = E_FAIL;
    if (BindContext) {
        hr = service_.GetClassObjectFromURL(Clsid, fw::Widen(CodeLocation).c_str(), VersionMS, VersionLS, nullptr,
                                            BindContext.get(), CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                            IID_IClassFactory, ImmediateClassObject.put_void());
    }
    if (hr == S_OK) {
        auto classObject = reinterpret_cast<WPARAM>(ImmediateClassObject.get());
        PostToSelf(WM_CLASS_OBJECT_READY, classObject);
        PostToSelf(WM_DOWNLOAD_FINISHED, classObject);
    } else if (hr != MK_S_ASYNCHRONOUS) {
        // Any other answer, a failed bind context included, ends the attempt.
        PostToSelf(WM_DOWNLOAD_FINISHED, 0);
    }

    RaiseConnectionLimit(*this);
}

int32_t DownloadJob::CancelDownload() {
    AbortActiveBinding();
    return 1;
}

LRESULT DownloadJob::OnClassObjectReady(WPARAM wParam, LPARAM) {
    if (Callback) ::SendMessageA(Parent(), WM_DOWNLOAD_FINISHED, wParam, 0);
    return 0;
}

LRESULT DownloadJob::OnDownloadProgress(WPARAM wParam, LPARAM lParam) {
    ::SendMessageA(Parent(), WM_DOWNLOAD_PROGRESS, wParam, lParam);
    return 0;
}

LRESULT DownloadJob::OnDownloadFinished(WPARAM, LPARAM) {
    if (!Callback) return 0;
    LONG reason = Callback->AbortReason;
    ActiveBinding.Binding.reset();
    ActiveBinding.Valid = 0;
    BindStatusCallback.reset();
    BindContext.reset();
    Callback.reset();
    // The dialog may set up and start the next download inside this call.
    ::SendMessageA(Parent(), WM_DOWNLOAD_FINISHED, 0, static_cast<LPARAM>(reason));
    return 0;
}

}  // namespace kelvane
