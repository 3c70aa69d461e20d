#pragma once
// KORALUX_ALWAYS_INLINE asks the compiler to compile a function into its caller whatever its
// size. The passes are quick only when the classification of an event and the pass's handling
// of it are one piece of code, without a call between them.

#if defined(__GNUC__)
#define KORALUX_ALWAYS_INLINE __attribute__((always_inline))
#else
#define KORALUX_ALWAYS_INLINE
#endif
