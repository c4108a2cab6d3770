#include "check_child.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <psapi.h>
#include <tlhelp32.h>

#include "check_footprint.h"
#include "check_instruments.h"
#include "plugin_api.h"
#include "test_card.h"

namespace {

constexpr int MAX_CASES = 64;
constexpr int FIGURE_BYTES = 1024;

// The memory the check and its child share. The child writes; the check reads while it runs and
// once it has ended. A case's kind is written last, once its figure is whole.
struct Shared {
    enum State : LONG { LOADING, LOADED, LOAD_FAILED, FINISHED };
    volatile LONG state;
    DWORD loadError;
    char loadProblem[FIGURE_BYTES];
    volatile LONG currentCase; // -1 while the plugin loads
    volatile DWORD caseStarted;
    volatile LONG inCall;
    volatile DWORD callStarted;
    char call[64]; // the plugin's call that runs, or ran last
    char crash[FIGURE_BYTES];
    char footprint[FIGURE_BYTES]; // what a call of the running case left behind, the first one
    char unloaded[FIGURE_BYTES];  // what the plugin left running once closed and unloaded
    char own[FIGURE_BYTES];       // what kept the check's own code from running a case
    struct {
        volatile LONG kind;
        char figure[FIGURE_BYTES];
    } cases[MAX_CASES];
};

void copy(char* to, size_t size, const std::string& text) { std::snprintf(to, size, "%s", text.c_str()); }

// ---- The child's side ----

Shared* shared = nullptr;
PluginApi real;
uintptr_t pluginBegin = 0, pluginEnd = 0; // where the plugin's image was, also once unloaded

struct Call {
    explicit Call(const char* name) {
        copy(shared->call, sizeof(shared->call), name);
        shared->callStarted = GetTickCount();
        InterlockedExchange(&shared->inCall, 1);
    }
    ~Call() { InterlockedExchange(&shared->inCall, 0); }
};

// A call of the plugin, watched for what it leaves behind (check_footprint.h); the first thing
// left in a case fails it.
int32_t watched_call(const char* name, const void* function, const uintptr_t (&arguments)[5], int count) {
    Call call(name);
    std::string changed;
    const int32_t result = call_watched(function, arguments, count, changed);
    if (!changed.empty() && !shared->footprint[0])
        copy(shared->footprint, sizeof(shared->footprint), std::string(name) + ": " + changed);
    return result;
}

uintptr_t word(int32_t value) { return static_cast<uint32_t>(value); }

int32_t GDIVIDEO_CALL tracked_init(int32_t width, int32_t height, HWND window, int32_t reserved,
                                   const uint8_t* frameBuffer) {
    return watched_call("VideoInit", reinterpret_cast<const void*>(real.init),
                        {word(width), word(height), reinterpret_cast<uintptr_t>(window), word(reserved),
                         reinterpret_cast<uintptr_t>(frameBuffer)},
                        5);
}
int32_t GDIVIDEO_CALL tracked_set_palette(int32_t index, int32_t red, int32_t green, int32_t blue) {
    return watched_call("VideoSetPalette", reinterpret_cast<const void*>(real.setPalette),
                        {word(index), word(red), word(green), word(blue), 0}, 4);
}
int32_t GDIVIDEO_CALL tracked_apply_palette() {
    return watched_call("VideoApplyPalette", reinterpret_cast<const void*>(real.applyPalette), {}, 0);
}
int32_t GDIVIDEO_CALL tracked_blit() {
    return watched_call("VideoBlit", reinterpret_cast<const void*>(real.blit), {}, 0);
}
int32_t GDIVIDEO_CALL tracked_shutdown() {
    return watched_call("VideoShutdown", reinterpret_cast<const void*>(real.shutdown), {}, 0);
}
int32_t GDIVIDEO_CALL tracked_cfg() {
    return watched_call("VideoCfg", reinterpret_cast<const void*>(real.cfg), {}, 0);
}
int32_t GDIVIDEO_CALL tracked_fullscreen() {
    return watched_call("VideoFullscreen", reinterpret_cast<const void*>(real.fullscreen), {}, 0);
}

const char* exception_name(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
        return "access violation";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        return "integer division by zero";
    case EXCEPTION_INT_OVERFLOW:
        return "integer overflow";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        return "illegal instruction";
    case EXCEPTION_PRIV_INSTRUCTION:
        return "privileged instruction";
    case EXCEPTION_STACK_OVERFLOW:
        return "stack overflow";
    case EXCEPTION_IN_PAGE_ERROR:
        return "in-page error";
    case EXCEPTION_DATATYPE_MISALIGNMENT:
        return "misaligned data";
    case EXCEPTION_BREAKPOINT:
        return "breakpoint";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
        return "floating-point division by zero";
    case EXCEPTION_FLT_INVALID_OPERATION:
        return "invalid floating-point operation";
    case 0xE06D7363:
        return "C++ exception";
    case 0x20474343:
        return "C++ exception";
    default:
        return "exception";
    }
}

