// What a call of the plugin leaves behind in the thread that made it, beyond its result: the x87
// control and tag words, MXCSR, the direction flag, the registers a function must give back as it
// found them, and the stack pointer (a cdecl caller's: the caller removes the arguments). Each is
// compared before and after the call and put back, so that the program goes on as it would have.
#pragma once

#include <cstdint>
#include <string>

// Calls `function` as the program does (cdecl) with the first `count` of `arguments`, each a
// 32-bit value or an address; says in `changed` what it left otherwise than it found, and puts
// that back. Empty where it left nothing.
int32_t call_watched(const void* function, const uintptr_t (&arguments)[5], int count, std::string& changed);
