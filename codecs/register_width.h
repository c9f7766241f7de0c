// Which of the coders' code paths the target's registers call for. On a 32-bit target a
// uint64_t lives in two general registers: every variable shift of it becomes a branchy
// several-instruction sequence, and the halves crowd the loops' other values onto the stack.
// There the bit writers keep their 64-bit accumulator in an SSE2 register (bit_accumulator.h)
// and the prefix-code decoder reads through a 32-bit window.
//
// A build may define QUORVEL_NARROW_REGISTERS=1 on x86-64 too (the CMake option
// QUORVEL_FORCE_32BIT_PATHS), so that the tests run those paths where 32-bit code cannot.
#ifndef QUORVEL_CODECS_REGISTER_WIDTH_H_
#define QUORVEL_CODECS_REGISTER_WIDTH_H_

#include <cstdint>

#ifndef QUORVEL_NARROW_REGISTERS
#if UINTPTR_MAX > 0xFFFFFFFFu
#define QUORVEL_NARROW_REGISTERS 0
#else
#define QUORVEL_NARROW_REGISTERS 1
#endif
#endif

#if QUORVEL_NARROW_REGISTERS && defined(__SSE2__)
#define QUORVEL_SSE2_BIT_ACCUMULATOR 1
#else
#define QUORVEL_SSE2_BIT_ACCUMULATOR 0
#endif

#endif  // QUORVEL_CODECS_REGISTER_WIDTH_H_
