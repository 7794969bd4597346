// Calling a plug-in's entry point as the host calls it, as a cdecl function, and telling whether
// it was one. A 32-bit plug-in whose entry points were declared __stdcall removes its arguments
// from the stack itself; the host, which removes them too, then runs on with a stack pointer
// that is off by their size. The call here goes through a few lines of assembly that keep the
// stack pointer aside, give back how far the entry point moved it and restore it, so that the
// probe goes on safely after such an entry point and the validation can name it. On 64-bit
// Windows there is one calling convention, and nothing can move.
#ifndef INSPECTOR_ENTRY_CALL_H
#define INSPECTOR_ENTRY_CALL_H

#include <cstdint>
#include <type_traits>

#if (defined(__GNUC__) && defined(__i386__)) || (defined(_MSC_VER) && defined(_M_IX86))
#define INSPECTOR_CHECKED_CALLS 1
// Pushes count 32-bit arguments (arguments[0] last, so it is on top), calls function, and
// restores the stack pointer. *moved: the bytes the function removed from the stack itself
// (0 for a cdecl function). Returns EAX.
extern "C" uint32_t __cdecl inspectorCallCdecl(uintptr_t function, const uint32_t* arguments, int count, int* moved);
#else
#define INSPECTOR_CHECKED_CALLS 0
#endif

#if INSPECTOR_CHECKED_CALLS
// One argument as the 32-bit stack slot the host pushes for it.
template <typename T>
uint32_t stackSlot(T value)
{
    if constexpr (std::is_pointer_v<T>)
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
    else
        return static_cast<uint32_t>(value);
}
#endif

// Calls entry(args...) as a cdecl function; *moved as above (always 0 on 64-bit). Arguments and
// results are pointers or integers of at most 32 bits, as in the plug-in interface.
template <typename Result, typename... Args>
Result callEntryPoint(Result(__cdecl* entry)(Args...), int* moved, Args... args)
{
    *moved = 0;
#if INSPECTOR_CHECKED_CALLS
    const uint32_t arguments[sizeof...(Args) + 1] = {stackSlot(args)..., 0};
    const uint32_t result = inspectorCallCdecl(reinterpret_cast<uintptr_t>(entry), arguments, static_cast<int>(sizeof...(Args)), moved);
    if constexpr (std::is_void_v<Result>) {
        (void)result;
    } else if constexpr (std::is_pointer_v<Result>) {
        return reinterpret_cast<Result>(static_cast<uintptr_t>(result));
    } else {
        return static_cast<Result>(result);
    }
#else
    return entry(args...);
#endif
}

#endif
