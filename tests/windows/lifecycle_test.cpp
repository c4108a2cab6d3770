// The entry points' results in every state, and what they acquire and release.

#include <climits>
#include <memory>
#include <thread>

#include "test_support.h"

namespace {

class LifecycleTest : public PluginTest {
  protected:
    void expect_fixed_results() {
        const int before = spy.calls();
        EXPECT_EQ(plugin.applyPalette(), 1);
        EXPECT_EQ(plugin.cfg(), 0);
        EXPECT_EQ(plugin.fullscreen(), 0);
        EXPECT_EQ(spy.calls(), before) << "a call that has nothing to do reached the platform";
    }
    void expect_everything_released() {
        EXPECT_TRUE(spy.liveDCs.empty());
        EXPECT_TRUE(spy.liveBitmaps.empty());
        EXPECT_EQ(spy.staleUses, 0);
    }

    GuardedFrame frame{256, 240};
};

TEST_F(LifecycleTest, FixedResultsInEveryState) {
    expect_fixed_results();
    TestWindow window(256, 240);
    ASSERT_EQ(plugin.init(256, 240, window.handle(), 0, frame.data()), 1);
    expect_fixed_results();
    plugin.shutdown();
    expect_fixed_results();
}

TEST_F(LifecycleTest, BlitAndShutdownWithoutAnOpenDisplayReturnZeroAndTouchNothing) {
    EXPECT_EQ(plugin.blit(), 0);
    EXPECT_EQ(plugin.shutdown(), 0);
    EXPECT_EQ(spy.calls(), 0);

    TestWindow window(256, 240);
    plugin.init(256, 240, window.handle(), 0, frame.data());
    EXPECT_EQ(plugin.shutdown(), 1);
    const int afterClose = spy.calls();
    EXPECT_EQ(plugin.blit(), 0);
    EXPECT_EQ(plugin.shutdown(), 0);
    EXPECT_EQ(plugin.blit(), 0);
    EXPECT_EQ(spy.calls(), afterClose) << "a call after the display closed reached the platform";
    expect_everything_released();
}

TEST_F(LifecycleTest, OpeningAcquiresOnceFramesAcquireNothingClosingReleasesAll) {
    TestWindow window(256, 240);
    ASSERT_EQ(plugin.init(256, 240, window.handle(), 0, frame.data()), 1);
    EXPECT_EQ(spy.getDC, 1);
    EXPECT_EQ(spy.gdiFlush, 1);
    EXPECT_EQ(spy.createDIBSection, 1);
    EXPECT_EQ(spy.liveDCs.size(), 1u);
    EXPECT_EQ(spy.liveBitmaps.size(), 1u);

    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(plugin.blit(), spy.lastResult);
    EXPECT_EQ(spy.lastResult, 240) << "StretchDIBits draws the frame's 240 lines";
    EXPECT_EQ(spy.getClientRect, 3);
    EXPECT_EQ(spy.stretchDIBits, 3);
    EXPECT_EQ(spy.getDC + spy.createDIBSection, 2) << "a frame acquired something";

    EXPECT_EQ(plugin.shutdown(), 1);
    EXPECT_EQ(spy.releaseDC, 1);
    EXPECT_EQ(spy.deleteObject, 1);
    expect_everything_released();
}

TEST_F(LifecycleTest, InitWhileOpenReleasesTheOpenSurfaceFirst) {
    TestWindow first(256, 240), second(160, 100);
    GuardedFrame small(160, 100);
    plugin.init(256, 240, first.handle(), 0, frame.data());
    ASSERT_EQ(plugin.init(160, 100, second.handle(), 0, small.data()), 1);
    EXPECT_EQ(spy.releaseDC, 1);
    EXPECT_EQ(spy.deleteObject, 1);
    EXPECT_EQ(spy.liveDCs.size(), 1u);
    EXPECT_EQ(spy.liveBitmaps.size(), 1u);
    EXPECT_EQ(plugin.blit(), 100);

    EXPECT_EQ(plugin.shutdown(), 1);
    expect_everything_released();
}

// The system takes a destroyed window's device context back and may give the same handle to the
// next window that asks: the plugin must not release it from under that window. The next window
// may also take the low word of the destroyed one's handle, which a display opened on that short
// form must not take for its own window.
TEST_F(LifecycleTest, WindowDestroyedFirstLeavesItsDeviceContextToTheSystem) {
    auto first = std::make_unique<TestWindow>(256, 240);
    plugin.init(256, 240, first->handle(), 0, frame.data());
    EXPECT_EQ(plugin.blit(), 240);
    first->destroy();
    EXPECT_EQ(plugin.blit(), 0);

    TestWindow second(64, 64);
    HDC dc = GetDC(second.handle());
    EXPECT_EQ(plugin.shutdown(), 0);
    EXPECT_EQ(spy.releaseDC, 0);
    EXPECT_EQ(spy.deleteObject, 1);
    EXPECT_TRUE(spy.liveBitmaps.empty());
    EXPECT_EQ(WindowFromDC(dc), second.handle());
    HBRUSH brush = CreateSolidBrush(RGB(0x12, 0x34, 0x56));
    const RECT all = {0, 0, 64, 64};
    EXPECT_TRUE(FillRect(dc, &all, brush));
    DeleteObject(brush);
    for (uint32_t pixel : second.read_client())
        ASSERT_EQ(pixel, 0x123456u);
    EXPECT_EQ(ReleaseDC(second.handle(), dc), 1);

    // The same when a new VideoInit closes the display of a window that has gone.
    first = std::make_unique<TestWindow>(256, 240);
    plugin.init(256, 240, first->handle(), 0, frame.data());
    first->destroy();
    plugin.init(64, 64, second.handle(), 0, frame.data());
    EXPECT_EQ(spy.releaseDC, 0);
    EXPECT_EQ(plugin.blit(), 64);
    EXPECT_EQ(plugin.shutdown(), 1);
    EXPECT_EQ(spy.releaseDC, 1);
    EXPECT_TRUE(spy.liveBitmaps.empty());

    // Every test program's windows come from one table, so another program may take the freed slot
    // first: the premise is arranged again until the new window has the low word.
    for (const bool besideOthers : {false, true}) {
        SCOPED_TRACE(besideOthers ? "beside another program's windows" : "alone");
        std::unique_ptr<OtherWindows> others(besideOthers ? new OtherWindows : nullptr);
        bool arranged = false;
        for (int attempt = 0; attempt < 50 && !arranged; ++attempt) {
            install_spy(plugin.module);
            first = std::make_unique<TestWindow>(256, 240);
            const auto lowWord = reinterpret_cast<UINT_PTR>(first->handle()) & 0xFFFF;
            plugin.init(256, 240, reinterpret_cast<HWND>(lowWord), 0, frame.data());
            first->destroy();
            TestWindow third(64, 64);
            arranged = (reinterpret_cast<UINT_PTR>(third.handle()) & 0xFFFF) == lowWord;
            if (!arranged) {
                plugin.shutdown();
                continue;
            }
            EXPECT_EQ(plugin.blit(), 0);
            EXPECT_EQ(plugin.shutdown(), 0);
            EXPECT_EQ(spy.getDC + spy.releaseDC + spy.stretchDIBits, 1) << "the newer window's DC was used";
        }
        EXPECT_TRUE(arranged) << "in 50 tries, other programs always took the destroyed window's low word";
    }
}

// A common device context may go back to the system with the thread that took it (Windows takes
// it; under Wine it outlives the thread). While the window lives, a display opened on a thread
// that has ended draws and closes through the window's DC, taken again if it was lost; a window
// that went with its thread leaves nothing to draw on or to release.
TEST_F(LifecycleTest, DisplayOpenedOnAThreadThatHasEndedClosesThroughTheWindowWhileItLives) {
    for (const bool windowOnThread : {false, true}) {
        SCOPED_TRACE(windowOnThread ? "window made on the ended thread"
                                    : "display opened on an ended thread");
        install_spy(plugin.module);
        TestWindow living(256, 240);
        HWND shown = windowOnThread ? nullptr : living.handle();
        std::thread([&] {
            if (windowOnThread)
                shown = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 40, 40, 256, 240, nullptr,
                                        nullptr, nullptr, nullptr);
            plugin.init(256, 240, shown, 0, frame.data());
            EXPECT_EQ(plugin.blit(), 240);
        }).join();
        EXPECT_EQ(IsWindow(shown) != 0, !windowOnThread);
        if (WindowFromDC(spy.liveDCs.at(0)) != shown)
            spy.liveDCs.clear(); // the system took it back
        EXPECT_EQ(plugin.blit(), windowOnThread ? 0 : 240);
        EXPECT_EQ(plugin.shutdown(), windowOnThread ? 0 : 1);
        EXPECT_EQ(spy.releaseDC, windowOnThread ? 0 : 1);
        expect_everything_released();
    }
}