// "gdivideo.dll+0x15A0", or the bare address where no module holds it.
void where(const void* address, char* text, size_t size) {
    HMODULE module = nullptr;
    char path[MAX_PATH] = "";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(address), &module) &&
        GetModuleFileNameA(module, path, MAX_PATH)) {
        const char* name = std::strrchr(path, '\\');
        std::snprintf(text, size, "%s+0x%lX", name ? name + 1 : path,
                      static_cast<unsigned long>(reinterpret_cast<uintptr_t>(address) -
                                                 reinterpret_cast<uintptr_t>(module)));
    } else {
        std::snprintf(text, size, "0x%08lX",
                      static_cast<unsigned long>(reinterpret_cast<uintptr_t>(address)));
    }
}

// Says what crashed, where, and in which call, then ends the child before any dialog or debugger
// can wait on it. Nothing here allocates: the heap may be what the plugin broke.
// Where the thread that runs the cases has its stack, and a watch on it. A stack overflow leaves
// too little of the stack for on_crash: Windows then ends the program with the exception's status,
// which the check names, but Wine ends only the thread, with status 0. The watch sees that, and
// tells an overflow from the guard page at the stack's far end, which is gone once the stack has
// reached it.
HANDLE casesThread = nullptr;
uintptr_t stackFarEnd = 0;

DWORD WINAPI watch_cases_thread(void*) {
    WaitForSingleObject(casesThread, INFINITE);
    if (shared->state == Shared::FINISHED || shared->crash[0] || shared->own[0])
        return 0;
    DWORD code = 0;
    GetExitCodeThread(casesThread, &code);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    MEMORY_BASIC_INFORMATION page = {};
    const bool overflowed =
        VirtualQuery(reinterpret_cast<void*>(stackFarEnd + system.dwPageSize), &page, sizeof(page)) &&
        page.State == MEM_COMMIT && !(page.Protect & PAGE_GUARD);
    const std::string call =
        shared->inCall ? std::string("in ") + shared->call : "while none of its functions was running";
    copy(shared->crash, sizeof(shared->crash),
         overflowed
             ? "the plugin overflowed the stack (stack overflow) " + call
             : "the plugin ended the thread that called it (exit code " + std::to_string(code) + ") " + call);
    ExitProcess(overflowed ? EXCEPTION_STACK_OVERFLOW : code);
}

