// The checked DLL: for each mistake a host can make, the same mistake made on the release DLL and
// on the checked one, each loaded afresh. The checked one gives the release one's result and says
// what was wrong in one line that names the call, once however often the mistake repeats.

#include <algorithm>
#include <functional>
#include <memory>
#include <thread>

#include "test_support.h"

namespace {

std::vector<std::string> said;

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the text when no debugger is attached.
LONG CALLBACK catch_debug_output(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    if (record.ExceptionCode != DBG_PRINTEXCEPTION_C)
        return EXCEPTION_CONTINUE_SEARCH;
    said.emplace_back(reinterpret_cast<const char*>(record.ExceptionInformation[1]));
    return EXCEPTION_CONTINUE_EXECUTION;
}

struct Scene {
    TestWindow window{256, 240};
    GuardedFrame frame{256, 240};
    int32_t open(Plugin& plugin) { return plugin.init(256, 240, window.handle(), 0, frame.data()); }
};

// A window made by a thread of its own, which outlives the scene.
struct WindowOnAnotherThread {
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND window = nullptr;
    std::thread thread{[this] {
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
        WaitForSingleObject(done, INFINITE);
        DestroyWindow(window);
    }};
    ~WindowOnAnotherThread() {
        SetEvent(done);
        thread.join();
    }
};

// Protects the frame buffer from row 200 on, as a host that frees it under an open display.
int32_t blit_with_rows_gone(Plugin& plugin, Scene& scene) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const auto start =
        reinterpret_cast<UINT_PTR>(&scene.frame.at(0, 200)) & ~(UINT_PTR{system.dwPageSize} - 1);
    const auto end = reinterpret_cast<UINT_PTR>(&scene.frame.at(255, 239)) + 1;
    DWORD previous;
    VirtualProtect(reinterpret_cast<void*>(start), end - start, PAGE_NOACCESS, &previous);
    const int32_t result = plugin.blit();
    VirtualProtect(reinterpret_cast<void*>(start), end - start, PAGE_READWRITE, &previous);
    return result;
}

// The sum of results of calls made in the order written, as a braced list is evaluated.
int32_t in_order(std::initializer_list<int32_t> results) {
    int32_t sum = 0;
    for (int32_t result : results)
        sum += result;
    return sum;
}

struct Mistake {
    const char* what;
    std::function<int32_t(Plugin&, Scene&)> make; // gives the result of the call that made it
    const char* line;                             // what the checked DLL's line says, from its start
    int32_t faultFree = -1;     // where the release DLL faults: the checked one's result, and no run of it
    const char* also = nullptr; // what another line says (for a mistake that repeats, the count)
    size_t lines = 0;           // all that is said, where the row says it all
};

