// The picture in a real window, read back pixel by pixel. Every frame buffer here ends at a
// no-access page, so a read past the last row's last column crashes the test.

#include <optional>

#include "../../host/dc_state.h"
#include "../../host/host_window.h"
#include "test_support.h"

namespace {

class PictureTest : public PluginTest {
  protected:
    // Opens the display on the window with the frame and sets the test palette.
    void open(const TestWindow& window, const GuardedFrame& frame, int32_t width, int32_t height) {
        ASSERT_EQ(plugin.init(width, height, window.handle(), 0, frame.data()), 1);
        set_test_palette(plugin);
    }

    // A pattern that uses all 256 pixel values; only the low six bits choose the colour.
    static void draw_pattern(GuardedFrame& frame, int32_t width, int32_t height) {
        frame.fill_outside_columns(0xEE);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width && x < GDIVIDEO_FRAME_PITCH; ++x)
                frame.at(x, y) = static_cast<uint8_t>(x + y * 5);
    }

    // The client area shows the frame enlarged `scale` times, pixel for pixel.
    static void expect_picture(const TestWindow& window, GuardedFrame& frame, int32_t width, int32_t height,
                               int scale) {
        int w = 0, h = 0;
        const std::vector<uint32_t> shown = window.read_client(&w, &h);
        ASSERT_EQ(w, width * scale);
        ASSERT_EQ(h, height * scale);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int32_t fx = x / scale, fy = y / scale;
                const uint32_t want = fx < GDIVIDEO_FRAME_PITCH ? test_colour(frame.at(fx, fy) % 64) : 0;
                ASSERT_EQ(shown[y * w + x], want) << "at " << x << "," << y;
            }
    }

    static void expect_uniform(const TestWindow& window, uint32_t colour) {
        for (uint32_t pixel : window.read_client())
            ASSERT_EQ(pixel, colour);
    }
};

TEST_F(PictureTest, FrameShowsPixelForPixelAtOneToOne) {
    for (int32_t width : {256, 160}) {
        SCOPED_TRACE(testing::Message() << "width " << width);
        GuardedFrame frame(width, 240);
        draw_pattern(frame, width, 240);
        TestWindow window(width, 240);
        open(window, frame, width, 240);
        EXPECT_EQ(plugin.blit(), 240);
        expect_picture(window, frame, width, 240, 1);
        plugin.shutdown();
    }
}

TEST_F(PictureTest, IntegerEnlargementsRepeatEachPixel) {
    GuardedFrame frame(256, 240);
    draw_pattern(frame, 256, 240);
    for (int scale : {2, 3}) {
        SCOPED_TRACE(testing::Message() << "scale " << scale);
        TestWindow window(256 * scale, 240 * scale);
        open(window, frame, 256, 240);
        EXPECT_NE(plugin.blit(), 0);
        expect_picture(window, frame, 256, 240, scale);
        plugin.shutdown();
    }
}

// Shrinking picks whole source pixels: single-pixel checks of two colours show as those two
// colours, never as a blend or a combination of their bits. Also when the host puts its own DC
// back into a monochrome mode between frames, by setting it or by restoring a state saved
// before VideoInit.
TEST_F(PictureTest, WindowSmallerThanTheFrameShowsOnlyTheFramesColours) {
    GuardedFrame frame(256, 240);
    for (int32_t y = 0; y < 240; ++y)
        for (int32_t x = 0; x < 256; ++x)
            frame.at(x, y) = static_cast<uint8_t>(1 + (x + y) % 2);
    for (const UINT classStyle : {0u, static_cast<UINT>(CS_OWNDC)})
        for (const auto& client : {std::pair{128, 120}, std::pair{200, 150}, std::pair{255, 239}}) {
            SCOPED_TRACE(testing::Message()
                         << client.first << " x " << client.second << ", class style " << classStyle);
            TestWindow window(client.first, client.second, 0, classStyle);
            HDC dc = GetDC(window.handle());
            int saved = SaveDC(dc);
            plugin.init(256, 240, window.handle(), 0, frame.data());
            plugin.setPalette(1, 0xFF, 0, 0);
            plugin.setPalette(2, 0, 0xFF, 0);
            for (const int hostMode : {0, BLACKONWHITE, WHITEONBLACK, -1}) {
                if (classStyle && hostMode > 0)
                    SetStretchBltMode(dc, hostMode);
                if (classStyle && hostMode < 0) {
                    RestoreDC(dc, saved);
                    saved = SaveDC(dc);
                }
                EXPECT_EQ(plugin.blit(), 240);
                for (uint32_t pixel : window.read_client())
                    ASSERT_TRUE(pixel == 0xFF0000 || pixel == 0x00FF00)
                        << std::hex << pixel << ", host mode " << hostMode;
            }
            plugin.shutdown();
            ReleaseDC(window.handle(), dc);
        }
}

