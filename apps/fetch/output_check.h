// The checks made on an output path before the client connects, so that an output that
// cannot be written does not use up a server's one session (a --once quorvel-serve, or the
// plug-in's whole output run) first. Nothing is created: an earlier run's file stays as it
// is until the first frame arrives.
#ifndef QUORVEL_APPS_FETCH_OUTPUT_CHECK_H_
#define QUORVEL_APPS_FETCH_OUTPUT_CHECK_H_

#include <string>

namespace quorvel::client {

enum class OutputCheck {
  kOk,
  kCannotWrite,  // no folder of that name, or one (or a file) this user cannot write
  kServed,       // an input that a running quorvel-serve serves
};

// "-" (standard output) is checked elsewhere and passes. A path that does not exist needs a
// folder that takes new files; one that does must be writable and not a folder. A regular
// file that a quorvel-serve on this machine serves (it holds a shared flock on each input)
// would be cut short under it. *problem says why, for anything but kOk.
OutputCheck check_output_path(const std::string& path, std::string* problem);

}  // namespace quorvel::client

#endif  // QUORVEL_APPS_FETCH_OUTPUT_CHECK_H_
