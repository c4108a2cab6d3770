// Call-sequence fuzzer: loads the plugin afresh for each sequence and makes long random runs of
// its seven calls with random and extreme arguments, on the window's full handle or a short form
// of it, while the host side writes its frame buffer, draws on its window or a sibling that shares
// its class DC, and does to its window what hosts do between frames: resizes it (to 0 x 0 too),
// minimises, maximises, hides and restores it, turns WS_CLIPCHILDREN and WS_CLIPSIBLINGS on and
// off, creates, moves and destroys child controls over the picture, moves it into a frame window
// and back, gives it a window region, and destroys it for a new one; on a DC of its own or of its
// class, it changes the mapping mode, the viewport origin, the stretching mode and the layout, and
// saves and restores the DC.
//
// After every call it checks the result where the state defines it, that no device context or
// bitmap is used after release or released twice, that an open display holds at most one device
// context and a closed one none, and that a frame after which nothing of the window changed takes
// and releases none. After every frame drawn: that it was drawn through an unmirrored DC of the
// window in a colour stretching mode, that the bitmap holds the frame converted through the
// palette the calls set, that the host's own DC holds what the host set, and that the window
// (children included) shows what a bare StretchDIBits of the same frame into the same window in
// the same state shows. Frame buffers end at a no-access page and are freed as soon as the display
// that read them closes.
//
//   call_fuzz.exe [--checked] [--beside-other-windows] [--seconds S | --frames F] [--seed N | --replay]
//                 [--sequences K] [--calls C]
// Runs sequences of fresh random seeds for S seconds, or until F frames have been compared with the
// bare StretchDIBits, saying the count after every 10 sequences. With --seed, runs that one sequence (as
// printed when a sequence fails, with the events that led to the failure); with --replay, the sequences of
// REPLAYED_SEEDS, as the test run does, so that every run of a tree tests the same calls. With --checked,
// runs the checked DLL, which must give the same results and pictures. With --beside-other-windows, another
// program takes every window handle slot it can meanwhile, as the tests beside this one may.

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "../../core/frame.h"
#include "../../host/dc_state.h"
#include "../../host/host_window.h"
#include "test_support.h"

