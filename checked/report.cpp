#include "report.h"

namespace {

unsigned long counts[PROBLEM_KINDS];
bool valued[PROBLEM_KINDS];
long lowest[PROBLEM_KINDS], highest[PROBLEM_KINDS];

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

void say_problem(Problem problem, ...) {
    if (counts[problem]++ != 0)
        return;
    va_list arguments;
    va_start(arguments, problem);
    say_line(MESSAGES[problem].text, arguments);
    va_end(arguments);
}

void say_valued_problem(Problem problem, long value, ...) {
    if (counts[problem]++ != 0) {
        if (!valued[problem] || value < lowest[problem])
            lowest[problem] = value;
        if (!valued[problem] || value > highest[problem])
            highest[problem] = value;
        valued[problem] = true;
        return;
    }
    va_list arguments;
    va_start(arguments, value);
    say_line(MESSAGES[problem].text, arguments);
    va_end(arguments);
}

void count_problem(Problem problem) { ++counts[problem]; }

bool problem_came(Problem problem) { return counts[problem] != 0; }

bool end_span(char* line, int size) {
    const char* separator = "; more than once: ";
    bool any = false;
    for (int problem = 0; problem < PROBLEM_KINDS; ++problem) {
        if (counts[problem] > 1) {
            char part[200];
            int length = wsprintfA(part, "%s%s (%lu times", separator, MESSAGES[problem].label, counts[problem]);
            if (valued[problem] && lowest[problem] == highest[problem])
                length += wsprintfA(part + length, "; after the first, %ld", lowest[problem]);
            else if (valued[problem])
                length += wsprintfA(part + length, "; after the first, %ld to %ld", lowest[problem],
                                    highest[problem]);
            lstrcatA(part, ")");
            if (lstrlenA(line) + length + 1 < size)
                lstrcatA(line, part);
            separator = ", ";
            any = true;
        }
        counts[problem] = 0;
        valued[problem] = false;
    }
    return any;
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
