// Standard streams that a caller left closed (`prog >&-`). The next descriptor a program
// opens takes the lowest free number, so a connection's socket would become standard
// output and the media would go into the socket. Opening /dev/null on the missing ones,
// before anything else is opened, keeps every later descriptor off 0, 1 and 2.
#ifndef QUORVEL_APPS_COMMON_STANDARD_STREAMS_H_
#define QUORVEL_APPS_COMMON_STANDARD_STREAMS_H_

namespace quorvel::apps {

struct ClosedStandardStreams {
  bool input = false;
  bool output = false;
  bool error = false;
};

// Opens /dev/null on each of descriptors 0, 1 and 2 that is not open; says which were not.
ClosedStandardStreams open_closed_standard_streams();

}  // namespace quorvel::apps

#endif  // QUORVEL_APPS_COMMON_STANDARD_STREAMS_H_
