#include "apps/serve/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace quorvel::serve {

MappedFile::~MappedFile() {
  if (data_ != nullptr) munmap(const_cast<uint8_t*>(data_), static_cast<size_t>(size_));
}

bool MappedFile::open(const std::string& path, std::string* error) {
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
  size_ = static_cast<uint64_t>(info.st_size);
  if (size_ > SIZE_MAX) {
    *error = path + " is too large to map in a 32-bit build";
    ::close(fd);
    size_ = 0;
    return false;
  }
  if (size_ > 0) {
    void* mapping = mmap(nullptr, static_cast<size_t>(size_), PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapping == MAP_FAILED) {
      *error = "cannot map " + path + ": " + std::strerror(errno);
      ::close(fd);
      size_ = 0;
      return false;
    }
    data_ = static_cast<const uint8_t*>(mapping);
  }
  ::close(fd);  // the mapping stays valid without the descriptor
  return true;
}

}  // namespace quorvel::serve