TEST_F(LifecycleTest, NoDeviceContextOrNoSectionStillReportsOneButDrawsNothing) {
    TestWindow window(256, 240);
    spy.failGetDC = true;
    EXPECT_EQ(plugin.init(256, 240, window.handle(), 0, frame.data()), 1);
    EXPECT_EQ(plugin.blit(), 0);
    EXPECT_EQ(spy.stretchDIBits, 0);
    EXPECT_EQ(plugin.shutdown(), 0) << "no device context was held";
    expect_everything_released();

    spy.failGetDC = false;
    spy.failCreateDIBSection = true;
    EXPECT_EQ(plugin.init(256, 240, window.handle(), 0, frame.data()), 1);
    EXPECT_EQ(plugin.blit(), 0);
    EXPECT_EQ(spy.stretchDIBits, 0);
    EXPECT_EQ(plugin.shutdown(), 1);
    expect_everything_released();
}

TEST_F(LifecycleTest, UnusableFrameSizesDrawNothingAndLeakNothing) {
    TestWindow window(256, 240);
    // 16384 x 32767 fits the count, but not a 32-bit process's memory: the system refuses it.
    const int32_t sizes[][2] = {{0, 240},       {256, 0},           {-256, 240},
                                {256, -240},    {INT_MIN, INT_MIN}, {INT_MAX, 1},
                                {65536, 65536}, {INT_MAX, INT_MAX}, {sizeof(void*) == 4 ? 16384 : 0, 32767}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1]);
        EXPECT_EQ(plugin.init(size[0], size[1], window.handle(), 0, frame.data()), 1);
        EXPECT_EQ(plugin.blit(), 0);
        EXPECT_EQ(plugin.shutdown(), 1);
        expect_everything_released();
    }
    EXPECT_EQ(spy.stretchDIBits, 0);
}