const Mistake MISTAKES[] = {
    {"blit with no display", [](Plugin& p, Scene&) { return p.blit(); }, "VideoBlit: no display is open"},
    {"shutdown with no display", [](Plugin& p, Scene&) { return p.shutdown(); },
     "VideoShutdown: no display is open"},
    {"init on an open display",
     [](Plugin& p, Scene& s) {
         return in_order({s.open(p), s.open(p)});
     },
     "VideoInit: a display is already open"},
    {"unloaded with a display open",
     [](Plugin& p, Scene& s) {
         const int32_t result = s.open(p);
         p.unload();
         return result;
     },
     "FreeLibrary: the module is unloaded with a display still open"},
    {"zero width", [](Plugin& p, Scene& s) { return p.init(0, 240, s.window.handle(), 0, s.frame.data()); },
     "VideoInit: the frame size 0 x 240 has a width or height of zero or less"},
    {"width above 256",
     [](Plugin& p, Scene& s) {
         return in_order({p.init(300, 240, s.window.handle(), 0, s.frame.data()), p.blit()});
     },
     "VideoInit: the width 300 is above 256"},
    {"frame too large",
     [](Plugin& p, Scene& s) {
         return in_order({p.init(65536, 65536, s.window.handle(), 0, s.frame.data()), p.blit()});
     },
     "VideoInit: a 65536 x 65536 frame is too large for the bitmap"},
    {"null window",
     [](Plugin& p, Scene& s) {
         return in_order({p.init(256, 240, nullptr, 0, s.frame.data()), p.blit()});
     },
     "VideoInit: the window is null"},
    {"handle of no window",
     [](Plugin& p, Scene& s) {
         HWND gone = TestWindow(64, 64).handle();
         return in_order({p.init(256, 240, gone, 0, s.frame.data()), p.blit()});
     },
     "VideoInit: 0x"},
    {"window of another thread",
     [](Plugin& p, Scene& s) {
         WindowOnAnotherThread other;
         while (!other.window)
             Sleep(1);
         return in_order({p.init(256, 240, other.window, 0, s.frame.data()), p.blit(), p.shutdown()});
     },
     "VideoInit: window 0x"},
    {"null frame buffer",
     [](Plugin& p, Scene& s) {
         return in_order({p.init(256, 240, s.window.handle(), 0, nullptr), p.blit()});
     },
     "VideoInit: the frame buffer is null"},
    {"frame buffer shorter than the frame",
     [](Plugin& p, Scene& s) {
         GuardedBuffer rows(100 * 256);
         return in_order({p.init(256, 240, s.window.handle(), 0, rows.data()), p.blit(), p.shutdown()});
     },
     "VideoInit: the frame buffer at 0x", 1 + 240 + 1},
    {"palette index 64", [](Plugin& p, Scene&) { return p.setPalette(64, 1, 2, 3); },
     "VideoSetPalette: index 64 is outside 0 to 63"},
    {"component above 255", [](Plugin& p, Scene&) { return p.setPalette(1, 300, 0, 0); },
     "VideoSetPalette: colour 1 has a component outside 0 to 255"},
    {"blit from another thread, five times",
     [](Plugin& p, Scene& s) {
         int32_t result = s.open(p);
         for (int i = 0; i < 5; ++i)
             std::thread([&] { result += p.blit(); }).join();
         return in_order({result, p.shutdown()});
     },
     "VideoBlit: called from thread", -1, "; more than once: a call from another thread (5 times)"},
    {"window destroyed before shutdown",
     [](Plugin& p, Scene& s) {
         const int32_t result = s.open(p);
         s.window.destroy();
         return in_order({result, p.blit(), p.blit(), p.shutdown()});
     },
     "VideoBlit: window 0x"},
    {"GetDC failing",
     [](Plugin& p, Scene& s) {
         spy.failGetDC = true;
         const int32_t result = s.open(p);
         return in_order({result, p.blit()});
     },
     "VideoInit: GetDC for window 0x"},
    {"CreateDIBSection failing",
     [](Plugin& p, Scene& s) {
         return (spy.failCreateDIBSection = true, in_order({s.open(p), p.blit()}));
     },
     "VideoInit: CreateDIBSection for a 256 x 240 bitmap failed (Windows error 8: "},
    {"StretchDIBits failing",
     [](Plugin& p, Scene& s) {
         return in_order({s.open(p), (spy.failStretchDIBits = true, 0), p.blit()});
     },
     "VideoBlit: StretchDIBits into window 0x"},
    {"no mistake: only what was opened and released",
     [](Plugin& p, Scene& s) {
         s.open(p);
         set_test_palette(p);
         return in_order({p.blit(), p.blit(), p.blit()});
     },
     "VideoShutdown: display closed after 3 frames: bitmap deleted, device context released (ReleaseDC "
     "returned 1)",
     -1, "(client area 256 x 240) through a common device context", 2},
    {"frame buffer unreadable at a frame",
     [](Plugin& p, Scene& s) {
         return in_order({s.open(p), blit_with_rows_gone(p, s), p.shutdown()});
     },
     "VideoBlit: the frame buffer at 0x", 1 + 240 + 1},
};

int32_t run(const Mistake& mistake, const std::string& path) {
    Plugin plugin;
    EXPECT_TRUE(plugin.load(path)) << path;
    install_spy(plugin.module);
    Scene scene;
    const int32_t result = mistake.make(plugin, scene);
    if (plugin.module)
        plugin.shutdown();
    plugin.unload();
    return result;
}

size_t lines_starting(const std::string& text) {
    size_t count = 0;
    for (const std::string& line : said)
        count += line.rfind("gdivideo: " + text, 0) == 0;
    return count;
}

TEST(CheckedBuild, SaysEachMistakeOnceAndGivesTheReleaseResult) {
    PVOID handler = AddVectoredExceptionHandler(1, catch_debug_output);
    for (const Mistake& mistake : MISTAKES) {
        SCOPED_TRACE(mistake.what);
        const int32_t release = mistake.faultFree >= 0 ? mistake.faultFree : run(mistake, plugin_path());
        said.clear();
        EXPECT_EQ(run(mistake, checked_plugin_path()), release);
        EXPECT_EQ(lines_starting(mistake.line), 1u) << testing::PrintToString(said);
        if (mistake.also) {
            EXPECT_TRUE(std::any_of(said.begin(), said.end(),
                                    [&](const std::string& line) { return line.find(mistake.also) != std::string::npos; }))
                << testing::PrintToString(said);
        }
        if (mistake.lines) {
            EXPECT_EQ(said.size(), mistake.lines) << testing::PrintToString(said);
        }
    }
    RemoveVectoredExceptionHandler(handler);
}

} // namespace
