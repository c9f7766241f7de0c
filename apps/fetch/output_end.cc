#include "apps/fetch/output_end.h"

namespace quorvel::client {

bool open_output(OutputFile* file, OutputEnd* end) {
  if (file->is_open()) return true;
  switch (file->open(&end->error)) {
    case WriteResult::kOk:
      return true;
    case WriteResult::kStopped:
      end->stopped = true;
      return false;
    case WriteResult::kReaderClosed:
    case WriteResult::kError:
      break;
  }
  return false;
}

bool write_output(OutputFile* file, OutputEnd* end, const void* data, uint64_t length) {
  switch (file->write(data, length)) {
    case WriteResult::kOk:
      return true;
    case WriteResult::kReaderClosed:
      end->reader_closed = true;
      return false;
    case WriteResult::kStopped:
      end->stopped = true;
      return false;
    case WriteResult::kError:
      break;
  }
  end->error = "cannot write " + file->name() + ": " + file->last_error();
  return false;
}

}  // namespace quorvel::client
