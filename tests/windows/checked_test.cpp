// The checked DLL: for each mistake a host can make, the same mistake made on the release DLL and
// on the checked one, each loaded afresh. The checked one gives the release one's result and says
// what was wrong in one line that names the call, once however often the mistake repeats.

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "../../checked/messages.h"
#include "test_support.h"

namespace {

std::vector<std::string> said; // each line whole, its parts joined
size_t longestPart = 0;        // what the debugger shows of a line, at most about 290 characters

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the text when no debugger is attached.
LONG CALLBACK catch_debug_output(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    if (record.ExceptionCode != DBG_PRINTEXCEPTION_C)
        return EXCEPTION_CONTINUE_SEARCH;
    const std::string part = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
    longestPart = std::max(longestPart, part.size());
    const size_t continued = part.find(": (continued) ");
    if (continued != std::string::npos && !said.empty())
        said.back() += " " + part.substr(continued + 14);
    else
        said.push_back(part);
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

// Runs this program again, as a debugger of it, to open a display with the plugin at `path` and
// end the process with it open; what the plugin says goes to `said`. Gives the exit status.
int32_t exit_with_a_display_open(const std::string& path) {
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string command = std::string("\"") + program + "\"";
    SetEnvironmentVariableA("GDIVIDEO_TEST_EXIT_WITH_A_DISPLAY_OPEN", path.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                        nullptr, &startup, &process))
        return -1;
    DWORD status = static_cast<DWORD>(-1);
    for (DEBUG_EVENT event; status == static_cast<DWORD>(-1) && WaitForDebugEvent(&event, 60000);) {
        const DWORD code = event.dwDebugEventCode;
        if (code == OUTPUT_DEBUG_STRING_EVENT) {
            std::string text(event.u.DebugString.nDebugStringLength, '\0');
            ReadProcessMemory(process.hProcess, event.u.DebugString.lpDebugStringData, &text[0], text.size(),
                              nullptr);
            said.emplace_back(text.c_str());
        }
        CloseHandle(code == CREATE_PROCESS_DEBUG_EVENT ? event.u.CreateProcessInfo.hFile
                    : code == LOAD_DLL_DEBUG_EVENT     ? event.u.LoadDll.hFile
                                                       : nullptr);
        if (code == EXIT_PROCESS_DEBUG_EVENT)
            status = event.u.ExitProcess.dwExitCode;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId,
                           code == EXCEPTION_DEBUG_EVENT ? DBG_EXCEPTION_NOT_HANDLED : DBG_CONTINUE);
    }
    SetEnvironmentVariableA("GDIVIDEO_TEST_EXIT_WITH_A_DISPLAY_OPEN", nullptr);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int32_t>(status);
}

// The sum of results of calls made in the order written, as a braced list is evaluated.
int32_t in_order(std::initializer_list<int32_t> results) {
    int32_t sum = 0;
    for (int32_t result : results)
        sum += result;
    return sum;
}

// A buffer on the stack of a function that has returned by the time the frames come.
[[gnu::noinline]] int32_t open_on_the_stack(Plugin& plugin, Scene& scene) {
    uint8_t frame[256 * 240];
    std::memset(frame, 1, sizeof(frame));
    return plugin.init(256, 240, scene.window.handle(), 0, frame);
}

// A buffer of `bytes` whose page at `offset` cannot be read (PAGE_NOACCESS or PAGE_GUARD).
struct Holed {
    uint8_t* memory = static_cast<uint8_t*>(VirtualAlloc(nullptr, 256 * 240, MEM_COMMIT, PAGE_READWRITE));
    explicit Holed(DWORD protection) {
        DWORD previous;
        VirtualProtect(memory + 8192, 4096, protection, &previous);
    }
    ~Holed() { VirtualFree(memory, 0, MEM_RELEASE); }
};

