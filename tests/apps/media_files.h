// Small readers the end-to-end tests use to look at what the programs wrote, written apart
// from the programs' own code: a Y4M file split into its header line and frame planes, and
// a WAV file split into its header and data bytes.
#ifndef QUORVEL_TESTS_APPS_MEDIA_FILES_H_
#define QUORVEL_TESTS_APPS_MEDIA_FILES_H_

#include <string>
#include <vector>

namespace quorvel::testing {

std::string read_file(const std::string& path);

struct Y4mFile {
  std::string header;               // the stream header line, without its newline
  std::vector<std::string> frames;  // plane bytes of each frame, FRAME line removed
};
// False when the file is no Y4M of whole frames of frame_bytes each.
bool read_y4m(const std::string& path, size_t frame_bytes, Y4mFile* file);

struct WavFile {
  std::string header;  // everything before the data bytes
  std::string data;
};
// Splits at the first "data" chunk; false when there is none.
bool read_wav(const std::string& path, WavFile* file);

}  // namespace quorvel::testing

#endif  // QUORVEL_TESTS_APPS_MEDIA_FILES_H_
