#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <vector>

#include "download/download_job.h"
#include "tests/support/modal_driver.h"
#include "tests/support/scripted_service.h"

namespace kelvane {
namespace {

using test::Attempt;
using test::Report;
using test::ScriptedService;

constexpr char kClsid[] = "{0B6D2D41-8C3E-4F7A-9E21-5A7C3D9E1F02}";

struct Notice {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// The job's parent: records the notices the job sends it.
class NoticeRecorder {
public:
    NoticeRecorder() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &NoticeRecorder::Procedure;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KelvaneNoticeRecorder";
        ::RegisterClassA(&windowClass);
        window_.reset(::CreateWindowExA(0, "KelvaneNoticeRecorder", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        ::GetModuleHandleA(nullptr), nullptr));
        ::SetWindowLongPtrA(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    HWND Handle() const { return window_.get(); }

    std::vector<Notice> notices;
    std::function<void(const Notice&)> onNotice;

    int EndNotices() const {
        int n = 0;
        for (const auto& x : notices) n += x.message == WM_DOWNLOAD_FINISHED && x.wParam == 0;
        return n;
    }
    // Waits, handling messages, until `count` end notices have come or the time is up.
    void WaitForEnds(int count, DWORD limitMs = 5000) {
        DWORD start = ::GetTickCount();
        while (EndNotices() < count && ::GetTickCount() - start < limitMs) test::PumpMessages(5);
        test::PumpMessages(50);  // anything that would follow
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<NoticeRecorder*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self && (message == WM_DOWNLOAD_FINISHED || message == WM_DOWNLOAD_PROGRESS)) {
            Notice notice{message, wParam, lParam};
            self->notices.push_back(notice);
            if (self->onNotice) self->onNotice(notice);
            return 0;
        }
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    fw::unique_window window_;
};

class DownloadJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::OleInitialize(nullptr);
        ASSERT_TRUE(job_.CreateJobWindow(parent_.Handle()));
        LastStatusWasFinding = 0;
    }
    void TearDown() override {
        job_.DestroyJobWindow();
        ::OleUninitialize();
    }
    void Start() {
        job_.SetUpJob(kClsid, "C:\\cabs\\Drelk.cab", "-1,-1,-1,-1");
        job_.StartDownload();
    }

