// Call-sequence fuzzer: loads the plugin afresh for each sequence and makes long random runs of
// its seven calls with random and extreme arguments, on the window's full handle or a short form
// of it, while the host side writes its frame buffer, draws on its window or a sibling that shares
// its class DC, puts its own DC back into a monochrome stretching mode, resizes, minimises and
// restores the window, and destroys it for a new one. After every call it checks the result where
// the state defines it, that no device context or bitmap is used after release or released twice,
// that an open display holds at most one device context and a closed one none, and after every
// frame drawn that it was drawn through an unmirrored DC of the window in a colour stretching mode
// and that the bitmap holds the frame converted through the palette the calls set. Frame buffers
// end at a no-access page and are freed as soon as the display that read them closes.
//
//   call_fuzz.exe [--checked] [--beside-other-windows] [--seconds S] [--seed N | --replay]
//                 [--sequences K] [--calls C]
// Runs sequences of fresh random seeds for S seconds. With --seed, runs that one sequence (as
// printed when a sequence fails); with --replay, the sequences of REPLAYED_SEEDS, as the test run
// does, so that every run of a tree tests the same calls. With --checked, runs the checked DLL,
// which must give the same results and pictures. With --beside-other-windows, another program
// takes every window handle slot it can meanwhile, as the tests beside this one may.

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../../core/frame.h"
#include "../../host/host_window.h"
#include "test_support.h"

namespace {

struct Failure {
    std::string message;
};

// Each of the first found a fault in an earlier plugin, said beside it; add a seed that finds one.
// The rest widen the run.
const uint32_t REPLAYED_SEEDS[] = {
    2124408531, // a display held a second device context, taken again for a short form of the handle
    3284094661, // the same
    3503126393, // the same
    526615002,  // the same
    2338583371, // VideoInit on an open display held two device contexts
    1871831381, // a class DC that a sibling had taken was released for the sibling
    1613938256, // the same
    3292390938, // the same
    859483518,  // the same
    1319318144, // a frame drawn in a monochrome mode that the host set back between frames
    1,          2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
};

std::string pluginUnderTest = plugin_path();
uint32_t currentSeed = 0;
long currentCall = 0;

LONG WINAPI report_crash(EXCEPTION_POINTERS* exception) {
    std::fprintf(stderr, "call_fuzz: CRASH (exception 0x%08lx) in sequence seed %u at call %ld\n",
                 exception->ExceptionRecord->ExceptionCode, currentSeed, currentCall);
    std::fflush(stderr);
    ExitProcess(3);
}

void check(bool condition, const std::string& what) {
    if (!condition)
        throw Failure{what};
}

const int32_t WIDTHS[] = {0,  -1, 1,   2,   3,   15,  16,  17,   31,     32,      33,     63,
                          64, 65, 160, 255, 256, 257, 300, 1000, 100000, INT_MAX, INT_MIN};
const int32_t HEIGHTS[] = {0, -1, 1, 2, 3, 7, 16, 239, 240, 241, 1000, 65536, INT_MAX, INT_MIN, -240};
const int32_t COMPONENTS[] = {0, 1, 0x7F, 0x80, 0xFF, 0x100, 0x1FF, -1, -256, INT_MAX, INT_MIN};
const int32_t INDEXES[] = {-1, 64, 65, 127, 128, 255, 256, INT_MAX, INT_MIN, -64};

class Sequence {
  public:
    explicit Sequence(uint32_t seed) : random_(seed), window_(std::make_unique<TestWindow>(256, 240)) {}

    void run(long calls) {
        check(plugin_.load(pluginUnderTest), "cannot load " + pluginUnderTest);
        install_spy(plugin_.module);
        for (currentCall = 0; currentCall < calls; ++currentCall)
            step();
        close();
        plugin_.unload();
    }

  private:
    int32_t pick(const int32_t* values, size_t count) { return values[random_() % count]; }
    template <size_t N> int32_t pick(const int32_t (&values)[N]) { return pick(values, N); }
    bool chance(int percent) { return static_cast<int>(random_() % 100) < percent; }

    void step() {
        follow_class_device_context();
        const int roll = static_cast<int>(random_() % 100);
        if (roll < 4)
            init();
        else if (roll < 40)
            set_palette();
        else if (roll < 44)
            fixed_result(plugin_.applyPalette(), 1, "VideoApplyPalette");
        else if (roll < 46)
            fixed_result(plugin_.cfg(), 0, "VideoCfg");
        else if (roll < 48)
            fixed_result(plugin_.fullscreen(), 0, "VideoFullscreen");
        else if (roll < 78)
            blit();
        else if (roll < 81)
            shutdown();
        else if (roll < 89)
            scribble();
        else if (roll < 91)
            host_draws();
        else if (roll < 96)
            resize();
        else if (roll < 99)
            minimise_or_restore();
        else
            replace_window();
        check(spy.staleUses == 0, "a device context or bitmap was used after release or released twice");
        check(spy.liveDCs.size() <= 1, "the display holds more than one device context");
    }

