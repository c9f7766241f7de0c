// OutputFile: where the client writes media, a file or standard output ("-"). The file is
// created only when open() is called, which the fetch does once the first frame (or, for
// the audio, its first samples) has arrived, so a run that fails before it leaves an
// existing file as it was. A named pipe is opened without waiting for its reader and
// written without blocking, so that one output whose reader is not there yet (or is slow)
// never keeps the other waiting, and a stop ends any wait. A reader that closes the pipe
// is told apart from a real write error, so the client can stop cleanly when ffmpeg or
// x264 has all it wants.
#ifndef QUORVEL_APPS_FETCH_OUTPUT_FILE_H_
#define QUORVEL_APPS_FETCH_OUTPUT_FILE_H_

#include <cstdint>
#include <string>

#include "client/client_socket.h"

namespace quorvel::client {

// kStopped: the run was stopped while the output kept a write (or the open) waiting.
enum class WriteResult { kOk, kReaderClosed, kError, kStopped };

class OutputFile {
 public:
  // Names the output, a path or "-" for standard output; nothing is created yet.
  explicit OutputFile(std::string path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Asked while the output keeps an open or a write waiting: any stop ends the wait.
  // May be null (the default): then only the reader ends it.
  void set_stop_check(StopCheck stop) { stop_ = stop; }

  // Creates (or truncates) the file, or takes standard output; a named pipe is opened once
  // its reader has opened it. kError (and *error) when the file cannot be created or is a
  // terminal (media is never written to one).
  WriteResult open(std::string* error);
  bool is_open() const { return fd_ >= 0; }
  const std::string& name() const { return name_; }
  // True for a regular file, which write_at() can mend after the fact; false for a pipe.
  bool is_regular_file() const;

  WriteResult write(const void* data, uint64_t length);
  // Overwrites bytes already written, at offset from the start. REQUIRES: is_regular_file().
  WriteResult write_at(uint64_t offset, const void* data, uint64_t length);
  // Cuts the file to its first size bytes. REQUIRES: is_regular_file().
  WriteResult cut_to(uint64_t size);
  // Closes a file (not standard output); kError when the last data could not be written.
  WriteResult close();
  const std::string& last_error() const { return last_error_; }

 private:
  // At offset from the start, or at the end of what was written when offset is negative.
  WriteResult write_all(const void* data, uint64_t length, int64_t offset);
  // A write that could not go on at once: waits until the output takes more, the reader
  // goes away or the run stops.
  WriteResult wait_until_writable();
  bool stopping() const;
  // Switches a pipe or socket to non-blocking writes, noting what to restore.
  void write_without_blocking();

  const std::string path_;
  int fd_ = -1;
  bool owned_ = false;
  int restore_flags_ = -1;  // standard output's flags before, when they were changed
  StopCheck stop_ = nullptr;
  std::string name_;
  std::string last_error_;
};

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_OUTPUT_FILE_H_
