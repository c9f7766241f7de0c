// The lines that open every quorvel-bench report: the machine, the compiler and flags the
// codecs were built with, and the library versions, so a table of figures says where it
// came from.
#ifndef QUORVEL_BENCH_MACHINE_INFO_H_
#define QUORVEL_BENCH_MACHINE_INFO_H_

namespace quorvel::bench {

void print_machine_info();

// The system's load averages, printed at the start and the end of a run: figures taken
// while other work ran on the machine are marked as such.
void print_load_average(const char* when);

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_MACHINE_INFO_H_