namespace {

struct Failure {
    std::string message;
};

// Each of the first found a fault in an earlier plugin, said beside it, with the events of the
// fuzzer of its time: since the host's window events came, the same seeds make other sequences,
// kept as the fixed ones the test run replays. Add a seed that finds a fault; the rest widen the
// run.
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
long framesCompared = 0, windowEvents = 0;
std::deque<std::string> lastEvents; // what the host did last, said when a check fails

void note(const std::string& event) {
    lastEvents.push_back("call " + std::to_string(currentCall) + ": " + event);
    if (lastEvents.size() > 40)
        lastEvents.pop_front();
}

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
        else if (roll < 36)
            set_palette();
        else if (roll < 39)
            fixed_result(plugin_.applyPalette(), 1, "VideoApplyPalette");
        else if (roll < 41)
            fixed_result(plugin_.cfg(), 0, "VideoCfg");
        else if (roll < 43)
            fixed_result(plugin_.fullscreen(), 0, "VideoFullscreen");
        else if (roll < 71)
            blit();
        else if (roll < 74)
            shutdown();
        else if (roll < 80)
            scribble();
        else if (roll < 82)
            host_draws();
        else if (roll < 85)
            resize();
        else if (roll < 95)
            window_event();
        else if (roll < 99)
            host_changes_own_dc();
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
        note("VideoInit(" + std::to_string(width) + ", " + std::to_string(height) + ", " +
             (nullWindow                    ? "no window"
              : window == window_->handle() ? "the window"
                                            : "a short form of it") +
             (frame ? "" : ", no frame buffer") + ")");
        windowChanged_ = true;
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
        const int before = spy.stretchDIBits, taken = spy.getDC, given = spy.releaseDC;
        const bool drawable = open_ && !nullWindow_ && !windowGone_ && spy.liveBitmaps.size() == 1;
        // Wine draws nothing through a DC taken for the 0xFFFF form of a handle once the DC's
        // visible region is made again (the window resized or restored, its DC's layout set, the
        // DC taken afresh): a host's own GetDC and StretchDIBits the same. Windows has no such form.
        const bool comparable = drawable && !shortName_ && frame_size_valid(width_, height_) &&
                                static_cast<int64_t>(width_) * height_ <= 300000 && can_show();
        if (comparable) {
            clear_client(window_->handle());
            follow_class_device_context(); // the window's repaint took the class DC back
        }
        HDC own = own_dc();
        std::optional<DCState> host;
        if (own)
            host.emplace(own);
        const int32_t result = plugin_.blit();
        const bool drew = spy.stretchDIBits > before;
        check(drew == drawable,
              drawable ? "VideoBlit did not draw" : "VideoBlit drew without a usable display");
        check(result == (drew ? spy.lastResult : 0), "VideoBlit did not pass on the result of StretchDIBits");
        check(windowChanged_ || (spy.getDC == taken && spy.releaseDC == given),
              "VideoBlit took or released a device context though nothing of the window changed");
        windowChanged_ = false;
        if (!drew)
            return;
        // Two living windows never share the low word of their handles.
        check(LOWORD(spy.lastWindow) == LOWORD(window_->handle()),
              "VideoBlit drew through a device context that is not the window's");
        check(spy.lastLayout == 0, "VideoBlit drew through a mirrored device context");
        check(spy.lastStretchMode != BLACKONWHITE && spy.lastStretchMode != WHITEONBLACK,
              "VideoBlit drew in a monochrome stretching mode");
        // A DC taken afresh is the system's doing: GetDC mirrors a right-to-left window's own DC.
        if (host && spy.getDC == taken) {
            const std::string changed = DCState(own).changed_from(*host);
            check(changed.empty(), "after VideoBlit the host's own device context has " + changed);
        }
        if (static_cast<int64_t>(width_) * height_ <= 300000)
            check_converted(static_cast<const uint32_t*>(spy.lastBits));
        if (comparable)
            compare_with_bare_stretch();
    }

    // The window can show what is drawn: visible, not minimised, with a client area.
    bool can_show() {
        HWND window = window_->handle();
        RECT client = {};
        GetClientRect(window, &client);
        return IsWindowVisible(window) && !IsIconic(window) && client.right > 0 && client.bottom > 0 &&
               client.right * client.bottom <= 2000000;
    }

    // The DC that the host's window keeps for itself (an own DC, or the class DC while it serves
    // the window), whose state the host set and expects to find; null for a common DC.
    HDC own_dc() {
        if (!ownDC_ || !open_ || nullWindow_ || windowGone_ || !heldDC_)
            return nullptr;
        return LOWORD(WindowFromDC(heldDC_)) == LOWORD(window_->handle()) ? heldDC_ : nullptr;
    }

    void compare_with_bare_stretch() {
        HWND window = window_->handle();
        int shownWidth = 0, shownHeight = 0;
        const std::vector<uint32_t> shown = read_client_pixels(window, shownWidth, shownHeight);
        const int32_t columns = width_ < GDIVIDEO_FRAME_PITCH ? width_ : GDIVIDEO_FRAME_PITCH;
        std::vector<uint32_t> converted(static_cast<size_t>(width_) * height_);
        for (int32_t y = 0; y < height_; ++y)
            for (int32_t x = 0; x < columns && frame_; ++x)
                converted[static_cast<size_t>(y) * width_ + x] = palette_[frame_->at(x, y) % 64];
        clear_client(window);
        bare_stretch(window, converted.data(), width_, height_);
        int w = 0, h = 0;
        const std::vector<uint32_t> bare = read_client_pixels(window, w, h);
        check(w == shownWidth && h == shownHeight, "the window changed size while it was read back");
        size_t differ = 0, first = 0;
        for (size_t i = shown.size(); i-- > 0;)
            if (shown[i] != bare[i]) {
                ++differ;
                first = i;
            }
        if (differ)
            throw Failure{
                std::to_string(differ) + " of " + std::to_string(shown.size()) +
                " pixels of the window unlike a bare StretchDIBits of the same frame, the first at " +
                std::to_string(first % w) + "," + std::to_string(first / w) + " (" + hex(shown[first]) +
                ", not " + hex(bare[first]) + "); " + std::to_string(width_) + " x " +
                std::to_string(height_) + " frame, " + std::to_string(w) + " x " + std::to_string(h) +
                " client area"};
        ++framesCompared;
    }

    static std::string hex(uint32_t colour) {
        char text[12];
        std::snprintf(text, sizeof(text), "0x%06X", colour);
        return text;
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
        note("the window resized to " + std::to_string(size[0]) + " x " + std::to_string(size[1]));
        windowChanged_ = true;
        SetWindowPos(window_->handle(), nullptr, 0, 0, size[0], size[1], SWP_NOMOVE | SWP_NOZORDER);
        pump_messages();
    }

    void set_style(LONG add, LONG remove) {
        HWND window = window_->handle();
        SetWindowLongA(window, GWL_STYLE, (GetWindowLongA(window, GWL_STYLE) | add) & ~remove);
    }

    // What hosts do to their window between frames.
    void window_event() {
        windowChanged_ = true;
        ++windowEvents;
        HWND window = window_->handle();
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        switch (random_() % 12) {
        case 0:
            note(style & WS_CLIPCHILDREN ? "WS_CLIPCHILDREN cleared" : "WS_CLIPCHILDREN set");
            set_style(style & WS_CLIPCHILDREN ? 0 : WS_CLIPCHILDREN, style & WS_CLIPCHILDREN);
            break;
        case 1:
            note(style & WS_CLIPSIBLINGS ? "WS_CLIPSIBLINGS cleared" : "WS_CLIPSIBLINGS set");
            set_style(style & WS_CLIPSIBLINGS ? 0 : WS_CLIPSIBLINGS, style & WS_CLIPSIBLINGS);
            break;
        case 2:
        case 3: {
            static const struct {
                int how;
                const char* name;
            } shows[] = {{SW_MINIMIZE, "minimised"},   {SW_RESTORE, "restored"}, {SW_HIDE, "hidden"},
                         {SW_SHOWNOACTIVATE, "shown"}, {SW_RESTORE, "restored"}, {SW_MAXIMIZE, "maximised"}};
            const auto& show = shows[random_() % (chance(90) ? 5 : 6)];
            note(std::string("the window ") + show.name);
            ShowWindow(window, show.how);
            break;
        }
        case 4:
        case 5:
            add_control();
            break;
        case 6:
            move_or_destroy_control();
            break;
        case 7:
            reparent();
            break;
        case 8: {
            const int shape = static_cast<int>(random_() % 3);
            note(shape == 0   ? "the window region removed"
                 : shape == 1 ? "a rectangle as the window region"
                              : "an ellipse as the window region");
            HRGN region = shape == 0   ? nullptr
                          : shape == 1 ? CreateRectRgn(16, 8, 200, 150)
                                       : CreateEllipticRgn(0, 0, 240, 200);
            SetWindowRgn(window, region, TRUE);
            break;
        }
        case 9:
            resize();
            break;
        default:
            host_draws();
            break;
        }
        pump_messages();
    }

    // A button, an edit box or a label over the picture, or, once the host has a frame window, a
    // sibling of the window there, below it. Wine does not make a window's DC's visible region
    // again when a sibling comes over the window: not for a DC held, nor for one given back and
    // taken again, which keeps its old region, as a host's own GetDC at every frame would too.
    void add_control() {
        static const char* const classes[] = {"BUTTON", "EDIT", "STATIC"};
        const char* kind = classes[random_() % 3];
        const bool sibling = container_ && chance(40);
        const int x = static_cast<int>(random_() % 240), y = static_cast<int>(random_() % 200);
        note(std::string("a ") + kind + " added at " + std::to_string(x) + "," + std::to_string(y) +
             (sibling ? " in the frame" : " over the picture"));
        HWND control = CreateWindowExA(
            0, kind, "control", WS_CHILD | WS_VISIBLE | WS_BORDER, x, y,
            40 + static_cast<int>(random_() % 80), 16 + static_cast<int>(random_() % 40),
            sibling ? container_->handle() : window_->handle(), nullptr, GetModuleHandleA(nullptr), nullptr);
        if (control && sibling)
            SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        if (sibling && framed_)
            random_(); // the draw that once placed the window, so that the seeds replay the same calls
    }

    void move_or_destroy_control() {
        std::vector<HWND> controls;
        for (HWND child = GetWindow(window_->handle(), GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT))
            controls.push_back(child);
        if (controls.empty()) {
            add_control();
            return;
        }
        HWND control = controls[random_() % controls.size()];
        if (chance(50)) {
            note("a control destroyed");
            DestroyWindow(control);
        } else {
            const int x = static_cast<int>(random_() % 300) - 20, y = static_cast<int>(random_() % 260) - 20;
            note("a control moved to " + std::to_string(x) + "," + std::to_string(y));
            SetWindowPos(control, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        }
    }

    // Into a frame window of the host's, as a child beside its own controls, and back out.
    void reparent() {
        HWND window = window_->handle();
        if (framed_) {
            note("the window taken out of the frame");
            SetParent(window, nullptr);
            SetWindowPos(window, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE);
        } else {
            if (!container_) {
                container_ = std::make_unique<TestWindow>(640, 560);
                SetWindowPos(container_->handle(), nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            }
            note("the window moved into the frame");
            SetParent(window, container_->handle());
            SetWindowPos(window, HWND_TOP, 24, 24, 0, 0, SWP_NOSIZE); // above the siblings: see add_control
        }
        framed_ = !framed_;
    }

    // On a DC of its own or of its class, the host sets what it draws with, directly or through
    // GetDC (which mirrors a right-to-left window's own DC again), and saves and restores it.
    void host_changes_own_dc() {
        if (!ownDC_) {
            window_event();
            return;
        }
        windowChanged_ = true;
        HWND window = window_->handle();
        HDC dc = GetDC(window);
        switch (random_() % 6) {
        case 0: {
            const bool anisotropic = chance(50);
            note(anisotropic ? "the host's DC in MM_ANISOTROPIC" : "the host's DC in MM_TEXT");
            SetMapMode(dc, anisotropic ? MM_ANISOTROPIC : MM_TEXT);
            if (anisotropic) {
                SetWindowExtEx(dc, 100, 100, nullptr);
                SetViewportExtEx(dc, 50 + static_cast<int>(random_() % 150),
                                 50 + static_cast<int>(random_() % 150), nullptr);
            }
            break;
        }
        case 1: {
            const int x = static_cast<int>(random_() % 60) - 20, y = static_cast<int>(random_() % 60) - 20;
            note("the host's DC's viewport origin at " + std::to_string(x) + "," + std::to_string(y));
            SetViewportOrgEx(dc, x, y, nullptr);
            break;
        }
        case 2: {
            const int mode = 1 + static_cast<int>(random_() % 4);
            note("the host's DC in " + mode_name(mode));
            SetStretchBltMode(dc, mode);
            break;
        }
        case 3: {
            const DWORD layout = chance(50) ? LAYOUT_RTL : 0;
            note(layout ? "the host's DC mirrored" : "the host's DC's layout cleared");
            SetLayout(dc, layout);
            break;
        }
        case 4:
            note("the host's DC saved");
            SaveDC(dc);
            break;
        default:
            note("the host's DC restored");
            RestoreDC(dc, -1);
            break;
        }
        ReleaseDC(window, dc);
    }

    // A host that destroys its window before VideoShutdown: the system takes the window's device
    // context back, and the plugin must neither draw with it nor release it. The new window may be
    // right-to-left, and have a device context of its own or one of its class, which a sibling
    // window shares.
    void replace_window() {
        note("the window destroyed for a new one");
        windowChanged_ = true;
        framed_ = false;
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
        windowChanged_ = true;
        const bool bySibling = sibling_ && chance(50);
        note(bySibling ? "the sibling drew" : "the host drew on its window");
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

    std::mt19937 random_;
    std::unique_ptr<TestWindow> window_, sibling_, container_;
    bool framed_ = false;        // the window is a child of container_, the host's frame window
    bool windowChanged_ = true;  // something of the window changed since the last VideoBlit
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
    const long frames = option(argc, argv, "--frames", 0);
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
    const auto more = [&](long done) {
        if (!seeds.empty())
            return done < static_cast<long>(seeds.size());
        if (frames > 0)
            return framesCompared < frames;
        return GetTickCount() - start < static_cast<DWORD>(seconds) * 1000;
    };

    long done = 0, totalCalls = 0;
    std::random_device entropy;
    for (; done < sequences && more(done); ++done) {
        currentSeed = seeds.empty() ? entropy() : seeds[done];
        lastEvents.clear();
        try {
            Sequence(currentSeed).run(calls);
        } catch (const Failure& failure) {
            std::printf("call_fuzz: FAILED in sequence seed %u at call %ld: %s\n", currentSeed, currentCall,
                        failure.message.c_str());
            std::printf("what the host did last:\n");
            for (const std::string& event : lastEvents)
                std::printf("  %s\n", event.c_str());
            std::printf("reproduce with: call_fuzz.exe%s --seed %u --calls %ld\n",
                        pluginUnderTest == plugin_path() ? "" : " --checked", currentSeed, calls);
            return 1;
        }
        totalCalls += calls;
        if (frames > 0 && (done + 1) % 10 == 0)
            std::printf("call_fuzz: %ld sequences so far, %ld frames compared, %.0f s\n", done + 1,
                        framesCompared, (GetTickCount() - start) / 1000.0);
        std::fflush(stdout);
    }
    std::printf("call_fuzz: %ld sequences, %ld calls, %ld window events, %ld frames compared with a bare "
                "StretchDIBits, %.1f s, no failure\n",
                done, totalCalls, windowEvents, framesCompared, (GetTickCount() - start) / 1000.0);
    return 0;
}
