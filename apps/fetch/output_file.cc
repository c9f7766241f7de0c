#include "apps/fetch/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "util/io_piece.h"

namespace quorvel::client {

OutputFile::OutputFile(std::string path)
    : path_(std::move(path)), name_(path_ == "-" ? "standard output" : path_) {}

OutputFile::~OutputFile() {
  close();
}

bool OutputFile::open(std::string* error) {
  close();
  if (path_ == "-") {
    fd_ = STDOUT_FILENO;
    owned_ = false;
  } else {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
      *error = "cannot create " + path_ + ": " + std::strerror(errno);
      return false;
    }
    owned_ = true;
  }
  if (isatty(fd_) != 0) {
    *error = "refusing to write media to a terminal; redirect or pipe " + name_;
    close();
    return false;
  }
  return true;
}

bool OutputFile::is_regular_file() const {
  struct stat info {};
  return fd_ >= 0 && fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
}

WriteResult OutputFile::write(const void* data, uint64_t length) {
  return write_all(data, length, -1);
}

WriteResult OutputFile::write_at(uint64_t offset, const void* data, uint64_t length) {
  return write_all(data, length, static_cast<int64_t>(offset));
}

WriteResult OutputFile::write_all(const void* data, uint64_t length, int64_t offset) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint64_t written = 0;
  while (written < length) {
    const ssize_t piece =
        offset < 0 ? ::write(fd_, bytes + written, io_piece(length - written))
                   : ::pwrite(fd_, bytes + written, io_piece(length - written),
                              static_cast<off_t>(static_cast<uint64_t>(offset) + written));
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
