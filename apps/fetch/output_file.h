// OutputFile: where the client writes media, a file or standard output ("-"). The file is
// created only when open() is called, which the fetch does once the first frame has
// arrived, so a run that fails before it leaves an existing file as it was. A reader that
// closes the pipe is told apart from a real write error, so the client can stop cleanly
// when ffmpeg or x264 has all it wants.
#ifndef QUORVEL_APPS_FETCH_OUTPUT_FILE_H_
#define QUORVEL_APPS_FETCH_OUTPUT_FILE_H_

#include <cstdint>
#include <string>

namespace quorvel::client {

enum class WriteResult { kOk, kReaderClosed, kError };

class OutputFile {
 public:
  // Names the output, a path or "-" for standard output; nothing is created yet.
  explicit OutputFile(std::string path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates (or truncates) the file, or takes standard output. False (and *error) when the
  // file cannot be created or is a terminal (media is never written to one).
  bool open(std::string* error);
  bool is_open() const { return fd_ >= 0; }
  const std::string& name() const { return name_; }
  // True for a regular file, which write_at() can mend after the fact; false for a pipe.
  bool is_regular_file() const;

  WriteResult write(const void* data, uint64_t length);
  // Overwrites bytes already written, at offset from the start. REQUIRES: is_regular_file().
  WriteResult write_at(uint64_t offset, const void* data, uint64_t length);
  // Closes a file (not standard output); kError when the last data could not be written.
  WriteResult close();
  const std::string& last_error() const { return last_error_; }

 private:
  // At offset from the start, or at the end of what was written when offset is negative.
  WriteResult write_all(const void* data, uint64_t length, int64_t offset);

  const std::string path_;
  int fd_ = -1;
  bool owned_ = false;
  std::string name_;
  std::string last_error_;
};

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_OUTPUT_FILE_H_