TEST_F(LifecycleTest, NullWindowNeverDrawsOnTheScreen) {
    EXPECT_EQ(plugin.init(256, 240, nullptr, 0, frame.data()), 1);
    EXPECT_EQ(plugin.blit(), 0);
    EXPECT_EQ(spy.stretchDIBits, 0);
    EXPECT_EQ(plugin.shutdown(), 1) << "the screen's device context was released";
    expect_everything_released();
}

TEST_F(LifecycleTest, SetPaletteReturnsThePackedColourInEveryStateAndForAnyIndex) {
    EXPECT_EQ(plugin.setPalette(5, 0x12, 0x34, 0x56), 0x00123456);
    EXPECT_EQ(plugin.setPalette(0, 0x1FF, 0x100, 0x80), 0x00FF0080);
    EXPECT_EQ(plugin.setPalette(63, 255, 255, 255), 0x00FFFFFF);
    for (int32_t index : {-1, 64, 255, 256, INT_MIN, INT_MAX})
        EXPECT_EQ(plugin.setPalette(index, -1, 0, 0x7F), 0x00FF007F) << "index " << index;

    TestWindow window(256, 240);
    plugin.init(256, 240, window.handle(), 0, frame.data());
    EXPECT_EQ(plugin.setPalette(1, 1, 2, 3), 0x00010203);
    plugin.shutdown();
    EXPECT_EQ(plugin.setPalette(2, 4, 5, 6), 0x00040506);
    EXPECT_EQ(spy.calls(), 5) << "only opening and closing reach the platform";
}

} // namespace
