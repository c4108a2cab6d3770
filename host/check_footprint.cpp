#include "check_footprint.h"

#include <cpuid.h>

#include <cstdio>

// The call itself, in assembly: the program's callee-saved registers put aside, marked ones given
// to the plugin, the arguments pushed (or loaded) as a cdecl caller does, the plugin called, and
// what it left in those registers, the stack pointer and the flags kept; then the direction flag
// cleared and the program's registers and stack put back, whatever the plugin did with them.
extern "C" {
uintptr_t footprint_saved, footprint_entry, footprint_flags;
uintptr_t footprint_after[9]; // the callee-saved registers as left, then the stack pointer
int32_t footprint_call(const void* function, const uintptr_t* arguments, int count);
}

namespace {

#if defined(__i386__)
const char* const REGISTERS[] = {"EBX", "ESI", "EDI", "EBP"};
const uintptr_t MARKS[] = {0x5EB0B0B1u, 0x5E1D1D12u, 0x5ED1D1D3u, 0x5EB9B9B4u};
#else
const char* const REGISTERS[] = {"RBX", "RBP", "RDI", "RSI", "R12", "R13", "R14", "R15"};
const uintptr_t MARKS[] = {0x5EB0B0B15EB0B0B1u, 0x5EB9B9B45EB9B9B4u, 0x5ED1D1D35ED1D1D3u,
                           0x5E1D1D125E1D1D12u, 0x5E12121C5E12121Cu, 0x5E13131D5E13131Du,
                           0x5E14141E5E14141Eu, 0x5E15151F5E15151Fu};
#endif
constexpr int CALLEE_SAVED = sizeof(REGISTERS) / sizeof(REGISTERS[0]);

} // namespace

#if defined(__i386__)
__asm__(R"(
    .text
    .globl _footprint_call
_footprint_call:
    pushl %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 20(%esp), %eax
    movl 24(%esp), %edx
    movl 28(%esp), %ecx
    movl %esp, _footprint_saved
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%edx,%ecx,4)
    jmp 1b
2:  movl %esp, _footprint_entry
    movl $0x5EB0B0B1, %ebx
    movl $0x5E1D1D12, %esi
    movl $0x5ED1D1D3, %edi
    movl $0x5EB9B9B4, %ebp
    call *%eax
    movl %ebx, _footprint_after
    movl %esi, _footprint_after+4
    movl %edi, _footprint_after+8
    movl %ebp, _footprint_after+12
    movl %esp, _footprint_after+16
    pushfl
    popl _footprint_flags
    cld
    movl _footprint_saved, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
#else
// Microsoft's x64 convention: the first four arguments in RCX, RDX, R8 and R9, the fifth on the
// stack above 32 bytes of shadow space, the stack 16-byte aligned at the call.
__asm__(R"(
    .text
    .globl footprint_call
footprint_call:
    pushq %rbp
    pushq %rbx
    pushq %rdi
    pushq %rsi
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    subq $56, %rsp
    movq %rsp, footprint_saved(%rip)
    movq %rcx, %rax
    movq %rdx, %r10
    movq 32(%r10), %r11
    movq %r11, 32(%rsp)
    movq (%r10), %rcx
    movq 8(%r10), %rdx
    movq 16(%r10), %r8
    movq 24(%r10), %r9
    movq %rsp, footprint_entry(%rip)
    movabsq $0x5EB0B0B15EB0B0B1, %rbx
    movabsq $0x5EB9B9B45EB9B9B4, %rbp
    movabsq $0x5ED1D1D35ED1D1D3, %rdi
    movabsq $0x5E1D1D125E1D1D12, %rsi
    movabsq $0x5E12121C5E12121C, %r12
    movabsq $0x5E13131D5E13131D, %r13
    movabsq $0x5E14141E5E14141E, %r14
    movabsq $0x5E15151F5E15151F, %r15
    call *%rax
    movq %rbx, footprint_after(%rip)
    movq %rbp, footprint_after+8(%rip)
    movq %rdi, footprint_after+16(%rip)
    movq %rsi, footprint_after+24(%rip)
    movq %r12, footprint_after+32(%rip)
    movq %r13, footprint_after+40(%rip)
    movq %r14, footprint_after+48(%rip)
    movq %r15, footprint_after+56(%rip)
    movq %rsp, footprint_after+64(%rip)
    pushfq
    popq footprint_flags(%rip)
    cld
    movq footprint_saved(%rip), %rsp
    addq $56, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rsi
    popq %rdi
    popq %rbx
    popq %rbp
    ret
)");
#endif

namespace {

struct FloatingPoint {
    uint16_t control, tag;
    uint32_t mxcsr;
};

bool has_sse() {
    unsigned a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && (d & bit_SSE);
}

FloatingPoint floating_point() {
    struct {
        uint16_t control, unused1, status, unused2, tag, unused3;
        uint32_t rest[4];
    } environment;
    // FNSTENV masks every x87 exception as it stores: FLDENV puts the environment back as it was.
    __asm__ volatile("fnstenv %0\n\tfldenv %0" : "=m"(environment));
    FloatingPoint state = {environment.control, environment.tag, 0};
    if (has_sse())
        __asm__ volatile("stmxcsr %0" : "=m"(state.mxcsr));
    return state;
}

void say(std::string& changed, const std::string& what) { changed += (changed.empty() ? "" : "; ") + what; }

std::string hex(uintptr_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof(text), "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

} // namespace

int32_t call_watched(const void* function, const uintptr_t (&arguments)[5], int count, std::string& changed) {
    changed.clear();
    const FloatingPoint before = floating_point();
    const int32_t result = footprint_call(function, arguments, count);
    const FloatingPoint after = floating_point();
    for (int i = 0; i < CALLEE_SAVED; ++i)
        if (footprint_after[i] != MARKS[i])
            say(changed, std::string("it changed ") + REGISTERS[i] +
                             ", which a function must give back as it "
                             "found it, and left it so: the program "
                             "then computes wrong or crashes");
    const intptr_t moved = static_cast<intptr_t>(footprint_after[CALLEE_SAVED] - footprint_entry);
    if (moved > 0 && moved == static_cast<intptr_t>(count * sizeof(uintptr_t)))
        say(changed,
            "it removed its " + std::to_string(moved) +
                " bytes of arguments from the stack itself (a __stdcall function): the program, "
                "which calls it as __cdecl, removes them again, and its stack is then off by as many");
    else if (moved)
        say(changed, "it left the stack pointer " + std::to_string(moved) + " bytes off");
    if (footprint_flags & 0x400)
        say(changed, "it left the direction flag set: the program's next string copy runs backwards");
    if (after.control != before.control) {
        say(changed, "it left the x87 control word at " + hex(after.control, 4) + ", not " +
                         hex(before.control, 4) +
                         " (precision and rounding): the program's floating-point results change");
        __asm__ volatile("fldcw %0" : : "m"(before.control));
    }
    if (after.tag != before.tag) {
        say(changed, "it left the x87 registers in use (MMX without EMMS): the program's next "
                     "floating-point operation gives a wrong result or NaN");
        __asm__ volatile("emms");
    }
    if (after.mxcsr != before.mxcsr) {
        say(changed, "it left MXCSR at " + hex(after.mxcsr, 4) + ", not " + hex(before.mxcsr, 4) +
                         ": the program's SSE arithmetic rounds otherwise or raises exceptions");
        __asm__ volatile("ldmxcsr %0" : : "m"(before.mxcsr));
    }
    return result;
}
