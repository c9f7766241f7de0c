// PortHolder: a TCP listener of the harness's own on an ephemeral port of 0.0.0.0. Held
// open, it makes that port taken for the plug-in; released, it leaves a port that was free a
// moment ago for the plug-in to listen on.
#ifndef QUORVEL_WINDOWS_HARNESS_PORT_HOLDER_H_
#define QUORVEL_WINDOWS_HARNESS_PORT_HOLDER_H_

#include <cstdint>

namespace harness {

class PortHolder {
 public:
  PortHolder();  // binds and listens; port() is 0 when that failed
  ~PortHolder();
  PortHolder(const PortHolder&) = delete;
  PortHolder& operator=(const PortHolder&) = delete;

  uint16_t port() const { return port_; }
  void release();

 private:
  bool started_ = false;
  uintptr_t socket_;
  uint16_t port_ = 0;
};

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_PORT_HOLDER_H_
