#include "check_child.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "check_instruments.h"
#include "plugin_api.h"

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
    struct {
        volatile LONG kind;
        char figure[FIGURE_BYTES];
    } cases[MAX_CASES];
};

void copy(char* to, size_t size, const std::string& text) { std::snprintf(to, size, "%s", text.c_str()); }

// ---- The child's side ----

Shared* shared = nullptr;
PluginApi real;

struct Call {
    explicit Call(const char* name) {
        copy(shared->call, sizeof(shared->call), name);
        shared->callStarted = GetTickCount();
        InterlockedExchange(&shared->inCall, 1);
    }
    ~Call() { InterlockedExchange(&shared->inCall, 0); }
};

int32_t GDIVIDEO_CALL tracked_init(int32_t width, int32_t height, HWND window, int32_t reserved,
                                   const uint8_t* frameBuffer) {
    Call call("VideoInit");
    return real.init(width, height, window, reserved, frameBuffer);
}
int32_t GDIVIDEO_CALL tracked_set_palette(int32_t index, int32_t red, int32_t green, int32_t blue) {
    Call call("VideoSetPalette");
    return real.setPalette(index, red, green, blue);
}
int32_t GDIVIDEO_CALL tracked_apply_palette() {
    Call call("VideoApplyPalette");
    return real.applyPalette();
}
int32_t GDIVIDEO_CALL tracked_blit() {
    Call call("VideoBlit");
    return real.blit();
}
int32_t GDIVIDEO_CALL tracked_shutdown() {
    Call call("VideoShutdown");
    return real.shutdown();
}
int32_t GDIVIDEO_CALL tracked_cfg() {
    Call call("VideoCfg");
    return real.cfg();
}
int32_t GDIVIDEO_CALL tracked_fullscreen() {
    Call call("VideoFullscreen");
    return real.fullscreen();
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
    int next = 0, hangs = 0;
    while (next < count) {
        if (hangs >= HANGS_BEFORE_GIVING_UP) {
            for (; next < count; ++next) {
                starting(next);
                ended(next, {Outcome::NOT_RUN, "as the plugin hung twice"});
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
            if (report->state == Shared::LOAD_FAILED ||
                (report->state == Shared::FINISHED && next == count)) {
                run.loaded = report->state != Shared::LOAD_FAILED;
                run.loadError = report->loadError;
                run.loadProblem = report->loadProblem;
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
            ended(next++, {Outcome::FAILED, how});
            running = false;
        }
    }
    UnmapViewOfFile(report);
    CloseHandle(memory);
    return run;
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

    for (int index = first; index < case_count() && index < MAX_CASES; ++index) {
        shared->caseStarted = GetTickCount();
        InterlockedExchange(&shared->currentCase, index);
        const Outcome outcome = run_case(index, tracked);
        copy(shared->cases[index].figure, FIGURE_BYTES, outcome.figure);
        InterlockedExchange(&shared->cases[index].kind, outcome.kind);
    }
    {
        Call call("FreeLibrary");
        FreeLibrary(real.module);
    }
    InterlockedExchange(&shared->state, Shared::FINISHED);
    return 0;
}