// USER32 takes a window handle's low word alone, or with the upper word 0xFFFF, as the same window,
// while WindowFromDC names it by its full handle. Whatever form the host passes, the display
// holds the one device context it took, for every frame.
TEST_F(PictureTest, EveryFormOfTheWindowHandleDrawsThroughOneDeviceContext) {
    GuardedFrame frame(160, 120);
    draw_pattern(frame, 160, 120);
    for (const UINT classStyle : {0u, static_cast<UINT>(CS_OWNDC)}) {
        TestWindow window(160, 120, 0, classStyle);
        const auto full = reinterpret_cast<UINT_PTR>(window.handle());
        for (const UINT_PTR form : {full, full & 0xFFFF, full | 0xFFFF0000}) {
            SCOPED_TRACE(testing::Message()
                         << "handle " << std::hex << form << ", class style " << classStyle);
            install_spy(plugin.module);
            ASSERT_EQ(plugin.init(160, 120, reinterpret_cast<HWND>(form), 0, frame.data()), 1);
            set_test_palette(plugin);
            for (int frames = 0; frames < 300; ++frames)
                ASSERT_EQ(plugin.blit(), 120) << "frame " << frames;
            expect_picture(window, frame, 160, 120, 1);
            EXPECT_EQ(spy.getDC, 1);
            EXPECT_EQ(plugin.shutdown(), 1);
            EXPECT_EQ(spy.releaseDC, 1);
            EXPECT_TRUE(spy.liveDCs.empty());
            EXPECT_EQ(spy.staleUses, 0);
        }
    }
}