LONG WINAPI on_crash(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    char at[MAX_PATH + 16], what[160] = "", buffer[400] = "";
    where(record.ExceptionAddress, at, sizeof(at));
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
        const ULONG_PTR kind = record.ExceptionInformation[0], address = record.ExceptionInformation[1];
        std::snprintf(what, sizeof(what), " %s 0x%08lX",
                      kind == 1   ? "writing"
                      : kind == 8 ? "executing"
                                  : "reading",
                      static_cast<unsigned long>(address));
        describe_fault_address(address, kind == 1, buffer, sizeof(buffer));
    }
    const auto address = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
    HMODULE module = nullptr;
    if (address >= pluginBegin && address < pluginEnd &&
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(record.ExceptionAddress), &module))
        std::snprintf(buffer, sizeof(buffer),
                      "; the address was the plugin's, which was unloaded: code of it ran after FreeLibrary, "
                      "from a thread, timer, hook or window procedure it left behind");
    char text[FIGURE_BYTES];
    if (shared->inCall)
        std::snprintf(text, sizeof(text), "the plugin crashed in %s (%s%s at %s)%s", shared->call,
                      exception_name(record.ExceptionCode), what, at, buffer);
    else
        std::snprintf(
            text, sizeof(text),
            "the plugin crashed while none of its functions was running, after %s returned (%s%s at %s)%s",
            shared->call, exception_name(record.ExceptionCode), what, at, buffer);
    std::memcpy(shared->crash, text, sizeof(text));
    TerminateProcess(GetCurrentProcess(), record.ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// ---- The check's side ----

std::string exit_text(DWORD code) {
    char text[64];
    if (code >= 0xC0000000)
        std::snprintf(text, sizeof(text), "exception 0x%08lX, %s", static_cast<unsigned long>(code),
                      exception_name(code));
    else
        std::snprintf(text, sizeof(text), "exit code %lu", static_cast<unsigned long>(code));
    return text;
}

// How a child that ended before its case did: crashed, ended by the plugin, or stopped here.
std::string how_it_ended(const Shared& report, DWORD exitCode) {
    if (report.crash[0])
        return report.crash;
    if (report.inCall)
        return "the plugin ended the program (" + exit_text(exitCode) + ") in " + report.call;
    return "the program ended (" + exit_text(exitCode) +
           ") while none of the plugin's functions was running, after " + std::string(report.call) +
           " returned";
}

struct Child {
    PROCESS_INFORMATION process = {};
    bool start(const std::string& path, HANDLE memory, int first) {
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string command = "\"" + std::string(self) + "\" --check-child " +
                              std::to_string(reinterpret_cast<uintptr_t>(memory)) + " " +
                              std::to_string(first) + " \"" + path + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        return CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                              &process);
    }
    ~Child() {
        if (!process.hProcess)
            return;
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
};

} // namespace

