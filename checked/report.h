// What the checked build says, through OutputDebugStringA, one line each, starting "gdivideo: ".
// A problem is said the first time it comes in a span (from one VideoInit or VideoShutdown to
// the next); how often it came is said when the span ends.
#pragma once

#include <windows.h>

enum Problem {
    PROBLEM_BLIT_CLOSED,
    PROBLEM_SHUTDOWN_CLOSED,
    PROBLEM_INIT_OPEN,
    PROBLEM_SIZE,
    PROBLEM_WIDTH,
    PROBLEM_TOO_LARGE,
    PROBLEM_NULL_WINDOW,
    PROBLEM_NO_WINDOW,
    PROBLEM_WINDOW_THREAD,
    PROBLEM_NULL_FRAME,
    PROBLEM_SHORT_FRAME,
    PROBLEM_INDEX,
    PROBLEM_COMPONENT,
    PROBLEM_CALL_THREAD,
    PROBLEM_WINDOW_GONE,
    PROBLEM_NO_SURFACE,
    PROBLEM_GET_DC,
    PROBLEM_CREATE_SECTION,
    PROBLEM_STRETCH,
    PROBLEM_UNREADABLE_FRAME,
    PROBLEM_KINDS
};

// Says the line whatever came before.
void say(const char* format, ...);

// Says the problem the first time it comes in the span; counts it every time.
void say_problem(Problem problem, const char* format, ...);

// Counts the problem as said: for a problem that an earlier line has said already.
void count_problem(Problem problem);

// True when the problem has come in this span.
bool problem_came(Problem problem);

// Ends the span: appends "; more than once: LABEL (N times), ..." to `line` for every problem that
// came more than once, then clears the counts.
void end_span(char* line, int size);

// "Windows error N: what the system says it means", or that there was no error code.
void windows_error(DWORD code, char* text, int size);
