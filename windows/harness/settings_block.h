// The 268-byte settings block as the host holds it: port text (256 bytes, NUL-ended, whose
// last byte is the keep-waiting flag), then the interlaced, top-field-first and read-ahead
// flags as 32-bit integers.
#ifndef QUORVEL_WINDOWS_HARNESS_SETTINGS_BLOCK_H_
#define QUORVEL_WINDOWS_HARNESS_SETTINGS_BLOCK_H_

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "plugin_module.h"

namespace harness {

constexpr int kKeepWaitingOffset = 255;

struct SettingsBlock {
  uint8_t bytes[kSettingsSize] = {};

  // At most 254 bytes of text, so that a NUL lies before the keep-waiting flag.
  void set_port_text(const std::string& text) {
    std::memset(bytes, 0, kKeepWaitingOffset);
    std::memcpy(bytes, text.data(), text.size() < 254 ? text.size() : 254);
  }
  void set_keep_waiting(uint8_t value) { bytes[kKeepWaitingOffset] = value; }
  int keep_waiting() const { return bytes[kKeepWaitingOffset]; }
  void set_flag(int index, int32_t value) { std::memcpy(bytes + 256 + 4 * index, &value, 4); }
  int32_t flag(int index) const {
    int32_t value;
    std::memcpy(&value, bytes + 256 + 4 * index, 4);
    return value;
  }
  std::string port_text() const {
    return std::string(reinterpret_cast<const char*>(bytes),
                       strnlen(reinterpret_cast<const char*>(bytes), kKeepWaitingOffset));
  }
  // One "name=value" line per setting, for the test scripts to read.
  void print(FILE* out) const {
    std::fprintf(out,
                 "port=%s\ninterlaced=%d\ntop_field_first=%d\nread_ahead=%d\nkeep_waiting=%d\n",
                 port_text().c_str(), flag(0), flag(1), flag(2), keep_waiting());
  }
};

constexpr int kInterlacedFlag = 0;
constexpr int kTopFieldFirstFlag = 1;
constexpr int kReadAheadFlag = 2;

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_SETTINGS_BLOCK_H_
