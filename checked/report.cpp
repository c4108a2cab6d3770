#include "report.h"

namespace {

// What the closing line calls each problem that came more than once.
const char* const LABELS[PROBLEM_KINDS] = {
    "VideoBlit with no display open",
    "VideoShutdown with no display open",
    "VideoInit on an open display",
    "a frame size of zero or less",
    "a width above 256",
    "a frame too large for the bitmap",
    "a null window",
    "a handle that names no window",
    "a window of another thread",
    "a null frame buffer",
    "a frame buffer shorter than the frame",
    "a palette index outside 0 to 63",
    "a colour component outside 0 to 255",
    "a call from another thread",
    "the window destroyed",
    "no device context or bitmap",
    "GetDC failing",
    "CreateDIBSection failing",
    "StretchDIBits failing",
    "the frame buffer unreadable at a frame",
};

unsigned long counts[PROBLEM_KINDS];

const char PREFIX[] = "gdivideo: ";

void say_line(const char* format, va_list arguments) {
    // wvsprintf writes at most 1024 bytes, the terminating zero included, after the prefix.
    char line[sizeof(PREFIX) - 1 + 1024];
    lstrcpyA(line, PREFIX);
    wvsprintfA(line + lstrlenA(line), format, arguments);
    OutputDebugStringA(line);
}

} // namespace

void say(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    say_line(format, arguments);
    va_end(arguments);
}

void say_problem(Problem problem, const char* format, ...) {
    if (counts[problem]++ != 0)
        return;
    va_list arguments;
    va_start(arguments, format);
    say_line(format, arguments);
    va_end(arguments);
}

void count_problem(Problem problem) { ++counts[problem]; }

bool problem_came(Problem problem) { return counts[problem] != 0; }

void end_span(char* line, int size) {
    const char* separator = "; more than once: ";
    for (int problem = 0; problem < PROBLEM_KINDS; ++problem) {
        if (counts[problem] > 1) {
            char part[160];
            const int length =
                wsprintfA(part, "%s%s (%lu times)", separator, LABELS[problem], counts[problem]);
            if (lstrlenA(line) + length < size)
                lstrcatA(line, part);
            separator = ", ";
        }
        counts[problem] = 0;
    }
}

void windows_error(DWORD code, char* text, int size) {
    if (code == 0) {
        lstrcpynA(text, "the system gave no error code", size);
        return;
    }
    const int length = wsprintfA(text, "Windows error %lu: ", code);
    char* meaning = text + length;
    DWORD written = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                   0, meaning, static_cast<DWORD>(size - length), nullptr);
    while (written > 0 && (meaning[written - 1] == '\r' || meaning[written - 1] == '\n' ||
                           meaning[written - 1] == ' ' || meaning[written - 1] == '.'))
        --written;
    meaning[written] = 0;
    if (written == 0)
        lstrcpynA(meaning, "no meaning known", size - length);
}
