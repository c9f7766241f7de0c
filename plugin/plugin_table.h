// The host boundary: PluginTable, the record through which the host finds the plug-in's name,
// file filter, information text and functions, and GetOutputPluginTable, the module's one
// export. The host reads the table by offset on its 32-bit build, so every offset is pinned
// below; every function uses the C default calling convention (QUORVEL_CDECL).
#ifndef QUORVEL_PLUGIN_PLUGIN_TABLE_H_
#define QUORVEL_PLUGIN_PLUGIN_TABLE_H_

#include <stddef.h>
#include <stdint.h>

#include "server/host_abi.h"

#ifdef __cplusplus
extern "C" {
#endif

// Window and module handles as the host passes them (HWND and HINSTANCE on Windows).
typedef void* PluginWindowHandle;
typedef void* PluginModuleHandle;

typedef int32_t(QUORVEL_CDECL* PluginInitFunction)(void);
typedef int32_t(QUORVEL_CDECL* PluginExitFunction)(void);
// One serving run; 0 when the network cannot be set up, else 1.
typedef int32_t(QUORVEL_CDECL* PluginOutputFunction)(HostOutputInfo* host);
// Shows the settings dialog modally over parent, loaded from instance; always 1.
typedef int32_t(QUORVEL_CDECL* PluginConfigureFunction)(PluginWindowHandle parent,
                                                        PluginModuleHandle instance);
// Returns the size of the settings block, copying it to destination when that is not null.
typedef int32_t(QUORVEL_CDECL* PluginGetSettingsFunction)(void* destination);
// Takes a settings block of exactly that size (returns it), refuses any other (returns 0).
typedef int32_t(QUORVEL_CDECL* PluginSetSettingsFunction)(const void* source, int32_t size);

#define QUORVEL_PLUGIN_RESERVED_WORDS 16

typedef struct PluginTable {
  int32_t flags;
  // Texts, 8-bit in the Japanese ANSI code page (932).
  const char* name;
  const char* file_filter;  // (description, pattern) pairs, each NUL-ended, then an empty string
  const char* information;
  // Module start and end: none.
  PluginInitFunction init;
  PluginExitFunction exit;
  // The functions the host calls.
  PluginOutputFunction output;
  PluginConfigureFunction configure;
  PluginGetSettingsFunction get_settings;
  PluginSetSettingsFunction set_settings;
  int32_t reserved[QUORVEL_PLUGIN_RESERVED_WORDS];
} PluginTable;

// The module's only export. Always returns the same static table.
PluginTable* QUORVEL_CDECL GetOutputPluginTable(void);

#ifdef __cplusplus
}  // extern "C"
#endif

#if defined(__cplusplus) && defined(__i386__)
// The host reads the table by offset.
static_assert(offsetof(PluginTable, flags) == 0, "host layout");
static_assert(offsetof(PluginTable, name) == 4, "host layout");
static_assert(offsetof(PluginTable, file_filter) == 8, "host layout");
static_assert(offsetof(PluginTable, information) == 12, "host layout");
static_assert(offsetof(PluginTable, init) == 16, "host layout");
static_assert(offsetof(PluginTable, exit) == 20, "host layout");
static_assert(offsetof(PluginTable, output) == 24, "host layout");
static_assert(offsetof(PluginTable, configure) == 28, "host layout");
static_assert(offsetof(PluginTable, get_settings) == 32, "host layout");
static_assert(offsetof(PluginTable, set_settings) == 36, "host layout");
static_assert(offsetof(PluginTable, reserved) == 40, "host layout");
static_assert(sizeof(PluginTable) == 104, "host layout");
#endif

#endif  // QUORVEL_PLUGIN_PLUGIN_TABLE_H_
