// MappedFile: a read-only memory map of a whole input file, so a file of gigabytes costs
// only the pages that frames are actually read from.
#ifndef QUORVEL_APPS_SERVE_MAPPED_FILE_H_
#define QUORVEL_APPS_SERVE_MAPPED_FILE_H_

#include <cstdint>
#include <string>

namespace quorvel::serve {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // False (and *error) when the file cannot be opened or mapped; an empty file maps to
  // size 0.
  bool open(const std::string& path, std::string* error);

  const uint8_t* data() const { return data_; }
  uint64_t size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
};

}  // namespace quorvel::serve

#endif  // QUORVEL_APPS_SERVE_MAPPED_FILE_H_
