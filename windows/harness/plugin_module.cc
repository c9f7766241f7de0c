#include "plugin_module.h"

#include <windows.h>

#include <cstring>

namespace harness {

namespace {

constexpr int kOutputSlot = 24;
constexpr int kConfigureSlot = 28;
constexpr int kGetSettingsSlot = 32;
constexpr int kSetSettingsSlot = 36;

}  // namespace

PluginModule::PluginModule(const char* path) {
  HMODULE module = LoadLibraryA(path);
  if (module == nullptr) return;
  module_ = module;
  FARPROC address = GetProcAddress(module, "GetOutputPluginTable");
  if (address == nullptr) return;
  std::memcpy(&get_table_, &address, sizeof get_table_);
  table_ = get_table_();
}

PluginModule::~PluginModule() {
  if (module_ != nullptr) FreeLibrary(static_cast<HMODULE>(module_));
}

uint32_t PluginModule::word(int offset) const {
  uint32_t value;
  std::memcpy(&value, table_ + offset, sizeof value);
  return value;
}

const char* PluginModule::text(int offset) const {
  const char* pointer;
  static_assert(sizeof pointer == 4, "the harness is the 32-bit host");
  std::memcpy(&pointer, table_ + offset, sizeof pointer);
  return pointer;
}

template <typename Function>
Function PluginModule::slot(int offset) const {
  Function function;
  static_assert(sizeof function == 4, "the harness is the 32-bit host");
  std::memcpy(&function, table_ + offset, sizeof function);
  return function;
}

OutputFunction PluginModule::output() const {
  return slot<OutputFunction>(kOutputSlot);
}
ConfigureFunction PluginModule::configure() const {
  return slot<ConfigureFunction>(kConfigureSlot);
}
GetSettingsFunction PluginModule::get_settings() const {
  return slot<GetSettingsFunction>(kGetSettingsSlot);
}
SetSettingsFunction PluginModule::set_settings() const {
  return slot<SetSettingsFunction>(kSetSettingsSlot);
}

}  // namespace harness
