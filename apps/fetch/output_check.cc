#include "apps/fetch/output_check.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvel::client {

namespace {

// The folder a new file at path would go into.
std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool can(const std::string& path, int mode) {
  return faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

// True when another open of the file holds a lock on it: quorvel-serve's shared lock on
// an input it serves. Our own probe's lock goes with its descriptor.
bool locked_by_another(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;  // cannot tell
  int result;
  do {
    result = flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  const bool locked = result != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return locked;
}

}  // namespace

OutputCheck check_output_path(const std::string& path, std::string* problem) {
  if (path == "-") return OutputCheck::kOk;
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      *problem = "cannot write " + path + ": it is a folder";
      return OutputCheck::kCannotWrite;
    }
    if (!can(path, W_OK)) {
      *problem = "cannot write " + path + ": " + std::strerror(errno);
      return OutputCheck::kCannotWrite;
    }
    if (S_ISREG(info.st_mode) && locked_by_another(path)) {
      *problem = "refusing to write " + path +
                 ": a running quorvel-serve serves it, and writing it would cut it short under "
                 "the server";
      return OutputCheck::kServed;
    }
    return OutputCheck::kOk;
  }
  if (errno != ENOENT) {
    *problem = "cannot create " + path + ": " + std::strerror(errno);
    return OutputCheck::kCannotWrite;
  }
  const std::string folder = folder_of(path);
  if (!can(folder, W_OK | X_OK)) {
    const int why = errno;
    *problem = "cannot create " + path + ": " +
               (why == ENOENT ? "there is no folder " + folder : std::string(std::strerror(why)));
    return OutputCheck::kCannotWrite;
  }
  return OutputCheck::kOk;
}

}  // namespace quorvel::client
