#include "table_check.h"

#include <cstdint>
#include <cstring>

#include "settings_block.h"

namespace harness {

namespace {

// The texts as the host must see them, code page 932 bytes including every NUL.
const char kName[] = "QuorvelServer";
const char kFileFilter[] = "AviFile (*.avi)\0*.avi\0";  // the literal's NUL ends the list
const uint8_t kInformation[] = {
    'A', 'v', 'i',  'S',  'y',  'n',  't',  'h',  ' ', 'T', 'C', 'P', 'D', 'e', 'l', 'i', 'v',
    'e', 'r', 0x83, 0x54, 0x81, 0x5B, 0x83, 0x6F, ' ', 'v', 'e', 'r', 's', 'i', 'o', 'n', ' ',
    '0', '.', '0',  '1',  ' ',  'B',  'y',  ' ',  'N', 'e', 'l', 'v', 'i', 'x', 0};

// The defaults: "22050", then zeros to byte 256, and three flags of 1.
void default_settings(uint8_t* block) {
  std::memset(block, 0, kSettingsSize);
  std::memcpy(block, "22050", 5);
  const uint32_t one = 1;
  for (int offset = 256; offset < kSettingsSize; offset += 4) std::memcpy(block + offset, &one, 4);
}

bool same_bytes(const void* a, const void* b, size_t size) {
  return std::memcmp(a, b, size) == 0;
}

}  // namespace

void check_table(const PluginModule& module, CheckLog* log) {
  log->expect(module.get_table()() == module.table(), "the table address is the same every call");
  log->expect(module.word(0) == 0, "flags (offset 0) are 0");
  log->expect(same_bytes(module.text(4), kName, sizeof kName), "name text at offset 4");
  log->expect(same_bytes(module.text(8), kFileFilter, sizeof kFileFilter),
              "file filter at offset 8: two strings and the empty one");
  log->expect(same_bytes(module.text(12), kInformation, sizeof kInformation),
              "information text at offset 12 in code page 932");
  log->expect(module.word(16) == 0, "init function (offset 16) is null");
  log->expect(module.word(20) == 0, "exit function (offset 20) is null");
  for (int offset = 24; offset <= 36; offset += 4) {
    log->expect(module.word(offset) != 0, "function slots 24..36 are set");
  }
  bool reserved_zero = true;
  for (int offset = 40; offset < kTableSize; offset += 4) reserved_zero &= module.word(offset) == 0;
  log->expect(reserved_zero, "reserved words 40..103 are zero");
}

void check_settings(const PluginModule& module, CheckLog* log) {
  const GetSettingsFunction get = module.get_settings();
  const SetSettingsFunction set = module.set_settings();
  log->expect(get(nullptr) == kSettingsSize, "get-settings(null) returns 268");

  // A block two bytes longer than the settings: get-settings must fill exactly 268.
  uint8_t saved[kSettingsSize + 2];
  std::memset(saved, 0xA5, sizeof saved);
  log->expect(get(saved) == kSettingsSize, "get-settings returns 268");
  log->expect(saved[kSettingsSize] == 0xA5 && saved[kSettingsSize + 1] == 0xA5,
              "get-settings writes no byte past 268");
  uint8_t defaults[kSettingsSize];
  default_settings(defaults);
  log->expect(same_bytes(saved, defaults, kSettingsSize), "the settings start as the defaults");

  // A block with bytes after the port text's NUL must come back exactly, the several-clients
  // flag at offset 254 and the keep-waiting flag at offset 255 among them.
  uint8_t block[kSettingsSize];
  for (int i = 0; i < kSettingsSize; ++i) block[i] = static_cast<uint8_t>(i * 7 + 3);
  std::memcpy(block, "http\0", 5);
  block[kSeveralClientsOffset] = 1;
  block[kKeepWaitingOffset] = 1;
  log->expect(set(block, kSettingsSize) == kSettingsSize, "set-settings(268) returns 268");
  uint8_t back[kSettingsSize];
  get(back);
  log->expect(same_bytes(back, block, kSettingsSize),
              "a block with bytes after the NUL is restored exactly");
  log->expect(back[kKeepWaitingOffset] == 1, "the keep-waiting flag at offset 255 survives");
  log->expect(back[kSeveralClientsOffset] == 1, "the several-clients flag at offset 254 survives");

  static const int32_t kWrongSizes[] = {267, 269, 0, -268};
  uint8_t other[kSettingsSize + 1];
  std::memset(other, 0x11, sizeof other);
  for (int32_t size : kWrongSizes) {
    log->expect(set(other, size) == 0, "set-settings of a wrong size returns 0");
    get(back);
    log->expect(same_bytes(back, block, kSettingsSize), "a refused block changes nothing");
  }

  log->expect(set(saved, kSettingsSize) == kSettingsSize, "the first settings are put back");
}

}  // namespace harness
