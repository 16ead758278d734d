#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "download/cdownload.h"
#include "download/download_job.h"
#include "framework/com.h"
#include "tests/support/fake_binding.h"

namespace kelvane {
namespace {

// A binding that records its Abort calls together with the number of progress
// messages already posted at that moment.
class RecordingBinding : public test::FakeBinding<RecordingBinding> {
public:
    explicit RecordingBinding(HWND queue) : queue_(queue) {}
    HRESULT STDMETHODCALLTYPE Abort() override {
        // Count the queued progress messages, then put them back in order.
        std::vector<MSG> taken;
        MSG msg;
        while (::PeekMessageA(&msg, queue_, WM_DOWNLOAD_PROGRESS, WM_DOWNLOAD_PROGRESS, PM_REMOVE)) taken.push_back(msg);
        for (const MSG& m : taken) ::PostMessageA(m.hwnd, m.message, m.wParam, m.lParam);
        progressQueuedAtAbort.push_back(static_cast<int>(taken.size()));
        return S_OK;
    }

    std::vector<int> progressQueuedAtAbort;

private:
    HWND queue_;
};

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A job window whose posted messages the test takes from the queue itself.
class CDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent_.reset(::CreateWindowExA(0, "static", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(job_.CreateJobWindow(parent_.get()));
        LastStatusWasFinding = 0;
        callback_ = fw::MakeComObject<CDownload>(&job_);
        binding_ = fw::MakeComObject<RecordingBinding>(job_.Handle());
    }

    std::vector<Posted> TakePosted() {
        std::vector<Posted> result;
        MSG msg;
        while (::PeekMessageA(&msg, job_.Handle(), 0, 0, PM_REMOVE)) result.push_back({msg.message, msg.wParam, msg.lParam});
        return result;
    }

    UrlmonService service_;
    fw::unique_window parent_;
    DownloadJob job_{service_};
    fw::com_ptr<CDownload> callback_;
    fw::com_ptr<RecordingBinding> binding_;
};

TEST_F(CDownloadTest, RepeatedFindingResourceAbortsEachTimeAndEveryReportIsPostedFirst) {
    callback_->OnStartBinding(0, binding_.get());
    EXPECT_EQ(S_OK, callback_->OnProgress(0, 0, BINDSTATUS_FINDINGRESOURCE, L"a"));
    EXPECT_TRUE(binding_->progressQueuedAtAbort.empty());
    EXPECT_EQ(S_OK, callback_->OnProgress(0, 0, BINDSTATUS_FINDINGRESOURCE, L"b"));
    EXPECT_EQ(AbortRepeatedFinding, callback_->AbortReason);
    EXPECT_EQ(S_OK, callback_->OnProgress(0, 0, BINDSTATUS_FINDINGRESOURCE, L"c"));
    // The second and the third report each abort, after their own progress message.
    EXPECT_EQ((std::vector<int>{2, 3}), binding_->progressQueuedAtAbort);
    auto posted = TakePosted();
    ASSERT_EQ(3u, posted.size());
    for (const auto& p : posted) {
        EXPECT_EQ(WM_DOWNLOAD_PROGRESS, p.message);
        EXPECT_EQ(static_cast<WPARAM>(BINDSTATUS_FINDINGRESOURCE), p.wParam);
    }
}

TEST_F(CDownloadTest, AnotherStatusBetweenTwoFindingReportsPreventsTheAbort) {
    callback_->OnStartBinding(0, binding_.get());
    callback_->OnProgress(0, 0, BINDSTATUS_FINDINGRESOURCE, nullptr);
    callback_->OnProgress(0, 0, BINDSTATUS_BEGINDOWNLOADDATA, nullptr);
    callback_->OnProgress(0, 0, BINDSTATUS_FINDINGRESOURCE, nullptr);
    EXPECT_TRUE(binding_->progressQueuedAtAbort.empty());
    EXPECT_EQ(0, callback_->AbortReason);
}

TEST_F(CDownloadTest, FindingFlagCarriesOverToTheNextDownload) {
    callback_->OnStartBinding(0, binding_.get());
    callback_->OnProgress(0, 0, BINDSTATUS_FINDINGRESOURCE, nullptr);
    callback_.reset();

    auto next = fw::MakeComObject<CDownload>(&job_);
    auto nextBinding = fw::MakeComObject<RecordingBinding>(job_.Handle());
    EXPECT_FALSE(ActiveBinding.Binding) << "a new download starts without a recorded binding";
    next->OnStartBinding(0, nextBinding.get());
    next->OnProgress(0, 0, BINDSTATUS_FINDINGRESOURCE, nullptr);
    EXPECT_EQ(AbortRepeatedFinding, next->AbortReason);
    EXPECT_EQ(1u, nextBinding->progressQueuedAtAbort.size());
    EXPECT_TRUE(binding_->progressQueuedAtAbort.empty());
}

struct MimeCase {
    const wchar_t* text;
    bool aborts;
};

TEST_F(CDownloadTest, OnlyAnExactHtmlMimeTypeAborts) {
    const MimeCase cases[] = {
        {L"text/html", true},
        {L"TEXT/HTML", false},
        {L"text/html; charset=utf-8", false},
        {L"text/htm", false},
        {nullptr, false},
        {L"application/x-cab", false},
    };
    for (const auto& c : cases) {
        auto callback = fw::MakeComObject<CDownload>(&job_);
        auto binding = fw::MakeComObject<RecordingBinding>(job_.Handle());
        callback->OnStartBinding(0, binding.get());
        HRESULT hr = callback->OnProgress(0, 0, BINDSTATUS_MIMETYPEAVAILABLE, c.text);
        SCOPED_TRACE(c.text ? std::string(c.text, c.text + wcslen(c.text)) : std::string("(null)"));
        EXPECT_EQ(c.aborts ? E_INVALIDARG : S_OK, hr);
        EXPECT_EQ(c.aborts ? AbortHtmlResource : 0, callback->AbortReason);
        EXPECT_EQ(c.aborts ? 1u : 0u, binding->progressQueuedAtAbort.size());
        auto posted = TakePosted();
        ASSERT_EQ(1u, posted.size());
        EXPECT_EQ(WM_DOWNLOAD_PROGRESS, posted[0].message);
        EXPECT_EQ(reinterpret_cast<LPARAM>(c.text), posted[0].lParam);
    }
}

TEST_F(CDownloadTest, ObjectIsAcceptedOnlyAsAClassFactory) {
    fw::com_ptr<IUnknown> object = callback_.query<IUnknown>(IID_IUnknown);  // any live object will do
    EXPECT_EQ(E_INVALIDARG, callback_->OnObjectAvailable(IID_IClassFactory, nullptr));
    EXPECT_EQ(E_INVALIDARG, callback_->OnObjectAvailable(IID_IDispatch, object.get()));
    EXPECT_TRUE(TakePosted().empty());

    EXPECT_EQ(S_OK, callback_->OnObjectAvailable(IID_IClassFactory, object.get()));
    auto posted = TakePosted();
    ASSERT_EQ(1u, posted.size());
    EXPECT_EQ(WM_CLASS_OBJECT_READY, posted[0].message);
    EXPECT_EQ(reinterpret_cast<WPARAM>(object.get()), posted[0].wParam);
}

TEST_F(CDownloadTest, StopPostsTheEndMessageWhateverTheResult) {
    callback_->OnStopBinding(S_OK, nullptr);
    callback_->OnStopBinding(E_ABORT, L"aborted");
    auto posted = TakePosted();
    ASSERT_EQ(2u, posted.size());
    for (const auto& p : posted) {
        EXPECT_EQ(WM_DOWNLOAD_FINISHED, p.message);
        EXPECT_EQ(0u, p.wParam);
    }
}

TEST_F(CDownloadTest, AbortWithoutAStartedBindingDoesNothing) {
    // Two findings in a row without OnStartBinding: the reason is recorded, nothing is aborted.
    callback_->OnProgress(0, 0, BINDSTATUS_FINDINGRESOURCE, nullptr);
    callback_->OnProgress(0, 0, BINDSTATUS_FINDINGRESOURCE, nullptr);
    EXPECT_EQ(AbortRepeatedFinding, callback_->AbortReason);
    EXPECT_TRUE(binding_->progressQueuedAtAbort.empty());
    EXPECT_EQ(1, job_.CancelDownload());
}

TEST_F(CDownloadTest, AnswersBothInterfacesAsOneObject) {
    fw::com_ptr<IBindStatusCallback> status = callback_.query<IBindStatusCallback>(IID_IBindStatusCallback);
    fw::com_ptr<IWindowForBindingUI> window = status.query<IWindowForBindingUI>(IID_IWindowForBindingUI);
    fw::com_ptr<IUnknown> unknownFromStatus = status.query<IUnknown>(IID_IUnknown);
    fw::com_ptr<IUnknown> unknownFromWindow = window.query<IUnknown>(IID_IUnknown);
    ASSERT_TRUE(status && window);
    EXPECT_EQ(unknownFromStatus.get(), unknownFromWindow.get());
    EXPECT_FALSE(status.query<IDispatch>(IID_IDispatch));

    HWND owner = nullptr;
    EXPECT_EQ(S_OK, window->GetWindow(IID_IHttpSecurity, &owner));
    EXPECT_EQ(job_.Handle(), owner);

    DWORD flags = 0xABCD;
    EXPECT_EQ(S_OK, status->GetBindInfo(&flags, nullptr));
    EXPECT_EQ(0xABCDu, flags);
    LONG priority = 0;
    EXPECT_EQ(E_NOTIMPL, status->GetPriority(&priority));
    EXPECT_EQ(E_NOTIMPL, status->OnLowResource(0));
}

}  // namespace
}  // namespace kelvane
