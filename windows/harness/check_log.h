// CheckLog: the harness's pass/fail record. Each check prints one ASCII line when it fails,
// and the run ends with "N passed, N failed" and a nonzero exit status on any failure.
#ifndef QUORVEL_WINDOWS_HARNESS_CHECK_LOG_H_
#define QUORVEL_WINDOWS_HARNESS_CHECK_LOG_H_

#include <cstdio>

namespace harness {

class CheckLog {
 public:
  // Records one check; prints `what` when it failed. Returns `ok`.
  bool expect(bool ok, const char* what) {
    if (ok) {
      ++passed_;
    } else {
      ++failed_;
      std::printf("FAILED: %s\n", what);
    }
    return ok;
  }

  // Prints the summary line and returns the process exit status.
  int finish() const {
    std::printf("%d passed, %d failed\n", passed_, failed_);
    std::fflush(stdout);
    return failed_ == 0 && passed_ > 0 ? 0 : 1;
  }

 private:
  int passed_ = 0;
  int failed_ = 0;
};

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_CHECK_LOG_H_