// A host's own DC holds what the host set whenever the host looks: while the display is open,
// after frames and after VideoShutdown, whatever the host set before VideoInit or since. The
// plugin's unmirrored colour drawing lasts only as long as its StretchDIBits.
TEST_F(PictureTest, OwnDeviceContextHoldsWhatTheHostSet) {
    GuardedFrame frame(64, 64);
    for (const DWORD layout : {0ul, static_cast<DWORD>(WS_EX_LAYOUTRTL)})
        for (const int chosen : {HALFTONE, COLORONCOLOR, BLACKONWHITE, WHITEONBLACK})
            for (const int hostSetsAfter : {0, HALFTONE, COLORONCOLOR, -LAYOUT_RTL}) {
                SCOPED_TRACE(testing::Message() << "mode " << chosen << ", layout " << layout
                                                << ", then the host sets " << hostSetsAfter);
                TestWindow window(64, 64, layout, CS_OWNDC);
                HDC dc = GetDC(window.handle());
                SetStretchBltMode(dc, chosen);
                const DWORD hostLayout = GetLayout(dc);
                EXPECT_EQ(hostLayout, layout ? static_cast<DWORD>(LAYOUT_RTL) : 0u);
                ReleaseDC(window.handle(), dc);
                plugin.init(64, 64, window.handle(), 0, frame.data());
                EXPECT_EQ(GetStretchBltMode(dc), chosen);
                EXPECT_EQ(GetLayout(dc), hostLayout);
                if (hostSetsAfter > 0)
                    SetStretchBltMode(dc, hostSetsAfter);
                if (hostSetsAfter < 0)
                    SetLayout(dc, LAYOUT_RTL);
                const DCState host(dc);
                plugin.blit();
                EXPECT_EQ(DCState(dc).changed_from(host), "");
                EXPECT_EQ(plugin.shutdown(), 1);
                EXPECT_EQ(DCState(dc).changed_from(host), "");
            }

    // Two copies of the DLL (under two file names) with displays on one right-to-left own DC, closed
    // in either order: the host's DC keeps its own mode and layout.
    char directory[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    const std::string copy =
        std::string(directory) + "gdivideo_copy_" + std::to_string(GetCurrentProcessId()) + ".dll";
    ASSERT_TRUE(CopyFileA(plugin_path().c_str(), copy.c_str(), FALSE));
    for (const bool firstClosesFirst : {true, false}) {
        SCOPED_TRACE(firstClosesFirst ? "closed in the order opened" : "closed in the other order");
        Plugin second;
        ASSERT_TRUE(second.load(copy));
        TestWindow window(64, 64, WS_EX_LAYOUTRTL, CS_OWNDC);
        HDC dc = GetDC(window.handle());
        ReleaseDC(window.handle(), dc);
        plugin.init(64, 64, window.handle(), 0, frame.data());
        second.init(64, 64, window.handle(), 0, frame.data());
        plugin.blit();
        second.blit();
        (firstClosesFirst ? plugin : second).shutdown();
        (firstClosesFirst ? second : plugin).shutdown();
        EXPECT_EQ(GetStretchBltMode(dc), BLACKONWHITE);
        EXPECT_EQ(GetLayout(dc), static_cast<DWORD>(LAYOUT_RTL));
        second.unload();
    }
    DeleteFileA(copy.c_str());
}

// The host's own use of a right-to-left window's DC between two frames (an overlay drawn through
// GetDC, a WM_PAINT) mirrors an own DC again; every frame still shows unmirrored.
TEST_F(PictureTest, RightToLeftWindowShowsTheFrameUnmirrored) {
    GuardedFrame frame(160, 120);
    draw_pattern(frame, 160, 120);
    for (const UINT classStyle : {0u, static_cast<UINT>(CS_OWNDC)}) {
        SCOPED_TRACE(classStyle ? "own DC" : "common DC");
        TestWindow window(160, 120, WS_EX_LAYOUTRTL, classStyle);
        open(window, frame, 160, 120);
        EXPECT_EQ(plugin.blit(), 120);
        expect_picture(window, frame, 160, 120, 1);

        HDC dc = GetDC(window.handle());
        PatBlt(dc, 0, 0, 160, 120, WHITENESS);
        ReleaseDC(window.handle(), dc);
        EXPECT_EQ(plugin.blit(), 120);
        expect_picture(window, frame, 160, 120, 1);

        InvalidateRect(window.handle(), nullptr, FALSE);
        UpdateWindow(window.handle());
        EXPECT_EQ(plugin.blit(), 120);
        expect_picture(window, frame, 160, 120, 1);
        plugin.shutdown();
    }
}

// A class DC serves whichever window of the class took it last: when a sibling paints, frames
// still go to the display's window and the sibling keeps what it drew. The plugin takes the DC
// again for its window, at a frame or at the close, and never releases it for the sibling.
TEST_F(PictureTest, ClassDeviceContextTakenByASiblingStillDrawsInTheWindow) {
    GuardedFrame frame(160, 120);
    draw_pattern(frame, 160, 120);
    TestWindow window(160, 120, 0, CS_CLASSDC), sibling(64, 64, 0, CS_CLASSDC);
    SetWindowPos(sibling.handle(), nullptr, 400, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const auto sibling_paints = [&] {
        HDC dc = GetDC(sibling.handle());
        PatBlt(dc, 0, 0, 64, 64, WHITENESS);
        ReleaseDC(sibling.handle(), dc);
        spy.liveDCs.clear(); // the sibling's now
    };
    open(window, frame, 160, 120);
    EXPECT_EQ(plugin.blit(), 120);
    for (int frames = 0; frames < 2; ++frames) {
        sibling_paints();
        EXPECT_EQ(plugin.blit(), 120);
        expect_picture(window, frame, 160, 120, 1);
        expect_uniform(sibling, 0xFFFFFF);
    }
    sibling_paints();
    EXPECT_EQ(plugin.shutdown(), 1);
    EXPECT_EQ(spy.getDC, 4);
    EXPECT_EQ(spy.releaseDC, 1);
    EXPECT_TRUE(spy.liveDCs.empty());
    EXPECT_EQ(spy.staleUses, 0);
}

// A host repaints from its window procedure: VideoBlit between BeginPaint and EndPaint brings the
// picture back over whatever covered the window, and, with CS_HREDRAW | CS_VREDRAW on the class
// (also with CS_OWNDC), fills it again when it shrinks or grows while the host is paused.
TEST_F(PictureTest, BlitFromTheWindowsPaintMessageRepaintsIt) {
    GuardedFrame frame(160, 120);
    draw_pattern(frame, 160, 120);
    for (const UINT classStyle : {0u, static_cast<UINT>(CS_OWNDC)}) {
        SCOPED_TRACE(classStyle ? "own DC" : "common DC");
        TestWindow window(320, 240, 0, classStyle | CS_HREDRAW | CS_VREDRAW);
        open(window, frame, 160, 120);
        int painted = 0;
        window.paint_with([&] { painted += plugin.blit() == 120; });
        HDC dc = GetDC(window.handle());
        PatBlt(dc, 0, 0, 320, 240, WHITENESS);
        ReleaseDC(window.handle(), dc);
        InvalidateRect(window.handle(), nullptr, TRUE);
        UpdateWindow(window.handle());
        EXPECT_EQ(painted, 1);
        expect_picture(window, frame, 160, 120, 2);

        window.resize_client(160, 120);
        EXPECT_GE(painted, 2);
        expect_picture(window, frame, 160, 120, 1);
        window.resize_client(480, 360);
        expect_picture(window, frame, 160, 120, 3);
        plugin.shutdown();
    }
}

// A window with its own device context keeps the host's state on it: here a viewport origin,
// which moves the picture.
TEST_F(PictureTest, OwnDeviceContextsViewportOriginMovesThePicture) {
    GuardedFrame frame(64, 64);
    draw_pattern(frame, 64, 64);
    TestWindow window(64, 64, 0, CS_OWNDC);
    HDC dc = GetDC(window.handle());
    SetViewportOrgEx(dc, 16, 32, nullptr);
    ReleaseDC(window.handle(), dc);
    open(window, frame, 64, 64);
    EXPECT_EQ(plugin.blit(), 64);
    const std::vector<uint32_t> shown = window.read_client();
    for (int32_t y = 32; y < 64; ++y)
        for (int32_t x = 16; x < 64; ++x)
            ASSERT_EQ(shown[y * 64 + x], test_colour(frame.at(x - 16, y - 32) % 64))
                << "at " << x << "," << y;
    plugin.shutdown();
}

TEST_F(PictureTest, ResizedWindowIsFilledFromTheNextFrameOn) {
    GuardedFrame frame(256, 240);
    draw_pattern(frame, 256, 240);
    TestWindow window(256, 240);
    open(window, frame, 256, 240);
    plugin.blit();
    expect_picture(window, frame, 256, 240, 1);

    window.resize_client(512, 480);
    plugin.blit();
    expect_picture(window, frame, 256, 240, 2);
    plugin.shutdown();
}

TEST_F(PictureTest, MinimisedWindowGetsNothingButTheFrameIsStillConverted) {
    GuardedFrame frame(256, 240);
    draw_pattern(frame, 256, 240);
    TestWindow window(256, 240);
    open(window, frame, 256, 240);
    window.minimise();
    plugin.blit();
    EXPECT_EQ(spy.lastDestination.right, 0);
    EXPECT_EQ(spy.lastDestination.bottom, 0);
    const auto* pixels = static_cast<const uint32_t*>(spy.lastBits);
    ASSERT_NE(pixels, nullptr);
    for (int32_t y = 0; y < 240; ++y)
        for (int32_t x = 0; x < 256; ++x)
            ASSERT_EQ(pixels[y * 256 + x], test_colour(frame.at(x, y) % 64)) << "at " << x << "," << y;
    plugin.shutdown();
}

TEST_F(PictureTest, ColourChangedBetweenFramesShowsWithoutApplyPalette) {
    GuardedFrame frame(64, 64);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x)
            frame.at(x, y) = static_cast<uint8_t>(7 + 64 * (x % 4));
    TestWindow window(64, 64);
    plugin.init(64, 64, window.handle(), 0, frame.data());
    plugin.setPalette(7, 0x10, 0x20, 0x30);
    plugin.blit();
    expect_uniform(window, 0x00102030);

    plugin.setPalette(7, 0xF0, 0xE0, 0xD0);
    plugin.blit();
    expect_uniform(window, 0x00F0E0D0);
    plugin.shutdown();
}

TEST_F(PictureTest, ColoursNotSetSinceInitShowBlack) {
    GuardedFrame frame(64, 64);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x)
            frame.at(x, y) = static_cast<uint8_t>(x < 32 ? 3 : 3 + 128);
    TestWindow window(64, 64);
    plugin.setPalette(3, 255, 255, 255);
    plugin.init(64, 64, window.handle(), 0x12345678, frame.data());
    plugin.blit();
    expect_uniform(window, 0);

    plugin.setPalette(3, 255, 255, 255);
    plugin.shutdown();
    plugin.init(64, 64, window.handle(), -1, frame.data());
    plugin.blit();
    expect_uniform(window, 0);
    plugin.shutdown();
}

