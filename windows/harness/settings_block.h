// The 268-byte settings block as the host holds it: port text (256 bytes, NUL-ended, whose
// last two bytes are the several-clients and the keep-waiting flags), then the interlaced,
// top-field-first and read-ahead flags as 32-bit integers.
#ifndef QUORVEL_WINDOWS_HARNESS_SETTINGS_BLOCK_H_
#define QUORVEL_WINDOWS_HARNESS_SETTINGS_BLOCK_H_

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "plugin_module.h"

namespace harness {

constexpr int kSeveralClientsOffset = 254;
constexpr int kKeepWaitingOffset = 255;
// The most bytes of port text a block holds before the NUL that ends it.
constexpr int kPortTextMax = kSeveralClientsOffset - 1;

struct SettingsBlock {
  uint8_t bytes[kSettingsSize] = {};

  // At most 253 bytes of text, so that a NUL lies before the flags.
  void set_port_text(const std::string& text) {
    std::memset(bytes, 0, kSeveralClientsOffset);
    const size_t most = kPortTextMax;
    std::memcpy(bytes, text.data(), text.size() < most ? text.size() : most);
  }
  void set_keep_waiting(uint8_t value) { bytes[kKeepWaitingOffset] = value; }
  int keep_waiting() const { return bytes[kKeepWaitingOffset]; }
  void set_several_clients(uint8_t value) { bytes[kSeveralClientsOffset] = value; }
  int several_clients() const { return bytes[kSeveralClientsOffset]; }
  void set_flag(int index, int32_t value) { std::memcpy(bytes + 256 + 4 * index, &value, 4); }
  int32_t flag(int index) const {
    int32_t value;
    std::memcpy(&value, bytes + 256 + 4 * index, 4);
    return value;
  }
  std::string port_text() const {
    return std::string(reinterpret_cast<const char*>(bytes),
                       strnlen(reinterpret_cast<const char*>(bytes), kSeveralClientsOffset));
  }
  // One "name=value" line per setting, for the test scripts to read.
  void print(FILE* out) const {
    std::fprintf(out,
                 "port=%s\ninterlaced=%d\ntop_field_first=%d\nread_ahead=%d\nkeep_waiting=%d\n"
                 "several_clients=%d\n",
                 port_text().c_str(), flag(0), flag(1), flag(2), keep_waiting(), several_clients());
  }
};

constexpr int kInterlacedFlag = 0;
constexpr int kTopFieldFirstFlag = 1;
constexpr int kReadAheadFlag = 2;

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_SETTINGS_BLOCK_H_