ChildRun run_cases_in_children(const std::string& path, const std::function<void(int)>& starting,
                               const std::function<void(int, const Outcome&)>& ended) {
    SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
    HANDLE memory =
        CreateFileMappingA(INVALID_HANDLE_VALUE, &inherited, PAGE_READWRITE, 0, sizeof(Shared), nullptr);
    auto* report = static_cast<Shared*>(MapViewOfFile(memory, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
    ChildRun run;
    const int count = case_count();
    const DWORD limit = CASE_SECONDS * 1000;
    int next = 0, hangs = 0, sameEnds = 0;
    std::string lastEnd;
    while (next < count) {
        if (hangs >= HANGS_BEFORE_GIVING_UP || sameEnds >= SAME_ENDS_BEFORE_GIVING_UP) {
            const std::string why = hangs >= HANGS_BEFORE_GIVING_UP
                                        ? "as the plugin hung twice"
                                        : "as the plugin ended the program the same way in " +
                                              std::to_string(sameEnds) + " cases in a row";
            for (; next < count; ++next) {
                starting(next);
                ended(next, {Outcome::NOT_RUN, why});
            }
            break;
        }
        std::memset(report, 0, sizeof(Shared));
        report->currentCase = -1;
        Child child;
        if (!child.start(path, memory, next)) {
            run.hostProblem = "the check could not start its own process (Windows error " +
                              std::to_string(GetLastError()) + ")";
            break;
        }
        int announced = next - 1;
        for (bool running = true; running;) {
            running = WaitForSingleObject(child.process.hProcess, 20) == WAIT_TIMEOUT;
            // In order: a case is said to start only once the one before it has ended.
            for (bool more = true; more;) {
                more = false;
                if (next <= announced && report->cases[next].kind != Outcome::NONE) {
                    ended(next,
                          {static_cast<Outcome::Kind>(report->cases[next].kind), report->cases[next].figure});
                    ++next;
                    more = true;
                } else if (announced < report->currentCase && announced < next) {
                    starting(++announced);
                    more = true;
                }
            }
            if (report->own[0]) {
                run.loaded = true;
                run.hostProblem = report->own;
                UnmapViewOfFile(report);
                CloseHandle(memory);
                return run;
            }
            if (report->state == Shared::LOAD_FAILED ||
                (report->state == Shared::FINISHED && next == count)) {
                run.loaded = report->state != Shared::LOAD_FAILED;
                run.loadError = report->loadError;
                run.loadProblem = report->loadProblem;
                run.afterCases = report->unloaded;
                UnmapViewOfFile(report);
                CloseHandle(memory);
                return run;
            }
            run.loaded = report->state != Shared::LOADING;
            const DWORD now = GetTickCount();
            const bool callHangs = report->inCall && now - report->callStarted > limit;
            const bool caseHangs = report->currentCase >= 0 && now - report->caseStarted > limit;
            std::string how;
            if (callHangs || caseHangs) {
                TerminateProcess(child.process.hProcess, 1);
                ++hangs;
                how = report->inCall ? std::string(report->call) + " did not return within " +
                                           std::to_string(CASE_SECONDS) + " s"
                                     : "the case did not end within " + std::to_string(CASE_SECONDS) + " s";
            } else if (!running) {
                DWORD code = 0;
                GetExitCodeProcess(child.process.hProcess, &code);
                how = how_it_ended(*report, code);
            } else {
                continue;
            }
            if (!run.loaded) {
                run.loadProblem = how;
                UnmapViewOfFile(report);
                CloseHandle(memory);
                return run;
            }
            if (next == count) { // after the last case, as the plugin was unloaded
                run.afterCases = how;
                break;
            }
            if (announced < next)
                starting(++announced);
            sameEnds = how == lastEnd ? sameEnds + 1 : 1;
            lastEnd = how;
            ended(next++, {Outcome::FAILED, how});
            running = false;
        }
    }
    UnmapViewOfFile(report);
    CloseHandle(memory);
    return run;
}

// The threads running code of the plugin's image: started there (their start address tells).
std::vector<HANDLE> threads_started_in_plugin() {
    using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
    std::vector<HANDLE> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = query && Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId())
            continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION | THREAD_TERMINATE, FALSE, entry.th32ThreadID);
        uintptr_t start = 0;
        constexpr int THREAD_START_ADDRESS = 9; // ThreadQuerySetWin32StartAddress
        if (thread && query(thread, THREAD_START_ADDRESS, &start, sizeof(start), nullptr) == 0 &&
            start >= pluginBegin && start < pluginEnd)
            found.push_back(thread);
        else if (thread)
            CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return found;
}

// After the cases, a display opened and closed once more, and the plugin unloaded as a program
// unloads it. Whatever of it runs on then (a thread it started, a timer, a hook or a window
// procedure it left) runs code that is gone and takes the program down: what it left is said, and
// the window gets messages for a moment, as a program's would, to bring the rest out.
std::string after_unloading(const PluginApi& plugin) {
    Frame frame(card::WIDTH, card::HEIGHT);
    frame.draw(draw_card);
    CheckWindow window(card::WIDTH, card::HEIGHT);
    const LONG_PTR procedure = GetWindowLongPtrA(window.handle(), GWLP_WNDPROC);
    plugin.init(card::WIDTH, card::HEIGHT, window.handle(), 0, frame.data());
    plugin.blit();
    plugin.shutdown();
    std::string left;
    const std::vector<HANDLE> threads = threads_started_in_plugin();
    if (!threads.empty())
        left = std::to_string(threads.size()) + (threads.size() == 1 ? " thread" : " threads") +
               " that the plugin started still run after VideoShutdown: once the program unloads the plugin, "
               "they run code that is gone and take the program down";
    for (HANDLE thread : threads) {
        TerminateThread(thread, 0);
        CloseHandle(thread);
    }
    if (GetWindowLongPtrA(window.handle(), GWLP_WNDPROC) != procedure) {
        left += std::string(left.empty() ? "" : "; ") +
                "after VideoShutdown the window's procedure is one of the plugin's: once the program unloads "
                "the plugin, the window's next message runs code that is gone and takes the program down";
        SetWindowLongPtrA(window.handle(), GWLP_WNDPROC, procedure);
    }
    {
        Call call("FreeLibrary");
        FreeLibrary(plugin.module);
    }
    HMODULE still = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(pluginBegin), &still) &&
        still == plugin.module)
        left +=
            std::string(left.empty() ? "" : "; ") +
            "the plugin stays loaded after FreeLibrary: it loaded itself again, or something of it holds it";
    InvalidateRect(window.handle(), nullptr, FALSE);
    MSG message;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 300;) {
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            Sleep(5);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return left;
}

