// InputFile: the bytes of one of quorvel-serve's inputs (the --input Y4M, the --audio WAV),
// read with pread into the caller's buffer as frames and samples are served, or bytes in
// memory (how the fuzz targets feed the parsers). A file is not mapped: a file rewritten
// shorter while it is served then gives a short read, which the caller reports, where a
// mapping would kill the process with SIGBUS. An open file is held with a shared flock for
// as long as it stays open, so that quorvel-fetch can tell that it is being served and
// refuse to write over it.
#ifndef QUORVEL_APPS_SERVE_INPUT_FILE_H_
#define QUORVEL_APPS_SERVE_INPUT_FILE_H_

#include <cstdint>
#include <string>

namespace quorvel::serve {

class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // False (and *error) when the path is standard input ("-"), cannot be opened or is not a
  // regular file.
  bool open(const std::string& path, std::string* error);
  // Reads from these bytes instead. REQUIRES: they outlive the input.
  void use_bytes(const uint8_t* data, uint64_t size);

  // The size when the input was opened; reads are checked against what the file holds now.
  uint64_t size() const { return size_; }
  // The path, for messages ("" for bytes in memory).
  const std::string& path() const { return path_; }

  // Copies length bytes from offset into out. False when the input does not hold them
  // (any more: the file was cut shorter since it was opened) or the read fails.
  bool read(uint64_t offset, uint64_t length, uint8_t* out) const;
  // The file's size now, for a message after a failed read.
  uint64_t current_size() const;

 private:
  std::string path_;
  int fd_ = -1;
  const uint8_t* bytes_ = nullptr;  // when reading from memory
  uint64_t size_ = 0;
};

}  // namespace quorvel::serve

#endif  // QUORVEL_APPS_SERVE_INPUT_FILE_H_
