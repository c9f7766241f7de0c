// OutputFile: where the client writes media, a file or standard output ("-"). A reader
// that closes the pipe is told apart from a real write error, so the client can stop
// cleanly when ffmpeg or x264 has all it wants.
#ifndef QUORVEL_APPS_FETCH_OUTPUT_FILE_H_
#define QUORVEL_APPS_FETCH_OUTPUT_FILE_H_

#include <cstdint>
#include <string>

namespace quorvel::client {

enum class WriteResult { kOk, kReaderClosed, kError };

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // "-" is standard output. False (and *error) when the file cannot be created.
  bool open(const std::string& path, std::string* error);
  bool is_terminal() const;
  const std::string& name() const { return name_; }

  WriteResult write(const void* data, uint64_t length);
  // Closes a file (not standard output); kError when the last data could not be written.
  WriteResult close();
  const std::string& last_error() const { return last_error_; }

 private:
  int fd_ = -1;
  bool owned_ = false;
  std::string name_;
  std::string last_error_;
};

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_OUTPUT_FILE_H_
