#include "apps/fetch/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvel::client {

OutputFile::~OutputFile() { close(); }

bool OutputFile::open(const std::string& path, std::string* error) {
  close();
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    owned_ = false;
    name_ = "standard output";
    return true;
  }
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  owned_ = true;
  name_ = path;
  return true;
}

bool OutputFile::is_terminal() const { return fd_ >= 0 && isatty(fd_) != 0; }

WriteResult OutputFile::write(const void* data, uint64_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint64_t written = 0;
  while (written < length) {
    const ssize_t piece = ::write(fd_, bytes + written, length - written);
    if (piece > 0) {
      written += static_cast<uint64_t>(piece);
    } else if (piece < 0 && errno == EINTR) {
      continue;
    } else if (piece < 0 && errno == EPIPE) {
      return WriteResult::kReaderClosed;
    } else {
      last_error_ = piece < 0 ? std::strerror(errno) : "nothing written";
      return WriteResult::kError;
    }
  }
  return WriteResult::kOk;
}

WriteResult OutputFile::close() {
  WriteResult result = WriteResult::kOk;
  if (owned_ && fd_ >= 0 && ::close(fd_) != 0) {
    last_error_ = std::strerror(errno);
    result = WriteResult::kError;
  }
  fd_ = -1;
  owned_ = false;
  return result;
}

}  // namespace quorvel::client
