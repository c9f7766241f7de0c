#include "apps/serve/input_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/io_piece.h"

namespace quorvel::serve {

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);  // and with it the lock
}

bool InputFile::open(const std::string& path, std::string* error) {
  if (path == "-") {
    // Frames and samples are read where they lie, in any order the client asks for them.
    *error = "standard input (-) is not served; give a file's path";
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = path + " is not a regular file";
    ::close(fd);
    return false;
  }
  // Shared: several servers may serve one file. A lock that cannot be taken (a file system
  // without locks) only loses quorvel-fetch's check, not the serving.
  while (flock(fd, LOCK_SH) != 0 && errno == EINTR) {
  }
  path_ = path;
  fd_ = fd;
  size_ = static_cast<uint64_t>(info.st_size);
  return true;
}

void InputFile::use_bytes(const uint8_t* data, uint64_t size) {
  bytes_ = data;
  size_ = size;
}

bool InputFile::read(uint64_t offset, uint64_t length, uint8_t* out) const {
  if (offset > size_ || length > size_ - offset) return false;
  if (fd_ < 0) {
    if (length > 0) std::memcpy(out, bytes_ + offset, static_cast<size_t>(length));
    return true;
  }
  uint64_t done = 0;
  while (done < length) {
    const ssize_t piece =
        ::pread(fd_, out + done, io_piece(length - done), static_cast<off_t>(offset + done));
    if (piece > 0) {
      done += static_cast<uint64_t>(piece);
    } else if (piece < 0 && errno == EINTR) {
      continue;
    } else {
      return false;  // the end of a file cut shorter, or a failed read
    }
  }
  return true;
}

uint64_t InputFile::current_size() const {
  struct stat info {};
  if (fd_ < 0) return size_;
  return fstat(fd_, &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

}  // namespace quorvel::serve
