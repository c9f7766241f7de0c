// The module's one ServerSettings instance and the host's get-settings / set-settings.
#ifndef QUORVEL_PLUGIN_PLUGIN_SETTINGS_H_
#define QUORVEL_PLUGIN_PLUGIN_SETTINGS_H_

#include <cstdint>

#include "server/server_settings.h"

namespace quorvel {

// Lives from module load to unload; written by set-settings and the dialog's OK.
ServerSettings& plugin_settings();

// Returns 268; first copies the block to destination when it is not null.
int32_t get_settings(void* destination);
// Copies the block from source and returns 268 when size is exactly 268; otherwise changes
// nothing and returns 0.
int32_t set_settings(const void* source, int32_t size);

}  // namespace quorvel

#endif  // QUORVEL_PLUGIN_PLUGIN_SETTINGS_H_