TEST_F(PictureTest, IndexOutsideThePaletteChangesNothing) {
    GuardedFrame frame(64, 64);
    draw_pattern(frame, 64, 64);
    TestWindow window(64, 64);
    open(window, frame, 64, 64);
    for (int32_t index : {-1, 64, 128, 255, 256, -64})
        plugin.setPalette(index, 1, 2, 3);
    plugin.blit();
    expect_picture(window, frame, 64, 64, 1);
    plugin.shutdown();
}

TEST_F(PictureTest, WidthAbove256ShowsTheFirst256ColumnsAndBlackBeyond) {
    GuardedFrame frame(300, 40);
    draw_pattern(frame, 300, 40);
    TestWindow window(300, 40);
    open(window, frame, 300, 40);
    EXPECT_EQ(plugin.blit(), 40);
    expect_picture(window, frame, 300, 40, 1);
    plugin.shutdown();
}

TEST_F(PictureTest, NullFrameBufferShowsTheBlankSection) {
    TestWindow window(64, 64);
    plugin.init(64, 64, window.handle(), 0, nullptr);
    set_test_palette(plugin);
    EXPECT_EQ(plugin.blit(), 64);
    expect_uniform(window, 0);
    plugin.shutdown();
}

// What hosts do to their window around VideoInit, each row against the oracle: a bare
// StretchDIBits of the same frame into the same window in the same state, through a device
// context taken afresh. A button and an edit box lie over the picture. A host's own DC holds what
// the host set, at every frame and after VideoShutdown.
struct Situation {
    const char* name;
    UINT classStyle;
    void (*beforeInit)(HWND window, HDC own);
    void (*afterInit)(HWND window, HDC own);
};

