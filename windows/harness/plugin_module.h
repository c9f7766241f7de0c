// PluginModule: quorvel.auo loaded the way the host loads it (LoadLibraryA, then
// GetProcAddress of GetOutputPluginTable), with the table read by offset as raw bytes, so
// the checks do not depend on the plug-in's own header.
#ifndef QUORVEL_WINDOWS_HARNESS_PLUGIN_MODULE_H_
#define QUORVEL_WINDOWS_HARNESS_PLUGIN_MODULE_H_

#include <cstdint>

namespace harness {

// The host's view of the table slots: C default calling convention, 32-bit integers.
using TableFunction = const uint8_t*(__cdecl*)(void);
using OutputFunction = int32_t(__cdecl*)(void* host_record);
using ConfigureFunction = int32_t(__cdecl*)(void* parent_window, void* instance);
using GetSettingsFunction = int32_t(__cdecl*)(void* destination);
using SetSettingsFunction = int32_t(__cdecl*)(const void* source, int32_t size);

constexpr int kTableSize = 104;
constexpr int kSettingsSize = 268;

class PluginModule {
 public:
  // Loads the module at path; loaded() tells whether that and the export lookup worked.
  explicit PluginModule(const char* path);
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  bool loaded() const { return table_ != nullptr; }
  void* instance() const { return module_; }
  TableFunction get_table() const { return get_table_; }
  const uint8_t* table() const { return table_; }

  // The 32-bit value at a table offset.
  uint32_t word(int offset) const;
  // The text a pointer slot points to.
  const char* text(int offset) const;

  OutputFunction output() const;
  ConfigureFunction configure() const;
  GetSettingsFunction get_settings() const;
  SetSettingsFunction set_settings() const;

 private:
  template <typename Function>
  Function slot(int offset) const;

  void* module_ = nullptr;
  TableFunction get_table_ = nullptr;
  const uint8_t* table_ = nullptr;
};

}  // namespace harness

#endif  // QUORVEL_WINDOWS_HARNESS_PLUGIN_MODULE_H_