// Another thread allocates from `heap` without pause, so that it holds the heap's lock at times;
// `rounds` counts its allocations, which it makes only once it has started.
struct Allocating {
    HANDLE heap;
    std::atomic<bool> stop{false};
    std::atomic<long> rounds{0};
    HANDLE thread;
    explicit Allocating(HANDLE heapToUse)
        : heap(heapToUse), thread(CreateThread(nullptr, 0, allocate, this, 0, nullptr)) {}
    ~Allocating() {
        stop = true;
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    static DWORD WINAPI allocate(void* self) {
        auto* allocating = static_cast<Allocating*>(self);
        for (; !allocating->stop; ++allocating->rounds)
            HeapFree(allocating->heap, 0, HeapAlloc(allocating->heap, 0, 64));
        return 0;
    }
};

struct Mistake {
    const char* what;
    std::function<int32_t(Plugin&, Scene&)> make; // gives the result of the call that made it
    const char* line;                             // what the checked DLL's line says, from its start
    int32_t faultFree = -1;     // where the release DLL faults: the checked one's result, and no run of it
    const char* also = nullptr; // what another line says (for a mistake that repeats, the count)
    size_t lines = 0;           // all that is said, where the row says it all
    size_t times = 1;           // the lines starting as `line` says
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
     "VideoInit: the frame size 0 x 240 has a width or height of zero or less", -1,
     "VideoInit: display open but it can draw nothing"},
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
    {"a device context passed as the window",
     [](Plugin& p, Scene& s) {
         HDC dc = GetDC(s.window.handle());
         const int32_t result = in_order(
             {p.init(256, 240, reinterpret_cast<HWND>(dc), 0, s.frame.data()), p.blit(), p.shutdown()});
         ReleaseDC(s.window.handle(), dc);
         return result;
     },
     "VideoInit: 0x", -1, "bitmap deleted, no device context to release"},
    {"a module passed as the window",
     [](Plugin& p, Scene& s) {
         return in_order(
             {p.init(256, 240, reinterpret_cast<HWND>(GetModuleHandleA(nullptr)), 0, s.frame.data()),
              p.blit(), p.shutdown()});
     },
     "VideoInit: 0x", -1, "is a module (an HINSTANCE: "},
    {"window of another thread",
     [](Plugin& p, Scene& s) {
         WindowOnAnotherThread other;
         while (!other.window)
             Sleep(1);
         return in_order({p.init(256, 240, other.window, 0, s.frame.data()), p.blit(), p.shutdown()});
     },
     "VideoInit: window 0x", -1, "belongs to thread 0x"},
    {"null frame buffer",
     [](Plugin& p, Scene& s) {
         return in_order({p.init(256, 240, s.window.handle(), 0, nullptr), p.blit()});
     },
     "VideoInit: the frame buffer is null"},
    {"frame buffer shorter than the frame, unreadable memory after it",
     [](Plugin& p, Scene& s) {
         GuardedBuffer rows(100 * 256);
         return in_order({p.init(256, 240, s.window.handle(), 0, rows.data()), p.blit()});
     },
     "VideoInit: the frame buffer at 0x", 1 + 240,
     "is too short: the memory after it cannot be read from row 100 "
     "of its 240 on",
     3},
    {"frame buffer of width x height bytes from a heap of its own",
     [](Plugin& p, Scene& s) {
         HANDLE heap = HeapCreate(0, 1 << 20, 0);
         void* frame = HeapAlloc(heap, 0, 160 * 144);
         const int32_t result = in_order(
             {p.init(160, 144, s.window.handle(), 0, static_cast<uint8_t*>(frame)), p.blit(), p.shutdown()});
         HeapDestroy(heap);
         return result;
     },
     "VideoInit: the frame buffer at 0x", -1,
     "is a heap block of 23040 bytes, but a 160 x 144 frame reads 36768 bytes"},
    {"frame buffer inside a heap block, not at its start",
     [](Plugin& p, Scene& s) {
         uint8_t* frame = static_cast<uint8_t*>(std::calloc(256 * 240 + 64, 1));
         const int32_t result =
             in_order({p.init(256, 240, s.window.handle(), 0, frame + 64), p.blit(), p.shutdown()});
         std::free(frame);
         return result;
     },
     "VideoInit: display open: 256 x 240 frames from 0x", -1,
     "(no heap block's start: only unreadable memory is noticed)"},
    {"width and height swapped",
     [](Plugin& p, Scene& s) {
         HANDLE heap = HeapCreate(0, 1 << 20, 0);
         void* frame = HeapAlloc(heap, 0, 256 * 240);
         const int32_t result =
             in_order({p.init(240, 256, s.window.handle(), 0, static_cast<uint8_t*>(frame)), p.shutdown()});
         HeapDestroy(heap);
         return result;
     },
     "VideoInit: the frame buffer at 0x", -1,
     "holds 61440 bytes, too few for a 240 x 256 frame, but enough for a 256 x 240 one"},
    {"a byte count above 32 bits",
     [](Plugin& p, Scene& s) {
         void* frame = HeapAlloc(GetProcessHeap(), 0, 4096);
         const int32_t result = in_order(
             {p.init(1, 16777217, s.window.handle(), 0, static_cast<uint8_t*>(frame)), p.shutdown()});
         HeapFree(GetProcessHeap(), 0, frame);
         return result;
     },
     "VideoInit: the frame buffer at 0x", -1, "but a 1 x 16777217 frame reads 4294967297 bytes"},
    {"a page of the buffer that cannot be read",
     [](Plugin& p, Scene& s) {
         Holed holed(PAGE_NOACCESS);
         return in_order({p.init(256, 240, s.window.handle(), 0, holed.memory), p.blit(), p.shutdown()});
     },
     "VideoInit: a page of the frame buffer at 0x", 1 + 240 + 1,
     "cannot be read, 8192 bytes from its start (row 32)"},
    {"a guard page in the buffer",
     [](Plugin& p, Scene& s) {
         Holed holed(PAGE_READWRITE | PAGE_GUARD);
         return in_order({p.init(256, 240, s.window.handle(), 0, holed.memory), p.blit(), p.shutdown()});
     },
     "VideoInit: a page of the frame buffer at 0x", 1 + 240 + 1, "though the frame reads on to 61440 bytes"},
    {"frame buffer freed while frames go on",
     [](Plugin& p, Scene& s) {
         uint8_t* frame = static_cast<uint8_t*>(std::malloc(256 * 240));
         std::memset(frame, 1, 256 * 240);
         const int32_t result = in_order({p.init(256, 240, s.window.handle(), 0, frame), p.blit()});
         std::free(frame);
         return in_order({result, p.blit(), p.shutdown()});
     },
     "VideoBlit: the frame buffer at 0x", -1,
     "a heap block of 61440 bytes at VideoInit, was freed or moved since VideoInit"},
    {"the frame buffer's heap destroyed while frames go on",
     [](Plugin& p, Scene& s) {
         HANDLE heap = HeapCreate(0, 1 << 20, 0);
         auto* frame = static_cast<uint8_t*>(HeapAlloc(heap, 0, 256 * 240));
         const int32_t result = in_order({p.init(256, 240, s.window.handle(), 0, frame), p.blit()});
         HeapDestroy(heap);
         return in_order({result, p.blit(), p.shutdown()});
     },
     "VideoBlit: the frame buffer at 0x", 1 + 240 + 240 + 1, "was freed or moved since VideoInit", 0, 2},
    {"frame buffer's block shrunk where it lies",
     [](Plugin& p, Scene& s) {
         HANDLE heap = HeapCreate(0, 1 << 20, 0);
         void* frame = HeapAlloc(heap, 0, 256 * 240 + 4096);
         const int32_t result =
             in_order({p.init(256, 240, s.window.handle(), 0, static_cast<uint8_t*>(frame)), p.blit()});
         HeapReAlloc(heap, HEAP_REALLOC_IN_PLACE_ONLY, frame, 256 * 240);
         const int32_t rest = in_order({p.blit(), p.shutdown()});
         HeapDestroy(heap);
         return result + rest;
     },
     "VideoBlit: the frame buffer at 0x", -1,
     "a heap block of 65536 bytes at VideoInit, is one of 61440 bytes now"},
    {"frame buffer in a vector that grows",
     [](Plugin& p, Scene& s) {
         std::vector<uint8_t> frame(256 * 240, 1);
         const int32_t result = in_order({p.init(256, 240, s.window.handle(), 0, frame.data()), p.blit()});
         frame.resize(4 * 256 * 240);
         return in_order({result, p.blit(), p.shutdown()});
     },
     "VideoBlit: the frame buffer at 0x", -1, "was freed or moved since VideoInit"},
    {"frame buffer on the stack of a function that has returned",
     [](Plugin& p, Scene& s) {
         return in_order({open_on_the_stack(p, s), p.blit(), p.shutdown()});
     },
     "VideoBlit: the frame buffer at 0x", -1, "lies on this thread's stack below its stack pointer"},
    {"frame buffer in a frame that still runs",
     [](Plugin& p, Scene& s) {
         uint8_t frame[256 * 240] = {};
         return in_order({p.init(256, 240, s.window.handle(), 0, frame), p.blit()});
     },
     "VideoInit: display open: 256 x 240 frames from 0x", -1, "(on this thread's stack)", 2},
    {"more than 64 heaps, the buffer in the 80th",
     [](Plugin& p, Scene& s) {
         std::vector<HANDLE> heaps;
         for (int i = 0; i < 100; ++i)
             heaps.push_back(HeapCreate(0, 0, 0));
         void* frame = HeapAlloc(heaps[79], HEAP_ZERO_MEMORY, 256 * 240);
         const int32_t result =
             in_order({p.init(256, 240, s.window.handle(), 0, static_cast<uint8_t*>(frame)), p.blit()});
         for (HANDLE heap : heaps)
             HeapDestroy(heap);
         return result;
     },
     "VideoInit: display open: 256 x 240 frames from 0x", -1, "(a heap block of 61440 bytes)", 2},
    {"the buffer in a heap made with HEAP_NO_SERIALIZE",
     [](Plugin& p, Scene& s) {
         HANDLE heap = HeapCreate(HEAP_NO_SERIALIZE, 0, 0);
         void* frame = HeapAlloc(heap, HEAP_ZERO_MEMORY, 256 * 240);
         const int32_t result = in_order(
             {p.init(256, 240, s.window.handle(), 0, static_cast<uint8_t*>(frame)), p.blit(), p.shutdown()});
         HeapDestroy(heap);
         return result;
     },
     "VideoInit: display open: 256 x 240 frames from 0x", -1, "(a heap block of 61440 bytes)"},
    {"heaps made and destroyed on another thread meanwhile",
     [](Plugin& p, Scene& s) {
         std::atomic<bool> stop{false};
         std::thread churn([&] {
             while (!stop) {
                 HANDLE heap = HeapCreate(0, 0, 0);
                 for (int i = 0; i < 100; ++i)
                     HeapAlloc(heap, 0, 32);
                 HeapDestroy(heap);
             }
         });
         int32_t result = 0;
         for (int i = 0; i < 100; ++i)
             result += in_order({s.open(p), p.shutdown()});
         stop = true;
         churn.join();
         return result;
     },
     "VideoShutdown: display closed after 0 frames", -1, nullptr, 0, 100},
    {"another thread holding the buffer's heap's lock, suspended",
     [](Plugin& p, Scene& s) {
         HANDLE heap = HeapCreate(0, 0, 0);
         auto* frame = static_cast<uint8_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 256 * 240));
         int32_t result = 0;
         {
             Allocating other(heap);
             for (int i = 0; i < 20; ++i) {
                 // Suspended within its loop, never as it starts (which holds the loader's lock).
                 for (const long start = other.rounds; other.rounds < start + 100;)
                     Sleep(0);
                 SuspendThread(other.thread);
                 std::atomic<int32_t> opened{-1};
                 std::thread opening([&] {
                     opened = in_order({p.init(256, 240, s.window.handle(), 0, frame), p.shutdown()});
                 });
                 for (int waited = 0; opened < 0 && waited < 500; ++waited)
                     Sleep(10);
                 const bool blocked = opened < 0;
                 ResumeThread(other.thread);
                 opening.join();
                 result += blocked ? 1000 : opened.load();
             }
         }
         HeapDestroy(heap);
         return result;
     },
     "VideoShutdown: display closed after 0 frames", -1, nullptr, 0, 20},
    {"palette indices 64, -1 and 70",
     [](Plugin& p, Scene&) {
         return in_order({p.setPalette(64, 1, 2, 3), p.setPalette(-1, 0, 0, 0), p.setPalette(70, 0, 0, 0)});
     },
     "VideoSetPalette: index 64 is outside 0 to 63", -1,
     "; more than once: a palette index outside 0 to 63 (3 times; after the first, -1 to 70)"},
    {"colours set before VideoInit",
     [](Plugin& p, Scene& s) {
         return in_order({p.setPalette(1, 2, 3, 4), p.setPalette(2, 3, 4, 5), s.open(p)});
     },
     "VideoInit: 2 colours were set by VideoSetPalette with no display open"},
    {"colour set from another thread",
     [](Plugin& p, Scene& s) {
         int32_t result = s.open(p);
         std::thread([&] { result += p.setPalette(1, 2, 3, 4); }).join();
         return result;
     },
     "VideoSetPalette: called from thread"},
    {"shutdown from another thread",
     [](Plugin& p, Scene& s) {
         int32_t result = s.open(p);
         std::thread([&] { result += p.shutdown(); }).join();
         return result;
     },
     "VideoShutdown: called from thread"},
    {"blits after the last shutdown, then unloaded",
     [](Plugin& p, Scene& s) {
         return in_order({s.open(p), p.shutdown(), p.blit(), p.blit()});
     },
     "VideoBlit: no display is open", -1,
     "FreeLibrary: since the last VideoInit or VideoShutdown; more than once: VideoBlit with no display open "
     "(2 times)"},
    {"process ended with a display open",
     [](Plugin& p, Scene&) {
         char path[MAX_PATH];
         GetModuleFileNameA(p.module, path, MAX_PATH);
         p.unload();
         return exit_with_a_display_open(path);
     },
     "process exit: the process ends with a display still open"},
    {"component above 255", [](Plugin& p, Scene&) { return p.setPalette(1, 300, 0, 0); },
     "VideoSetPalette: colour 1 has a component outside 0 to 255"},
    {"blit from another thread, five times",
     [](Plugin& p, Scene& s) {
         int32_t result = s.open(p);
         for (int i = 0; i < 5; ++i)
             std::thread([&] { result += p.blit(); }).join();
         return in_order({result, p.shutdown()});
     },
     "VideoBlit: called from thread", -1, "; more than once: VideoBlit from another thread (5 times)"},
    {"window destroyed before shutdown",
     [](Plugin& p, Scene& s) {
         const int32_t result = s.open(p);
         s.window.destroy();
         return in_order({result, p.blit(), p.blit(), p.shutdown()});
     },
     "VideoBlit: window 0x"},
    {"window destroyed, then shutdown",
     [](Plugin& p, Scene& s) {
         const int32_t result = s.open(p);
         s.window.destroy();
         return in_order({result, p.shutdown()});
     },
     "VideoShutdown: window 0x"},
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
     -1, "256 x 240 inside, a common DC; a 32-bit bitmap", 2},
    {"two copies of the checked DLL loaded: each line names the one that speaks",
     [](Plugin& p, Scene& s) {
         char path[MAX_PATH];
         GetModuleFileNameA(p.module, path, MAX_PATH);
         const std::string copy = std::string(path) + ".copy.dll";
         CopyFileA(path, copy.c_str(), FALSE);
         HMODULE other = LoadLibraryA(copy.c_str());
         const int32_t result = s.open(p);
         FreeLibrary(other);
         DeleteFileA(copy.c_str());
         return result;
     },
     "VideoInit: display open", -1, "gdivideo (gdivideo.dll at 0x", 2},
    {"frame buffer unreadable at a frame",
     [](Plugin& p, Scene& s) {
         return in_order({s.open(p), blit_with_rows_gone(p, s), p.shutdown()});
     },
     "VideoBlit: the frame buffer at 0x", 1 + 240 + 1, "fewer than at VideoInit"},
    {"a pointer never set as the frame buffer",
     [](Plugin& p, Scene& s) {
         const auto* unset = reinterpret_cast<const uint8_t*>(static_cast<UINT_PTR>(0xCDCDCDCDu));
         return in_order({p.init(256, 240, s.window.handle(), 0, unset), p.blit()});
     },
     "VideoInit: the frame buffer at 0xCDCDCDCD cannot be read at all", 1 + 240},
    {"&frame passed for frame",
     [](Plugin& p, Scene& s) {
         const uint8_t* frame = s.frame.data();
         return in_order({p.init(256, 2000, s.window.handle(), 0, reinterpret_cast<const uint8_t*>(&frame)),
                          p.shutdown()});
     },
     "VideoInit: the frame buffer at 0x", -1, "lies on this thread's stack, "},
    {"a buffer on another thread's stack",
     [](Plugin& p, Scene& s) {
         std::atomic<const uint8_t*> frame{nullptr};
         std::atomic<bool> done{false};
         std::thread other([&] {
             uint8_t own[256 * 240] = {};
             frame = own;
             while (!done)
                 Sleep(1);
         });
         while (!frame)
             Sleep(1);
         const int32_t result = in_order({p.init(256, 240, s.window.handle(), 0, frame), p.shutdown()});
         done = true;
         other.join();
         return result;
     },
     "VideoInit: the frame buffer at 0x", -1, "lies on the stack of another thread"},
    {"a message-only window",
     [](Plugin& p, Scene& s) {
         HWND window =
             CreateWindowExA(0, "STATIC", "", 0, 0, 0, 64, 64, HWND_MESSAGE, nullptr, nullptr, nullptr);
         const int32_t result =
             in_order({p.init(256, 240, window, 0, s.frame.data()), p.blit(), p.shutdown()});
         DestroyWindow(window);
         return result;
     },
     "VideoInit: window 0x", -1, "is a message-only window"},
    {"a layered window with no attributes",
     [](Plugin& p, Scene& s) {
         TestWindow layered(256, 240, WS_EX_LAYERED);
         return in_order({p.init(256, 240, layered.handle(), 0, s.frame.data()), p.blit(), p.shutdown()});
     },
     "VideoBlit: window 0x", -1, "is layered (WS_EX_LAYERED) but has no attributes"},
    {"a window never shown",
     [](Plugin& p, Scene& s) {
         HWND window =
             CreateWindowExA(0, "STATIC", "", WS_POPUP, 40, 40, 256, 240, nullptr, nullptr, nullptr, nullptr);
         int32_t result = p.init(256, 240, window, 0, s.frame.data());
         for (int frame = 0; frame < 65; ++frame)
             result += p.blit();
         result += p.shutdown();
         DestroyWindow(window);
         return result;
     },
     "VideoBlit: window 0x", -1, "has not been shown in the 64 frames since VideoInit"},
    {"a window of 0 x 0 that is not minimised",
     [](Plugin& p, Scene& s) {
         SetWindowPos(s.window.handle(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER);
         return in_order({s.open(p), p.blit(), p.shutdown()});
     },
     "VideoBlit: window 0x", -1, "has no inside (its client area is 0 x 0) though it is not minimised"},
    {"an own DC with the viewport origin moved",
     [](Plugin& p, Scene& s) {
         TestWindow own(256, 240, 0, CS_OWNDC);
         HDC dc = GetDC(own.handle());
         SetViewportOrgEx(dc, 16, 32, nullptr);
         ReleaseDC(own.handle(), dc);
         return in_order({p.init(256, 240, own.handle(), 0, s.frame.data()), p.blit(), p.shutdown()});
     },
     "VideoBlit: window 0x", -1,
     "(CS_OWNDC) that has the viewport origin (16, 32) and the window origin (0, 0)"},
    {"an own DC in MM_ANISOTROPIC, halving the picture",
     [](Plugin& p, Scene& s) {
         TestWindow own(256, 240, 0, CS_OWNDC);
         HDC dc = GetDC(own.handle());
         SetMapMode(dc, MM_ANISOTROPIC);
         SetWindowExtEx(dc, 100, 100, nullptr);
         SetViewportExtEx(dc, 50, 50, nullptr);
         ReleaseDC(own.handle(), dc);
         return in_order({p.init(256, 240, own.handle(), 0, s.frame.data()), p.blit(), p.shutdown()});
     },
     "VideoBlit: window 0x", -1,
     "the mapping mode MM_ANISOTROPIC, viewport extent 50 x 50 to window extent 100 x 100"},
    {"child windows over the picture without WS_CLIPCHILDREN",
     [](Plugin& p, Scene& s) {
         add_controls(s.window.handle());
         return in_order({s.open(p), p.blit(), p.shutdown()});
     },
     "VideoBlit: window 0x", -1, "has child windows (controls) over the picture but not WS_CLIPCHILDREN"},
    {"the process out of GDI objects",
     [](Plugin& p, Scene& s) {
         spy.failCreateDIBSection = spy.failBrushes = true;
         return in_order({s.open(p), p.blit()});
     },
     "VideoInit: CreateDIBSection failed and not even a brush can be made"},
    {"VideoShutdown from another DLL's DllMain after the plugin's own detach",
     [](Plugin& p, Scene& s) {
         const int32_t result = s.open(p);
         const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(p.module);
         const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(p.module) +
                                                                    dos->e_lfanew);
         const auto entry = reinterpret_cast<BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID)>(
             reinterpret_cast<UINT_PTR>(p.module) + nt->OptionalHeader.AddressOfEntryPoint);
         entry(p.module, DLL_PROCESS_DETACH, reinterpret_cast<LPVOID>(1));
         return in_order({result, p.shutdown()});
     },
     "VideoShutdown: called after the plugin's own DLL_PROCESS_DETACH", -1, nullptr, 0, 2},
};