    void init() {
        const int32_t width = chance(70) ? pick(WIDTHS) : static_cast<int32_t>(random_() % 400) - 10;
        const int32_t height = chance(70) ? pick(HEIGHTS) : static_cast<int32_t>(random_() % 300) - 10;
        const bool nullWindow = chance(10);
        const bool nullFrame = chance(10);
        // A buffer with exactly the bytes the host promises; sizes that cannot have a bitmap
        // get a small one, which any read of the promised size would overrun.
        const int32_t columns = width < GDIVIDEO_FRAME_PITCH ? width : GDIVIDEO_FRAME_PITCH;
        const bool promised = frame_size_valid(width, height) && height <= 65536;
        std::unique_ptr<GuardedFrame> frame;
        if (!nullFrame)
            frame = std::make_unique<GuardedFrame>(promised ? width : 1, promised ? height : 1);
        if (frame && promised)
            for (int32_t y = 0; y < height && y < 300; ++y)
                for (int32_t x = 0; x < columns; ++x)
                    frame->at(x, y) = static_cast<uint8_t>(random_());

        // USER32 takes the low word of a window handle alone, or with the upper word 0xFFFF, as
        // the same window.
        const auto full = reinterpret_cast<UINT_PTR>(window_->handle());
        const UINT_PTR forms[] = {full, full, full & 0xFFFF, full | 0xFFFF0000};
        HWND window = nullWindow ? nullptr : reinterpret_cast<HWND>(forms[random_() % 4]);
        const int32_t reserved = static_cast<int32_t>(random_());
        check(plugin_.init(width, height, window, reserved, frame ? frame->data() : nullptr) == 1,
              "VideoInit did not return 1");
        check(spy.liveDCs.size() == 1, "VideoInit does not hold exactly one device context");
        heldDC_ = spy.liveDCs[0];
        shownWindow_ = nullWindow ? nullptr : WindowFromDC(heldDC_);
        shortName_ = shownWindow_ && shownWindow_ != window_->handle();
        check(spy.liveBitmaps.size() <= (frame_size_valid(width, height) ? 1u : 0u),
              "VideoInit holds a bitmap it should not");
        // The old buffer goes only now: the plugin must have let go of it.
        frame_ = std::move(frame);
        open_ = true;
        windowGone_ = false;
        width_ = width;
        height_ = height;
        nullWindow_ = nullWindow;
        std::memset(palette_, 0, sizeof(palette_));
    }

    void set_palette() {
        const int32_t index = chance(85)   ? static_cast<int32_t>(random_() % 64)
                              : chance(50) ? pick(INDEXES)
                                           : static_cast<int32_t>(random_());
        const int32_t red = component(), green = component(), blue = component();
        const uint32_t packed = (static_cast<uint32_t>(red) & 0xFF) << 16 |
                                (static_cast<uint32_t>(green) & 0xFF) << 8 |
                                (static_cast<uint32_t>(blue) & 0xFF);
        const int calls = spy.calls();
        check(static_cast<uint32_t>(plugin_.setPalette(index, red, green, blue)) == packed,
              "VideoSetPalette did not return the packed colour");
        check(spy.calls() == calls, "VideoSetPalette reached the platform");
        if (index >= 0 && index < 64)
            palette_[index] = packed;
    }

    int32_t component() {
        if (chance(70))
            return static_cast<int32_t>(random_() % 256);
        return chance(50) ? pick(COMPONENTS) : static_cast<int32_t>(random_());
    }

    void fixed_result(int32_t result, int32_t expected, const char* name) {
        check(result == expected, std::string(name) + " returned " + std::to_string(result));
    }

    void blit() {
        const int before = spy.stretchDIBits;
        const bool drawable = open_ && !nullWindow_ && !windowGone_ && spy.liveBitmaps.size() == 1;
        const int32_t result = plugin_.blit();
        const bool drew = spy.stretchDIBits > before;
        check(drew == drawable,
              drawable ? "VideoBlit did not draw" : "VideoBlit drew without a usable display");
        check(result == (drew ? spy.lastResult : 0), "VideoBlit did not pass on the result of StretchDIBits");
        // Two living windows never share the low word of their handles.
        check(!drew || LOWORD(spy.lastWindow) == LOWORD(window_->handle()),
              "VideoBlit drew through a device context that is not the window's");
        check(!drew || spy.lastLayout == 0, "VideoBlit drew through a mirrored device context");
        check(!drew || (spy.lastStretchMode != BLACKONWHITE && spy.lastStretchMode != WHITEONBLACK),
              "VideoBlit drew in a monochrome stretching mode");
        if (drew && static_cast<int64_t>(width_) * height_ <= 300000)
            check_converted(static_cast<const uint32_t*>(spy.lastBits));
    }

