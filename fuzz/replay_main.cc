// Replays fuzz inputs without libFuzzer: feeds every file named on the command line, and
// every file inside each directory named there, to LLVMFuzzerTestOneInput once. The normal
// build links it with each fuzz target, so ctest runs the corpora under the sanitizers.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replay_file(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
  // An exactly sized copy, so a read past the input is caught by the sanitizer.
  std::vector<uint8_t> input(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(input.data(), input.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int replayed = 0;
  int failed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (!entry.is_regular_file()) continue;
        if (replay_file(entry.path()))
          ++replayed;
        else
          ++failed;
      }
    } else if (replay_file(path)) {
      ++replayed;
    } else {
      ++failed;
    }
  }
  std::printf("replayed %d inputs, %d unreadable\n", replayed, failed);
  return failed == 0 && replayed > 0 ? 0 : 1;
}