void set_style(HWND window, LONG add, LONG remove) {
    SetWindowLongA(window, GWL_STYLE, (GetWindowLongA(window, GWL_STYLE) | add) & ~remove);
}

void show(HWND window, int how) {
    ShowWindow(window, how);
    pump_messages();
}

const Situation SITUATIONS[] = {
    {"ClipChildrenSetAfterInit", 0, nullptr, [](HWND w, HDC) { set_style(w, WS_CLIPCHILDREN, 0); }},
    {"ClipChildrenClearedAfterInit", 0, [](HWND w, HDC) { set_style(w, WS_CLIPCHILDREN, 0); },
     [](HWND w, HDC) { set_style(w, 0, WS_CLIPCHILDREN); }},
    {"InitWhileMinimisedThenRestored", 0,
     [](HWND w, HDC) {
         set_style(w, WS_CLIPCHILDREN, 0);
         show(w, SW_MINIMIZE);
     },
     [](HWND w, HDC) { show(w, SW_RESTORE); }},
    {"OwnDCHostSetsColourModeAfterInit", CS_OWNDC, nullptr,
     [](HWND, HDC own) { SetStretchBltMode(own, COLORONCOLOR); }},
};

void PrintTo(const Situation& situation, std::ostream* out) { *out << situation.name; }

class HostSituation : public PictureTest, public testing::WithParamInterface<Situation> {};

TEST_P(HostSituation, ShowsWhatABareStretchShowsAndLeavesTheHostsDC) {
    const Situation& situation = GetParam();
    GuardedFrame frame(160, 120);
    draw_pattern(frame, 160, 120);
    std::vector<uint32_t> converted(160 * 120);
    for (int32_t y = 0; y < 120; ++y)
        for (int32_t x = 0; x < 160; ++x)
            converted[y * 160 + x] = test_colour(frame.at(x, y) % 64);
    TestWindow window(320, 240, 0, situation.classStyle);
    add_controls(window.handle());
    HDC own = situation.classStyle ? GetDC(window.handle()) : nullptr;
    if (own)
        ReleaseDC(window.handle(), own);
    if (situation.beforeInit)
        situation.beforeInit(window.handle(), own);
    open(window, frame, 160, 120);
    situation.afterInit(window.handle(), own);
    std::optional<DCState> host;
    if (own)
        host.emplace(own);
    for (int frames = 0; frames < 2; ++frames) {
        SCOPED_TRACE(testing::Message() << "frame " << frames);
        clear_client(window.handle());
        EXPECT_EQ(plugin.blit(), 120);
        const std::vector<uint32_t> shown = window.read_client();
        if (host) {
            EXPECT_EQ(DCState(own).changed_from(*host), "");
        }
        clear_client(window.handle());
        bare_stretch(window.handle(), converted.data(), 160, 120);
        const std::vector<uint32_t> bare = window.read_client();
        ASSERT_EQ(shown.size(), bare.size());
        size_t differ = 0;
        for (size_t i = 0; i < shown.size(); ++i)
            differ += shown[i] != bare[i];
        EXPECT_EQ(differ, 0u) << "pixels unlike a bare StretchDIBits";
    }
    plugin.shutdown();
    if (host) {
        EXPECT_EQ(DCState(own).changed_from(*host), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Hosts, HostSituation, testing::ValuesIn(SITUATIONS),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
