// The golden payloads of valid/ and reject/, compiled into the test program (the build
// generates the table from the files), so the tests read no files at run time and run the
// same under Wine.
#ifndef QUORVEL_TESTS_FANO_GOLDEN_PAYLOADS_H_
#define QUORVEL_TESTS_FANO_GOLDEN_PAYLOADS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

struct GoldenFile {
  const char* path;  // relative to tests/fano, e.g. "valid/encoder_abc.fano"
  const uint8_t* bytes;
  size_t size;
};

extern const GoldenFile kGoldenFiles[];
extern const size_t kGoldenFileCount;

// The file at `path`, or null.
const GoldenFile* find_golden_file(const std::string& path);

// Paths of one folder ("valid" or "reject") that end in ".fano".
std::vector<std::string> golden_payload_paths(const std::string& folder);

}  // namespace quorvel

#endif  // QUORVEL_TESTS_FANO_GOLDEN_PAYLOADS_H_
