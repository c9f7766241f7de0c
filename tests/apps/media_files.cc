#include "tests/apps/media_files.h"

#include <fstream>
#include <sstream>

namespace quorvel::testing {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool read_y4m(const std::string& path, size_t frame_bytes, Y4mFile* file) {
  const std::string bytes = read_file(path);
  size_t at = bytes.find('\n');
  if (bytes.rfind("YUV4MPEG2 ", 0) != 0 || at == std::string::npos) return false;
  file->header = bytes.substr(0, at);
  file->frames.clear();
  for (++at; at < bytes.size();) {
    const size_t line_end = bytes.find('\n', at);
    if (bytes.compare(at, 5, "FRAME") != 0 || line_end == std::string::npos ||
        bytes.size() - (line_end + 1) < frame_bytes) {
      return false;
    }
    file->frames.push_back(bytes.substr(line_end + 1, frame_bytes));
    at = line_end + 1 + frame_bytes;
  }
  return true;
}

bool read_wav(const std::string& path, WavFile* file) {
  const std::string bytes = read_file(path);
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const uint32_t size = static_cast<uint8_t>(bytes[at + 4]) |
                          static_cast<uint8_t>(bytes[at + 5]) << 8 |
                          static_cast<uint8_t>(bytes[at + 6]) << 16 |
                          static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 7])) << 24;
    if (bytes.compare(at, 4, "data") == 0) {
      file->header = bytes.substr(0, at + 8);
      file->data = bytes.substr(at + 8, size);
      return true;
    }
    at += 8 + size + (size & 1);
  }
  return false;
}

}  // namespace quorvel::testing
