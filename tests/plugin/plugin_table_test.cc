// The plug-in table as the host reads it: texts byte for byte, the slots, and the settings
// block's get/set edge cases through those slots.
#include "plugin/plugin_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/config_dialog_ids.h"
#include "plugin/plugin_settings.h"
#include "plugin/serve_session.h"
#include "tests/plugin/dialog_stand_in.h"
#include "tests/support/guarded_buffer.h"

namespace quorvel {
namespace {

constexpr int32_t kBlockSize = 268;

std::vector<uint8_t> bytes_of(const char* text, size_t size) {
  return std::vector<uint8_t>(text, text + size);
}

class PluginTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::reset_stand_in();
    plugin_settings() = kDefaultSettings;
  }
  void TearDown() override { plugin_settings() = kDefaultSettings; }

  const PluginTable& table = *GetOutputPluginTable();

  std::vector<uint8_t> current_block() const {
    std::vector<uint8_t> block(kBlockSize);
    table.get_settings(block.data());
    return block;
  }
};

TEST_F(PluginTableTest, EveryCallReturnsTheSameTable) {
  EXPECT_EQ(GetOutputPluginTable(), GetOutputPluginTable());
}

TEST_F(PluginTableTest, TextsAreTheExactBytes) {
  const std::vector<uint8_t> name = {'Q', 'u', 'o', 'r', 'v', 'e', 'l',
                                     'S', 'e', 'r', 'v', 'e', 'r', 0};
  EXPECT_EQ(bytes_of(table.name, name.size()), name);

  // Two NUL-ended strings, then the empty string that ends the list.
  const std::string filter("AviFile (*.avi)\0*.avi\0", 23);
  EXPECT_EQ(bytes_of(table.file_filter, filter.size()),
            std::vector<uint8_t>(filter.begin(), filter.end()));

  // サーバ in code page 932 is 83 54 81 5B 83 6F.
  std::vector<uint8_t> information;
  for (char c : std::string("AviSynth TCPDeliver")) information.push_back(static_cast<uint8_t>(c));
  for (int b : {0x83, 0x54, 0x81, 0x5B, 0x83, 0x6F}) information.push_back(static_cast<uint8_t>(b));
  for (char c : std::string(" version 0.01 By Nelvix"))
    information.push_back(static_cast<uint8_t>(c));
  information.push_back(0);
  EXPECT_EQ(bytes_of(table.information, information.size()), information);
}

TEST_F(PluginTableTest, FlagsInitExitAndReservedAreZero) {
  EXPECT_EQ(table.flags, 0);
  EXPECT_EQ(table.init, nullptr);
  EXPECT_EQ(table.exit, nullptr);
  for (int32_t word : table.reserved) EXPECT_EQ(word, 0);
}

TEST_F(PluginTableTest, TheOutputSlotIsTheServingRun) {
  EXPECT_EQ(table.output, &ServeSession);
  EXPECT_NE(table.configure, nullptr);
  EXPECT_NE(table.get_settings, nullptr);
  EXPECT_NE(table.set_settings, nullptr);
}

TEST_F(PluginTableTest, ConfigureReturns1WhateverTheUserChose) {
  struct Case {
    const char* what;
    int pressed;  // 0: the dialog cannot be shown
  };
  for (const Case& c :
       {Case{"OK", QUORVEL_ID_OK}, Case{"Cancel", QUORVEL_ID_CANCEL}, Case{"no template", 0}}) {
    testing::reset_stand_in();
    testing::stand_in().fail_to_open = c.pressed == 0;
    testing::stand_in().user = [&c](testing::StandInDialog& dialog) { dialog.press(c.pressed); };
    int parent = 0;
    int module = 0;
    EXPECT_EQ(table.configure(&parent, &module), 1) << c.what;
    EXPECT_EQ(testing::stand_in().instance, &module) << c.what;
    EXPECT_EQ(testing::stand_in().parent, &parent) << c.what;
  }
}

TEST_F(PluginTableTest, SettingsStartAsTheDefaults) {
  std::vector<uint8_t> expected(kBlockSize, 0);
  std::memcpy(expected.data(), "22050", 5);
  for (int offset : {256, 260, 264}) expected[static_cast<size_t>(offset)] = 1;  // little-endian 1
  EXPECT_EQ(current_block(), expected);
}

TEST_F(PluginTableTest, GetSettingsWithNullReturnsTheSize) {
  const std::vector<uint8_t> before = current_block();
  EXPECT_EQ(table.get_settings(nullptr), kBlockSize);
  EXPECT_EQ(current_block(), before);
}

TEST_F(PluginTableTest, GetSettingsWritesExactly268Bytes) {
  GuardedBuffer destination(kBlockSize);  // a 269th byte would fault
  EXPECT_EQ(table.get_settings(destination.data()), kBlockSize);
  EXPECT_EQ(destination.bytes(), current_block());
}

TEST_F(PluginTableTest, ABlockWithBytesAfterTheNulComesBackExactly) {
  std::vector<uint8_t> block(kBlockSize);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 13 + 1);
  std::memcpy(block.data(), "ftp\0", 4);
  block[kKeepWaitingOffset] = 1;  // the keep-waiting flag, as the dialog stores it
  GuardedBuffer source(block);    // set-settings must not read a 269th byte
  EXPECT_EQ(table.set_settings(source.data(), kBlockSize), kBlockSize);
  EXPECT_EQ(current_block(), block);
  EXPECT_STREQ(plugin_settings().port_text, "ftp");
  EXPECT_TRUE(keeps_waiting(plugin_settings()));
}

// Byte 254, the several-clients flag, comes back through get-settings as it was set; a
// block of an older build has 0 there (the zeros after a short text, or the NUL after a
// text of 254 characters) and reads as off, with its text whole.
TEST_F(PluginTableTest, TheSeveralClientsFlagAtByte254RoundTripsAndOlderBlocksReadAsOff) {
  struct Case {
    const char* what;
    size_t text_length;
    uint8_t byte_254;
    bool on;
  };
  const Case cases[] = {
      {"older block, short text", 5, 0, false},
      {"older block, 254-character text and its NUL", 254, 0, false},
      {"the dialog's on", 5, 1, true},
      {"any nonzero byte", 253, 0x80, true},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> block(kBlockSize, 0);
    for (size_t i = 0; i < c.text_length; ++i) block[i] = static_cast<uint8_t>('0' + i % 10);
    block[kSeveralClientsOffset] = c.byte_254;
    block[256] = 1;  // interlaced, so the flags after the text are not all zero
    ASSERT_EQ(table.set_settings(block.data(), kBlockSize), kBlockSize) << c.what;
    std::vector<uint8_t> back(kBlockSize);
    EXPECT_EQ(table.get_settings(back.data()), kBlockSize) << c.what;
    EXPECT_EQ(back, block) << c.what;
    EXPECT_EQ(serves_several_clients(plugin_settings()), c.on) << c.what;
    EXPECT_FALSE(keeps_waiting(plugin_settings())) << c.what;
    EXPECT_EQ(strnlen(plugin_settings().port_text, kPortTextLimit), c.text_length) << c.what;
  }
}

TEST_F(PluginTableTest, ABlockOfAnyOtherSizeIsRefused) {
  const std::vector<uint8_t> before = current_block();
  GuardedBuffer other(std::vector<uint8_t>(kBlockSize + 1, 0x5A));
  for (int32_t size : {267, 269, 0, 1, -1, -268, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(table.set_settings(other.data(), size), 0) << size;
    EXPECT_EQ(current_block(), before) << size;
  }
}

}  // namespace
}  // namespace quorvel
