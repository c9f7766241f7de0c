// ServerSettings: the 268-byte block the host persists through get-settings and
// set-settings, copied byte for byte. The session reads it where each value is used.
// docs/formats.md describes each byte.
#ifndef QUORVEL_SERVER_SERVER_SETTINGS_H_
#define QUORVEL_SERVER_SERVER_SETTINGS_H_

#include <cstddef>
#include <cstdint>

#include "wire/protocol.h"

namespace quorvel {

constexpr int kPortTextSize = 256;
// The host refuses every block size but 268, so a new setting has to live inside the old
// layout: the flags take the port text's last bytes, keep-waiting the last and
// several-clients the one before it. The dialog cuts the text short of them; a block saved
// before a flag existed has 0 (its text's NUL, or the zeros after it) there.
constexpr int kKeepWaitingOffset = kPortTextSize - 1;
constexpr int kSeveralClientsOffset = kPortTextSize - 2;
// The port text proper: the server reads at most these bytes of it, NUL or not.
constexpr int kPortTextLimit = kSeveralClientsOffset;

// The most clients a run with the several-clients flag serves at once.
constexpr int kMaxClients = 8;

struct ServerSettings {
  // Service name or decimal port, NUL-terminated as typed; byte 254 is the several-clients
  // flag, byte 255 the keep-waiting flag.
  char port_text[kPortTextSize];
  int32_t interlaced;
  int32_t top_field_first;
  int32_t read_ahead;
};

static_assert(sizeof(ServerSettings) == 268, "the host stores exactly 268 bytes");
static_assert(offsetof(ServerSettings, interlaced) == 256, "settings layout");
static_assert(offsetof(ServerSettings, top_field_first) == 260, "settings layout");
static_assert(offsetof(ServerSettings, read_ahead) == 264, "settings layout");

// Nonzero: a client's end ends only its conversation, and the run listens for the next one.
inline bool keeps_waiting(const ServerSettings& settings) {
  return settings.port_text[kKeepWaitingOffset] != 0;
}
inline void set_keeps_waiting(ServerSettings* settings, bool on) {
  settings->port_text[kKeepWaitingOffset] = on ? 1 : 0;
}

// Nonzero: the run serves up to kMaxClients clients at once and keeps listening while they
// are served and after they leave, until the host aborts (keep-waiting is implied).
inline bool serves_several_clients(const ServerSettings& settings) {
  return settings.port_text[kSeveralClientsOffset] != 0;
}
inline void set_serves_several_clients(ServerSettings* settings, bool on) {
  settings->port_text[kSeveralClientsOffset] = on ? 1 : 0;
}

// The default port text, interlaced, top field first, read-ahead on; keep-waiting and
// several clients off.
constexpr ServerSettings default_settings() {
  ServerSettings settings{{}, 1, 1, 1};
  for (int i = 0; kDefaultPortText[i] != '\0'; ++i) settings.port_text[i] = kDefaultPortText[i];
  return settings;
}
constexpr ServerSettings kDefaultSettings = default_settings();

}  // namespace quorvel

#endif  // QUORVEL_SERVER_SERVER_SETTINGS_H_
