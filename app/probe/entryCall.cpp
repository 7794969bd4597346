// The 32-bit call gate of entryCall.h. It keeps the caller's stack pointer in its own frame
// (reached through EBP, which every calling convention preserves), pushes the arguments, calls,
// measures how far the callee moved ESP, and restores ESP and the registers the caller keeps,
// whatever the callee did to them.
#include "entryCall.h"

#if INSPECTOR_CHECKED_CALLS && defined(__GNUC__)
// Frame: 8(%ebp) function, 12(%ebp) arguments, 16(%ebp) count, 20(%ebp) moved; -16(%ebp) holds
// the stack pointer the callee must return with.
__asm__(
    ".text\n"
    ".globl _inspectorCallCdecl\n"
    ".def _inspectorCallCdecl; .scl 2; .type 32; .endef\n"
    "_inspectorCallCdecl:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl %esi\n"
    "    pushl %edi\n"
    "    pushl %ebx\n"
    "    subl $4, %esp\n"
    "    movl 16(%ebp), %ecx\n"
    "    movl 12(%ebp), %edx\n"
    "1:  testl %ecx, %ecx\n"
    "    jz 2f\n"
    "    decl %ecx\n"
    "    pushl (%edx,%ecx,4)\n"
    "    jmp 1b\n"
    "2:  movl %esp, -16(%ebp)\n"
    "    call *8(%ebp)\n"
    "    movl %esp, %ecx\n"
    "    subl -16(%ebp), %ecx\n"
    "    movl 20(%ebp), %edx\n"
    "    movl %ecx, (%edx)\n"
    "    leal -12(%ebp), %esp\n"
    "    popl %ebx\n"
    "    popl %edi\n"
    "    popl %esi\n"
    "    popl %ebp\n"
    "    ret\n");
#elif INSPECTOR_CHECKED_CALLS && defined(_MSC_VER)
extern "C" __declspec(naked) uint32_t __cdecl inspectorCallCdecl(uintptr_t, const uint32_t*, int, int*)
{
    __asm {
        push ebp
        mov ebp, esp
        push esi
        push edi
        push ebx
        sub esp, 4
        mov ecx, [ebp + 16]
        mov edx, [ebp + 12]
    next_argument:
        test ecx, ecx
        jz call_function
        dec ecx
        push dword ptr [edx + ecx * 4]
        jmp next_argument
    call_function:
        mov [ebp - 16], esp
        call dword ptr [ebp + 8]
        mov ecx, esp
        sub ecx, [ebp - 16]
        mov edx, [ebp + 20]
        mov [edx], ecx
        lea esp, [ebp - 12]
        pop ebx
        pop edi
        pop esi
        pop ebp
        ret
    }
}
#endif
