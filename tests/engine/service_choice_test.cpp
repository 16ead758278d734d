// The one decision between the system's code-download service and ours.
#include <gtest/gtest.h>

#include "framework/raii.h"

#include "download/engine/code_download_engine.h"
#include "download/service_choice.h"
#include "tests/support/test_platform.h"

namespace kelvane {
namespace {

TEST(ServiceChoiceTest, TheStubGetsTheEngineAndARealServiceIsUsed) {
    EXPECT_EQ(ChooseService(true), ServiceKind::BuiltInEngine);
    EXPECT_EQ(ChooseService(false), ServiceKind::Urlmon);

    test::TestPlatform platform;
    auto engine = MakeDownloadService(ServiceKind::BuiltInEngine, platform);
    EXPECT_NE(dynamic_cast<CodeDownloadEngine*>(engine.get()), nullptr);
    auto urlmon = MakeDownloadService(ServiceKind::Urlmon, platform);
    EXPECT_EQ(dynamic_cast<CodeDownloadEngine*>(urlmon.get()), nullptr);
    EXPECT_NE(dynamic_cast<UrlmonService*>(urlmon.get()), nullptr);
}

// These tests run under Wine, whose code download is the stub the detection
// is about: the fact and what urlmon does agree.
TEST(ServiceChoiceTest, DetectsTheStubOfThisSystem) {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    EXPECT_TRUE(DetectCodeDownloadStub());
    UrlmonService urlmon;
    fw::com_ptr<IBindCtx> context;
    ASSERT_EQ(urlmon.CreateBindContext(context.put()), S_OK);
    CLSID any = {0x6a1e3d1c, 0x2b0f, 0x4c11, {0x9e, 0x0b, 0x5d, 0x2c, 0x7a, 0x9f, 0x3e, 0x09}};
    fw::com_ptr<IUnknown> object;
    EXPECT_EQ(urlmon.GetClassObjectFromURL(any, L"C:\\absent.cab", ~0u, ~0u, nullptr, context.get(), CLSCTX_INPROC_SERVER,
                                           IID_IClassFactory, object.put_void()),
              E_NOINTERFACE);
    object.reset();  // before OLE goes
    context.reset();

    test::TestPlatform platform;
    auto chosen = MakeDownloadService(platform);
    EXPECT_NE(dynamic_cast<CodeDownloadEngine*>(chosen.get()), nullptr);
    chosen.reset();
    ::OleUninitialize();
}

}  // namespace
}  // namespace kelvane