// The result of the mistake made on the DLL at `path`, and the last error it leaves the host.
std::pair<int32_t, DWORD> run(const Mistake& mistake, const std::string& path) {
    Plugin plugin;
    EXPECT_TRUE(plugin.load(path)) << path;
    install_spy(plugin.module);
    Scene scene;
    SetLastError(1234);
    const int32_t result = mistake.make(plugin, scene);
    const DWORD error = GetLastError();
    if (plugin.module)
        plugin.shutdown();
    plugin.unload();
    return {result, error};
}

// The lines that start with `text` after the name of the DLL that says them.
size_t lines_starting(const std::string& text) {
    size_t count = 0;
    for (const std::string& line : said) {
        const size_t start = line.rfind("gdivideo (", 0) == 0 ? line.find("): ") + 3 : line.find(": ") + 2;
        count += line.compare(start, text.size(), text) == 0;
    }
    return count;
}

TEST(CheckedBuild, SaysEachMistakeOnceAndGivesTheReleaseResult) {
    PVOID handler = AddVectoredExceptionHandler(1, catch_debug_output);
    for (const Mistake& mistake : MISTAKES) {
        SCOPED_TRACE(mistake.what);
        const auto release = mistake.faultFree >= 0 ? std::pair<int32_t, DWORD>{mistake.faultFree, 0}
                                                    : run(mistake, plugin_path());
        said.clear();
        longestPart = 0;
        const auto checked = run(mistake, checked_plugin_path());
        EXPECT_EQ(checked.first, release.first);
        if (mistake.faultFree < 0) {
            EXPECT_EQ(checked.second, release.second) << "the last error the host sees";
        }
        EXPECT_EQ(lines_starting(mistake.line), mistake.times) << testing::PrintToString(said);
        EXPECT_LE(longestPart, 290u) << "a line that the debugger cuts: " << testing::PrintToString(said);
        if (mistake.also) {
            EXPECT_TRUE(std::any_of(said.begin(), said.end(), [&](const std::string& line) {
                return line.find(mistake.also) != std::string::npos;
            })) << testing::PrintToString(said);
        }
        if (mistake.lines) {
            EXPECT_EQ(said.size(), mistake.lines) << testing::PrintToString(said);
        }
    }
    RemoveVectoredExceptionHandler(handler);
}

