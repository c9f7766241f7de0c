// Options: the harness's "--name value" arguments, looked up by name with a default.
#ifndef QUORVEL_WINDOWS_HARNESS_OPTIONS_H_
#define QUORVEL_WINDOWS_HARNESS_OPTIONS_H_

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace harness {

class Options {
 public:
  // Reads argv[first..argc) as name/value pairs; valid() is false on a stray word.
  Options(int argc, char** argv, int first) {
    for (int i = first; i < argc; i += 2) {
      if (std::strncmp(argv[i], "--", 2) != 0 || i + 1 >= argc) {
        valid_ = false;
        return;
      }
      values_[argv[i] + 2] = argv[i + 1];
    }
  }

  bool valid() const { return valid_; }
  bool has(const char* name) const { return values_.count(name) != 0; }
  std::string text(const char* name, const char* fallback) const {
    auto found = values_.find(name);
    return found == values_.end() ? fallback : found->second;
  }
  long number(const char* name, long fallback) const {
    auto found = values_.find(name);
    return found == values_.end() ? fallback : std::strtol(found->second.c_str(), nullptr, 10);
  }

 private:
  std::map<std::string, std::string> values_;
  bool valid_ = true;
};

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_OPTIONS_H_