    ScriptedService service_;
    NoticeRecorder parent_;
    DownloadJob job_{service_};
};

TEST_F(DownloadJobTest, ImmediateSuccessGivesSuccessThenEndNoticeOnce) {
    service_.attempts = {Attempt::Success()};
    Start();
    EXPECT_TRUE(parent_.notices.empty()) << "nothing is sent from inside StartDownload";
    parent_.WaitForEnds(1);
    ASSERT_EQ(2u, parent_.notices.size());
    EXPECT_EQ(WM_DOWNLOAD_FINISHED, parent_.notices[0].message);
    EXPECT_NE(0u, parent_.notices[0].wParam);
    EXPECT_EQ(WM_DOWNLOAD_FINISHED, parent_.notices[1].message);
    EXPECT_EQ(0u, parent_.notices[1].wParam);
    EXPECT_EQ(0, parent_.notices[1].lParam);
    EXPECT_TRUE(job_.IsIdle());
}

TEST_F(DownloadJobTest, ImmediateFailureGivesOnlyTheEndNotice) {
    service_.attempts = {Attempt::Failure(E_NOINTERFACE)};
    Start();
    parent_.WaitForEnds(1);
    ASSERT_EQ(1u, parent_.notices.size());
    EXPECT_EQ(0u, parent_.notices[0].wParam);
}

TEST_F(DownloadJobTest, AsynchronousDownloadReportsProgressSuccessAndEnd) {
    service_.attempts = {Attempt::Installs(3)};
    Start();
    EXPECT_FALSE(job_.IsIdle());
    parent_.WaitForEnds(1);
    ASSERT_EQ(5u, parent_.notices.size());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(WM_DOWNLOAD_PROGRESS, parent_.notices[i].message);
    EXPECT_EQ(static_cast<WPARAM>(BINDSTATUS_FINDINGRESOURCE), parent_.notices[0].wParam);
    EXPECT_NE(0u, parent_.notices[3].wParam);
    EXPECT_EQ(0u, parent_.notices[4].wParam);

    ASSERT_EQ(1u, service_.requests.size());
    const auto& request = service_.requests[0];
    CLSID expected{};
    ::CLSIDFromString(L"{0B6D2D41-8C3E-4F7A-9E21-5A7C3D9E1F02}", &expected);
    EXPECT_TRUE(::IsEqualCLSID(expected, request.clsid));
    EXPECT_EQ(L"C:\\cabs\\Drelk.cab", request.codeLocation);
    EXPECT_EQ(0xFFFFFFFFu, request.versionMS);
    EXPECT_EQ(0xFFFFFFFFu, request.versionLS);
    EXPECT_TRUE(request.mimeTypeNull);
    EXPECT_EQ(static_cast<DWORD>(CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER), request.classContext);
    EXPECT_TRUE(::IsEqualIID(IID_IClassFactory, request.iid));
}

TEST_F(DownloadJobTest, EndNoticeCarriesTheCallbacksAbortReason) {
    service_.attempts = {Attempt::Async({Report::Start(), Report::Progress(BINDSTATUS_FINDINGRESOURCE),
                                         Report::Progress(BINDSTATUS_FINDINGRESOURCE), Report::Object(),
                                         Report::Stop()})};
    Start();
    parent_.WaitForEnds(1);
    ASSERT_FALSE(parent_.notices.empty());
    const Notice& end = parent_.notices.back();
    EXPECT_EQ(0u, end.wParam);
    EXPECT_EQ(AbortRepeatedFinding, end.lParam);
    EXPECT_EQ(1, service_.abortCalls);
    for (const auto& n : parent_.notices) {
        EXPECT_FALSE(n.message == WM_DOWNLOAD_FINISHED && n.wParam != 0) << "no success after the abort";
    }
}

TEST_F(DownloadJobTest, CancelStopsTheRunningDownloadWhichStillEnds) {
    service_.attempts = {Attempt::Installs(6)};
    parent_.onNotice = [&](const Notice& n) {
        if (n.message == WM_DOWNLOAD_PROGRESS) {
            EXPECT_EQ(1, job_.CancelDownload());
        }
    };
    Start();
    parent_.WaitForEnds(1);
    EXPECT_GE(service_.abortCalls, 1);
    EXPECT_GT(service_.reportsSkipped, 0);
    EXPECT_EQ(0u, parent_.notices.back().wParam);
    EXPECT_EQ(1, parent_.EndNotices());
}

TEST_F(DownloadJobTest, MessagesToAnIdleJobAreIgnoredButProgressPassesThrough) {
    EXPECT_EQ(1, job_.CancelDownload());
    ::PostMessageA(job_.Handle(), WM_DOWNLOAD_FINISHED, 0, 0);
    ::PostMessageA(job_.Handle(), WM_CLASS_OBJECT_READY, 0x1234, 0);
    ::PostMessageA(job_.Handle(), WM_DOWNLOAD_PROGRESS, BINDSTATUS_ENDDOWNLOADDATA, 0);
    test::PumpMessages(50);
    ASSERT_EQ(1u, parent_.notices.size());
    EXPECT_EQ(WM_DOWNLOAD_PROGRESS, parent_.notices[0].message);
    EXPECT_EQ(static_cast<WPARAM>(BINDSTATUS_ENDDOWNLOADDATA), parent_.notices[0].wParam);
}

TEST_F(DownloadJobTest, NextDownloadCanStartFromWithinTheEndNotice) {
    service_.attempts = {Attempt::Fails(2), Attempt::Installs(1)};
    parent_.onNotice = [&](const Notice& n) {
        if (n.message == WM_DOWNLOAD_FINISHED && n.wParam == 0 && service_.requests.size() == 1) {
            EXPECT_TRUE(job_.IsIdle());
            Start();
        }
    };
    Start();
    parent_.WaitForEnds(2);
    EXPECT_EQ(2u, service_.requests.size());
    EXPECT_EQ(2, parent_.EndNotices());
    int successes = 0;
    for (const auto& n : parent_.notices) successes += n.message == WM_DOWNLOAD_FINISHED && n.wParam != 0;
    EXPECT_EQ(1, successes);
}

struct VersionCase {
    const char* text;
    DWORD ms;
    DWORD ls;
};

TEST(ParseVersionText, FourIntegersKeepTheirLowSixteenBitsAnythingElseAsksForTheHighest) {
    const VersionCase cases[] = {
        {"-1,-1,-1,-1", 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"1,0,3,27", 0x00010000u, 0x0003001Bu},
        {"0,0,0,0", 0, 0},
        {"65537,2,-2,+4", 0x00010002u, 0xFFFE0004u},
        // Not four comma-separated integers.
        {"", 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"1,2,3", 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"1,2,3,4,5", 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"1,2,,4", 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"a,b,c,d", 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"1.0.3.27", 0xFFFFFFFFu, 0xFFFFFFFFu},
        {" 1,2,3,4", 0xFFFFFFFFu, 0xFFFFFFFFu},
        {"1,2,3,99999999999999999999", 0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RequestedVersion v = ParseVersionText(c.text);
        EXPECT_EQ(c.ms, v.MS);
        EXPECT_EQ(c.ls, v.LS);
    }
}

}  // namespace
}  // namespace kelvane
