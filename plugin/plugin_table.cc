#include "plugin/plugin_table.h"

#include "plugin/config_dialog.h"
#include "plugin/plugin_settings.h"
#include "plugin/serve_session.h"

namespace {

// "AviSynth TCPDeliverサーバ version 0.01 By Nelvix" in code page 932: サーバ is 83 54 81 5B 83 6F.
// Written as escapes so the bytes do not depend on the source file's encoding.
const char kInformation[] = "AviSynth TCPDeliver\x83\x54\x81\x5B\x83\x6F version 0.01 By Nelvix";
// One (description, pattern) pair; the literal's own NUL ends the list with an empty string.
const char kFileFilter[] = "AviFile (*.avi)\0*.avi\0";

int32_t QUORVEL_CDECL configure_slot(PluginWindowHandle parent, PluginModuleHandle instance) {
  // The host gets 1 whether the user pressed OK or Cancel.
  quorvel::run_config_dialog(parent, instance);
  return 1;
}

int32_t QUORVEL_CDECL get_settings_slot(void* destination) {
  return quorvel::get_settings(destination);
}

int32_t QUORVEL_CDECL set_settings_slot(const void* source, int32_t size) {
  return quorvel::set_settings(source, size);
}

PluginTable g_table = {
    0,       "QuorvelServer", kFileFilter,    kInformation,      nullptr,
    nullptr, ServeSession,    configure_slot, get_settings_slot, set_settings_slot,
    {},
};

}  // namespace

extern "C" PluginTable* QUORVEL_CDECL GetOutputPluginTable(void) {
  return &g_table;
}
