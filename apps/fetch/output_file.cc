#include "apps/fetch/output_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "util/io_piece.h"

namespace quorvel::client {

namespace {

// How often a wait for a pipe's reader (to open it, or to read more) looks at the stop.
constexpr int kOutputWaitMs = 50;

bool is_pipe_or_socket(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
}

}  // namespace

OutputFile::OutputFile(std::string path)
    : path_(std::move(path)), name_(path_ == "-" ? "standard output" : path_) {}

OutputFile::~OutputFile() {
  close();
}

bool OutputFile::stopping() const {
  return stop_ != nullptr && stop_() != Stop::kNone;
}

void OutputFile::write_without_blocking() {
  const int flags = fcntl(fd_, F_GETFL);
  if (flags < 0 || (flags & O_NONBLOCK) != 0 || !is_pipe_or_socket(fd_)) return;
  // Standard output's open file may be shared with the program that started us: its flags
  // are put back when the output closes.
  if (!owned_) restore_flags_ = flags;
  fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

WriteResult OutputFile::open(std::string* error) {
  close();
  if (path_ == "-") {
    fd_ = STDOUT_FILENO;
    owned_ = false;
  } else {
    // Without O_NONBLOCK, opening a named pipe waits for its reader, and a reader that
    // opens another pipe of ours first would wait for us in turn. ENXIO: no reader yet.
    for (;;) {
      fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
      if (fd_ >= 0 || errno != ENXIO) break;
      if (stopping()) return WriteResult::kStopped;
      usleep(kOutputWaitMs * 1000);
    }
    if (fd_ < 0) {
      *error = "cannot create " + path_ + ": " + std::strerror(errno);
      return WriteResult::kError;
    }
    owned_ = true;
  }
  if (isatty(fd_) != 0) {
    *error = "refusing to write media to a terminal; redirect or pipe " + name_;
    close();
    return WriteResult::kError;
  }
  write_without_blocking();
  return WriteResult::kOk;
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

WriteResult OutputFile::cut_to(uint64_t size) {
  if (ftruncate(fd_, static_cast<off_t>(size)) == 0) return WriteResult::kOk;
  last_error_ = std::strerror(errno);
  return WriteResult::kError;
}

WriteResult OutputFile::wait_until_writable() {
  pollfd entry{fd_, POLLOUT, 0};
  for (;;) {
    if (stopping()) return WriteResult::kStopped;
    const int ready = poll(&entry, 1, kOutputWaitMs);
    if (ready > 0 || (ready < 0 && errno != EINTR)) return WriteResult::kOk;  // write tells
  }
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
    } else if (piece < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const WriteResult waited = wait_until_writable();
      if (waited != WriteResult::kOk) return waited;
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
  if (!owned_ && fd_ >= 0 && restore_flags_ >= 0) fcntl(fd_, F_SETFL, restore_flags_);
  restore_flags_ = -1;
  fd_ = -1;
  owned_ = false;
  return result;
}

}  // namespace quorvel::client