int run_check_child(int argc, char** argv) {
    if (argc < 5)
        return 2;
    HANDLE memory = reinterpret_cast<HANDLE>(std::strtoul(argv[2], nullptr, 10));
    const int first = std::atoi(argv[3]);
    shared = static_cast<Shared*>(MapViewOfFile(memory, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
    if (!shared)
        return 2;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(on_crash);
    MEMORY_BASIC_INFORMATION stack = {};
    VirtualQuery(&stack, &stack, sizeof(stack));
    stackFarEnd = reinterpret_cast<uintptr_t>(stack.AllocationBase);
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &casesThread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    CloseHandle(CreateThread(nullptr, 0, watch_cases_thread, nullptr, 0, nullptr));

    std::string problem;
    bool loaded;
    {
        Call call("its start-up code (DllMain)");
        loaded = load_plugin(argv[4], real, problem);
    }
    if (!loaded) {
        shared->loadError = real.loadError;
        copy(shared->loadProblem, sizeof(shared->loadProblem), problem);
        InterlockedExchange(&shared->state, Shared::LOAD_FAILED);
        return 0;
    }
    MODULEINFO image = {};
    GetModuleInformation(GetCurrentProcess(), real.module, &image, sizeof(image));
    pluginBegin = reinterpret_cast<uintptr_t>(image.lpBaseOfDll);
    pluginEnd = pluginBegin + image.SizeOfImage;
    watch_plugin_imports(real.module);
    PluginApi tracked = real;
    tracked.init = tracked_init;
    tracked.setPalette = tracked_set_palette;
    tracked.applyPalette = tracked_apply_palette;
    tracked.blit = tracked_blit;
    tracked.shutdown = tracked_shutdown;
    tracked.cfg = tracked_cfg;
    tracked.fullscreen = tracked_fullscreen;
    InterlockedExchange(&shared->state, Shared::LOADED);

    // A C++ exception here is the check's own failure (out of memory, a size it did not expect),
    // not the plugin's: it is said as such, and the check ends with its own status.
    try {
        for (int index = first; index < case_count() && index < MAX_CASES; ++index) {
            shared->caseStarted = GetTickCount();
            InterlockedExchange(&shared->currentCase, index);
            shared->footprint[0] = 0;
            Outcome outcome = run_case(index, tracked);
            if (shared->footprint[0])
                outcome = {Outcome::FAILED, shared->footprint};
            copy(shared->cases[index].figure, FIGURE_BYTES, outcome.figure);
            InterlockedExchange(&shared->cases[index].kind, outcome.kind);
        }
        copy(shared->unloaded, sizeof(shared->unloaded), after_unloading(tracked));
    } catch (const std::exception& exception) {
        copy(shared->own, sizeof(shared->own),
             std::string("its own code failed (") + exception.what() + ") in case " +
                 std::to_string(shared->currentCase + 1));
        return 3;
    }
    InterlockedExchange(&shared->state, Shared::FINISHED);
    return 0;
}