// The process that exit_with_a_display_open starts does only this, before any test runs.
const bool exitedWithADisplayOpen = [] {
    const char* path = std::getenv("GDIVIDEO_TEST_EXIT_WITH_A_DISPLAY_OPEN");
    if (path) {
        Plugin plugin;
        Scene scene;
        if (plugin.load(path))
            scene.open(plugin);
        ExitProcess(0);
    }
    return false;
}();

// The manual lists every line the checked build can say of a problem, each by its start: up to
// the second colon, with each value it shows written "…"; and no other.
TEST(CheckedBuild, TheManualListsEveryProblemItSays) {
    std::stringstream manual;
    manual << std::ifstream(MANUAL_PATH).rdbuf();
    const std::string text = manual.str();
    const size_t from = text.find("\n- ", text.find("It says, each line starting with the call:"));
    ASSERT_NE(from, std::string::npos) << MANUAL_PATH;
    const std::string list = text.substr(from, text.find("\n\n", from) - from);
    std::string said;
    for (const Message& message : MESSAGES) {
        std::string start = std::regex_replace(message.text, std::regex("%[0-9]*l?[sdluxX]"), "\xE2\x80\xA6");
        said += "\n- `" + start.substr(0, start.find(": ", start.find(": ") + 2)) + "`";
    }
    EXPECT_EQ(std::regex_replace(list, std::regex("(\n- `[^`]*`)[^\n]*(\n  [^\n]*)*|\n[^\n]*"), "$1"), said);
}

} // namespace
