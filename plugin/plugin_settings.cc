#include "plugin/plugin_settings.h"

#include <cstring>

namespace quorvel {

namespace {
ServerSettings g_settings = kDefaultSettings;
}  // namespace

ServerSettings& plugin_settings() {
  return g_settings;
}

int32_t get_settings(void* destination) {
  if (destination != nullptr) std::memcpy(destination, &g_settings, sizeof g_settings);
  return static_cast<int32_t>(sizeof g_settings);
}

int32_t set_settings(const void* source, int32_t size) {
  if (source == nullptr || size != static_cast<int32_t>(sizeof g_settings)) return 0;
  std::memcpy(&g_settings, source, sizeof g_settings);
  return size;
}

}  // namespace quorvel
