// OutputEnd: how the writing of one output ended, kept by the thread that writes it and read
// by the run once that thread has finished; and the output's open and writes, each ending
// as the output allows.
#ifndef QUORVEL_APPS_FETCH_OUTPUT_END_H_
#define QUORVEL_APPS_FETCH_OUTPUT_END_H_

#include <cstdint>
#include <string>

#include "apps/fetch/output_file.h"

namespace quorvel::client {

struct OutputEnd {
  bool reader_closed = false;  // the reader has what it wants: an early but clean end
  bool stopped = false;        // a stop ended a wait on the output
  std::string error;           // a write or a decode failed
};

// Opens the output unless it is open; false (and *end says why) when it cannot be.
bool open_output(OutputFile* file, OutputEnd* end);
// Writes the bytes; false (and *end says why) when the output takes no more.
bool write_output(OutputFile* file, OutputEnd* end, const void* data, uint64_t length);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_OUTPUT_END_H_
