// The lines that open every quorvel-bench report: the machine, the compiler and flags the
// codecs were built with, and the library versions, so a table of figures says where it
// came from.
#ifndef QUORVEL_BENCH_MACHINE_INFO_H_
#define QUORVEL_BENCH_MACHINE_INFO_H_

namespace quorvel::bench {

void print_machine_info();

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_MACHINE_INFO_H_