    void check_converted(const uint32_t* pixels) {
        const int32_t columns = width_ < GDIVIDEO_FRAME_PITCH ? width_ : GDIVIDEO_FRAME_PITCH;
        for (int32_t y = 0; y < height_; ++y)
            for (int32_t x = 0; x < width_; ++x) {
                const uint32_t want = !frame_ || x >= columns ? 0 : palette_[frame_->at(x, y) % 64];
                if (pixels[static_cast<size_t>(y) * width_ + x] != want)
                    throw Failure{"the bitmap does not hold the converted frame at " + std::to_string(x) +
                                  "," + std::to_string(y) + " of " + std::to_string(width_) + "x" +
                                  std::to_string(height_)};
            }
    }

    void shutdown() {
        const int32_t expected = open_ && !windowGone_ ? 1 : 0;
        check(plugin_.shutdown() == expected, "VideoShutdown did not return " + std::to_string(expected));
        check(spy.liveDCs.empty() && spy.liveBitmaps.empty(), "VideoShutdown left something held");
        open_ = false;
        windowGone_ = false;
        frame_.reset(); // any later read of it faults
    }

    void close() {
        follow_class_device_context();
        shutdown();
        const int calls = spy.calls();
        check(plugin_.blit() == 0 && plugin_.shutdown() == 0, "calls after closing did not return 0");
        check(spy.calls() == calls, "calls after closing reached the platform");
    }

    void scribble() {
        if (!frame_ || !open_ || !frame_size_valid(width_, height_) || height_ > 65536)
            return;
        const int32_t columns = width_ < GDIVIDEO_FRAME_PITCH ? width_ : GDIVIDEO_FRAME_PITCH;
        for (int i = 0; i < 64; ++i)
            frame_->at(static_cast<int32_t>(random_() % columns), static_cast<int32_t>(random_() % height_)) =
                static_cast<uint8_t>(random_());
    }

    void resize() {
        static const int sizes[][2] = {{256, 240}, {512, 480}, {1, 1},    {0, 0},
                                       {300, 17},  {160, 100}, {777, 555}};
        const auto& size = sizes[random_() % (sizeof(sizes) / sizeof(sizes[0]))];
        SetWindowPos(window_->handle(), nullptr, 0, 0, size[0], size[1], SWP_NOMOVE | SWP_NOZORDER);
        pump_messages();
    }

