// What the checked build says, through OutputDebugStringA, one line each, starting "gdivideo: ".
// A problem is said the first time it comes in a span (from one VideoInit or VideoShutdown to
// the next); how often it came is said when the span ends.
#pragma once

#include <windows.h>

#include "messages.h"

// Says the line whatever came before.
void say(const char* format, ...);

// Says the problem's line, with the arguments its format takes, the first time it comes in the
// span; counts it every time.
void say_problem(Problem problem, ...);

// True when the problem has come in this span.
bool said_in_span(Problem problem);

// The same for a problem of a value: the closing count names the range of the values that came
// after the first.
void say_valued_problem(Problem problem, long value, ...);

// Ends the span: appends "; more than once: LABEL (N times), ..." to `line` for every problem that
// came more than once (with "; after the first, LOW to HIGH" for a valued one), then clears the
// counts. True when there was anything to append.
bool end_span(char* line, int size);

// "Windows error N: what the system says it means", or that there was no error code.
void windows_error(DWORD code, char* text, int size);
