#include "tests/fano/golden_payloads.h"

namespace quorvel {

const GoldenFile* find_golden_file(const std::string& path) {
  for (size_t i = 0; i < kGoldenFileCount; ++i) {
    if (path == kGoldenFiles[i].path) return &kGoldenFiles[i];
  }
  return nullptr;
}

std::vector<std::string> golden_payload_paths(const std::string& folder) {
  const std::string prefix = folder + "/";
  const std::string suffix = ".fano";
  std::vector<std::string> paths;
  for (size_t i = 0; i < kGoldenFileCount; ++i) {
    const std::string path = kGoldenFiles[i].path;
    if (path.compare(0, prefix.size(), prefix) == 0 && path.size() > suffix.size() &&
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
      paths.push_back(path);
    }
  }
  return paths;
}

}  // namespace quorvel