    // A host that destroys its window before VideoShutdown: the system takes the window's device
    // context back, and the plugin must neither draw with it nor release it. The new window may be
    // right-to-left, and have a device context of its own or one of its class, which a sibling
    // window shares.
    void replace_window() {
        sibling_.reset();
        window_->destroy();
        const UINT classStyles[] = {0, 0, CS_OWNDC, CS_CLASSDC};
        const UINT classStyle = classStyles[random_() % 4];
        ownDC_ = classStyle != 0;
        window_ = std::make_unique<TestWindow>(256, 240, chance(30) ? WS_EX_LAYOUTRTL : 0, classStyle);
        if (classStyle == CS_CLASSDC) {
            sibling_ = std::make_unique<TestWindow>(64, 64, 0, CS_CLASSDC);
            SetWindowPos(sibling_->handle(), nullptr, 600, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        }
        // A new window may take the old one's low word. A short form of the handle that the system
        // kept as the window's name (Wine keeps the 0xFFFF form) then names the new window, and a
        // DC taken through it still serves that name: the display lives on in the new window.
        if (open_ && !nullWindow_) {
            windowGone_ = !IsWindow(shownWindow_);
            auto& live = spy.liveDCs;
            live.erase(
                std::remove_if(live.begin(), live.end(),
                               [&](HDC dc) { return windowGone_ || WindowFromDC(dc) != shownWindow_; }),
                live.end());
            // A window of another program (a test beside this one) may have taken the low word
            // first, or may take it at any later moment: the display follows its name there, where
            // nothing it draws can be checked, so the host closes it. A full handle is never reused.
            // What it does there with the device context of a window that may go at any moment
            // cannot be checked either: only that it deletes its bitmap, once.
            if ((!windowGone_ || shortName_) && LOWORD(shownWindow_) != LOWORD(window_->handle())) {
                const int staleUses = spy.staleUses, deleted = spy.deleteObject;
                const size_t bitmaps = spy.liveBitmaps.size();
                plugin_.shutdown();
                check(spy.liveBitmaps.empty() && spy.deleteObject - deleted == static_cast<int>(bitmaps),
                      "VideoShutdown did not delete its bitmap once");
                spy.staleUses = staleUses;
                spy.liveDCs.clear();
                open_ = false;
                frame_.reset();
            }
        }
    }

    // The host draws on its window between calls, through GetDC or a WM_PAINT, which mirror a
    // right-to-left window's own DC again, at times setting a monochrome mode on a DC of its own;
    // or the sibling paints and takes the class DC.
    void host_draws() {
        const bool bySibling = sibling_ && chance(50);
        HWND target = bySibling ? sibling_->handle() : window_->handle();
        if (chance(50)) {
            HDC dc = GetDC(target);
            if (ownDC_ && chance(50))
                SetStretchBltMode(dc, chance(50) ? BLACKONWHITE : WHITEONBLACK);
            PatBlt(dc, 0, 0, 16, 16, BLACKNESS);
            ReleaseDC(target, dc);
        } else {
            InvalidateRect(target, nullptr, FALSE);
            UpdateWindow(target);
        }
    }

    // The class DC serves whichever window of the class took it last: the sibling when it paints
    // (at times because the window uncovered it), the window again when it paints. The plugin
    // holds it only while it serves the window, and must not release it otherwise.
    void follow_class_device_context() {
        if (!spy.liveDCs.empty())
            heldDC_ = spy.liveDCs.back();
        if (sibling_ && open_ && !nullWindow_ && !windowGone_)
            spy.liveDCs.assign(LOWORD(WindowFromDC(heldDC_)) == LOWORD(window_->handle()) ? 1 : 0, heldDC_);
    }

    void minimise_or_restore() {
        ShowWindow(window_->handle(), IsIconic(window_->handle()) ? SW_RESTORE : SW_MINIMIZE);
        pump_messages();
    }

    std::mt19937 random_;
    std::unique_ptr<TestWindow> window_, sibling_;
    HDC heldDC_ = nullptr;       // the device context the display took last
    HWND shownWindow_ = nullptr; // the display's window, named as its DC names it
    bool shortName_ = false;     // that name is a short form, which a newer window may take
    bool ownDC_ = false;         // the window's class gives it an own or a class DC
    Plugin plugin_;
    std::unique_ptr<GuardedFrame> frame_;
    bool open_ = false;
    bool nullWindow_ = false;
    bool windowGone_ = false;
    int32_t width_ = 0, height_ = 0;
    uint32_t palette_[64] = {};
};

// 64 bits: a seed is any 32-bit unsigned value, more than a 32-bit long holds.
long long option(int argc, char** argv, const char* name, long long fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::strtoll(argv[i + 1], nullptr, 10);
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(report_crash);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--checked") == 0)
            pluginUnderTest = checked_plugin_path();
    const long seconds = option(argc, argv, "--seconds", 30);
    const long long seed = option(argc, argv, "--seed", -1);
    std::vector<uint32_t> seeds;
    if (seed >= 0)
        seeds = {static_cast<uint32_t>(seed)};
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--replay") == 0)
            seeds.assign(std::begin(REPLAYED_SEEDS), std::end(REPLAYED_SEEDS));
    const long sequences = option(argc, argv, "--sequences", LONG_MAX);
    const long calls = option(argc, argv, "--calls", 2000);
    std::unique_ptr<OtherWindows> others;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--beside-other-windows") == 0)
            others = std::make_unique<OtherWindows>();
    const DWORD start = GetTickCount();

    long done = 0, totalCalls = 0;
    std::random_device entropy;
    for (; done < sequences && (seeds.empty() ? GetTickCount() - start < static_cast<DWORD>(seconds) * 1000
                                              : done < static_cast<long>(seeds.size()));
         ++done) {
        currentSeed = seeds.empty() ? entropy() : seeds[done];
        try {
            Sequence(currentSeed).run(calls);
        } catch (const Failure& failure) {
            std::printf("call_fuzz: FAILED in sequence seed %u at call %ld: %s\n"
                        "reproduce with: call_fuzz.exe%s --seed %u --calls %ld\n",
                        currentSeed, currentCall, failure.message.c_str(),
                        pluginUnderTest == plugin_path() ? "" : " --checked", currentSeed, calls);
            return 1;
        }
        totalCalls += calls;
    }
    std::printf("call_fuzz: %ld sequences, %ld calls, %.1f s, no failure\n", done, totalCalls,
                (GetTickCount() - start) / 1000.0);
    return 0;
}
