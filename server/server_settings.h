// ServerSettings: the 268-byte block the host persists through get-settings and
// set-settings, copied byte for byte. The session reads it where each value is used.
#ifndef QUORVEL_SERVER_SERVER_SETTINGS_H_
#define QUORVEL_SERVER_SERVER_SETTINGS_H_

#include <cstddef>
#include <cstdint>

namespace quorvel {

constexpr int kPortTextSize = 256;

struct ServerSettings {
  char port_text[kPortTextSize];  // service name or decimal port, NUL-terminated as typed
  int32_t interlaced;
  int32_t top_field_first;
  int32_t read_ahead;
};

static_assert(sizeof(ServerSettings) == 268, "the host stores exactly 268 bytes");
static_assert(offsetof(ServerSettings, interlaced) == 256, "settings layout");
static_assert(offsetof(ServerSettings, top_field_first) == 260, "settings layout");
static_assert(offsetof(ServerSettings, read_ahead) == 264, "settings layout");

// "22050", interlaced, top field first, read-ahead on.
constexpr ServerSettings kDefaultSettings = {{'2', '2', '0', '5', '0'}, 1, 1, 1};

}  // namespace quorvel

#endif  // QUORVEL_SERVER_SERVER_SETTINGS_H_
