#include "report.h"

namespace {

unsigned long counts[PROBLEM_KINDS];
bool valued[PROBLEM_KINDS];
long lowest[PROBLEM_KINDS], highest[PROBLEM_KINDS];

// Wine's debug channel shows at most about 290 characters of a line; longer ones are said in parts,
// each ending where a clause does.
constexpr int MOST_SHOWN = 280;

// "gdivideo: ", or where another copy of the plugin is loaded in the process, the name and address
// of the one that speaks: "gdivideo (gdivideo.dll at 0x67600000): ".
void prefix(char* text) {
    lstrcpyA(text, "gdivideo: ");
    using Enumerate = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
    auto enumerate = reinterpret_cast<Enumerate>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32EnumProcessModules")));
    HMODULE self = nullptr, modules[512];
    DWORD bytes = 0;
    if (!enumerate ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&prefix), &self) ||
        !enumerate(GetCurrentProcess(), modules, sizeof(modules), &bytes))
        return;
    bool another = false;
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i)
        another = another || (modules[i] != self && GetProcAddress(modules[i], "VideoInit"));
    char path[MAX_PATH];
    if (!another || !GetModuleFileNameA(self, path, MAX_PATH))
        return;
    const char* name = path;
    for (const char* at = path; *at; ++at)
        if (*at == '\\' || *at == '/')
            name = at + 1;
    wsprintfA(text, "gdivideo (%s at 0x%08lX): ", name,
              static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(self)));
}

void say_line(const char* format, va_list arguments) {
    const DWORD error = GetLastError();
    char start[MAX_PATH + 40], text[1024];
    prefix(start);
    // wvsprintf writes at most 1024 bytes, the terminating zero included.
    wvsprintfA(text, format, arguments);
    const int room = MOST_SHOWN - lstrlenA(start) - 12;
    char line[sizeof(start) + sizeof(text) + 16];
    for (const char* rest = text; *rest;) {
        int length = lstrlenA(rest);
        // At the last "; " that leaves a part short enough, else the last ", ", else the last space.
        static const char* const MARKS[] = {"; ", ", ", " "};
        for (const char* mark : MARKS) {
            if (length <= room)
                break;
            int cut = room;
            while (cut > room / 2 && !(rest[cut] == mark[0] && (!mark[1] || rest[cut + 1] == mark[1])))
                --cut;
            if (cut > room / 2)
                length = mark[1] ? cut + 1 : cut;
        }
        if (length > room)
            length = room;
        lstrcpyA(line, start);
        if (rest != text)
            lstrcatA(line, "(continued) ");
        lstrcpynA(line + lstrlenA(line), rest, length + 1);
        OutputDebugStringA(line);
        rest += length;
        while (*rest == ' ')
            ++rest;
    }
    SetLastError(error);
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

bool said_in_span(Problem problem) { return counts[problem] != 0; }

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

bool end_span(char* line, int size) {
    const char* separator = "; more than once: ";
    bool any = false;
    for (int problem = 0; problem < PROBLEM_KINDS; ++problem) {
        if (counts[problem] > 1) {
            char part[200];
            int length =
                wsprintfA(part, "%s%s (%lu times", separator, MESSAGES[problem].label, counts[problem]);
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
    const DWORD error = GetLastError();
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
    SetLastError(error);
}
