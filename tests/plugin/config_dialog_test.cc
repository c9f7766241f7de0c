// The settings dialog's procedure, driven through the stand-in for the Windows dialog calls.
#include "plugin/config_dialog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin/config_dialog_ids.h"
#include "plugin/plugin_settings.h"
#include "tests/plugin/dialog_stand_in.h"

namespace quorvel {
namespace {

using testing::stand_in;
using testing::StandInDialog;

constexpr int kPort = QUORVEL_ID_PORT_FIELD;
constexpr int kInterlaced = QUORVEL_ID_INTERLACED_BOX;
constexpr int kTopFieldFirst = QUORVEL_ID_TOP_FIELD_FIRST_BOX;
constexpr int kReadAhead = QUORVEL_ID_READ_AHEAD_BOX;
constexpr int kKeepWaiting = QUORVEL_ID_KEEP_WAITING_BOX;
constexpr int kSeveralClients = QUORVEL_ID_SEVERAL_CLIENTS_BOX;

class ConfigDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::reset_stand_in();
    plugin_settings() = kDefaultSettings;
  }
  void TearDown() override { plugin_settings() = kDefaultSettings; }

  static void use_settings(const char* port, int32_t interlaced, int32_t top_field_first,
                           int32_t read_ahead, char keep_waiting = 0, char several_clients = 0) {
    ServerSettings settings{};
    std::strncpy(settings.port_text, port, sizeof settings.port_text);
    settings.port_text[kKeepWaitingOffset] = keep_waiting;
    settings.port_text[kSeveralClientsOffset] = several_clients;
    settings.interlaced = interlaced;
    settings.top_field_first = top_field_first;
    settings.read_ahead = read_ahead;
    plugin_settings() = settings;
  }

  // Opens the dialog with `user` acting on it and returns the dialog's result.
  static intptr_t open(std::function<void(StandInDialog&)> user) {
    stand_in().user = std::move(user);
    return run_config_dialog(nullptr, nullptr);
  }

  static std::string block_of(const ServerSettings& settings) {
    return std::string(reinterpret_cast<const char*>(&settings), sizeof settings);
  }
};

TEST_F(ConfigDialogTest, InitialisationFillsTheFormFromTheSettings) {
  use_settings("8080", 1, 0, 1);
  open([](StandInDialog& dialog) { dialog.press(QUORVEL_ID_CANCEL); });
  const StandInDialog& dialog = stand_in();
  EXPECT_NE(dialog.init_result, 0);
  EXPECT_EQ(dialog.texts.at(kPort), "8080");
  EXPECT_TRUE(dialog.checked.at(kInterlaced));
  EXPECT_FALSE(dialog.checked.at(kTopFieldFirst));
  EXPECT_TRUE(dialog.checked.at(kReadAhead));
  EXPECT_FALSE(dialog.checked.at(kKeepWaiting));
  EXPECT_FALSE(dialog.checked.at(kSeveralClients));
  EXPECT_FALSE(dialog.wrong_handle);
}

TEST_F(ConfigDialogTest, AnyNonzeroFlagShowsAsChecked) {
  use_settings("", 2, -1, 0, '\x80', '\x02');
  open([](StandInDialog& dialog) { dialog.press(QUORVEL_ID_CANCEL); });
  EXPECT_EQ(stand_in().texts.at(kPort), "");
  EXPECT_TRUE(stand_in().checked.at(kInterlaced));
  EXPECT_TRUE(stand_in().checked.at(kTopFieldFirst));
  EXPECT_FALSE(stand_in().checked.at(kReadAhead));
  EXPECT_TRUE(stand_in().checked.at(kKeepWaiting)) << "offset 255 set";
  EXPECT_TRUE(stand_in().checked.at(kSeveralClients)) << "offset 254 set";
}

TEST_F(ConfigDialogTest, PortTextWithoutNulIsShownAsItsFirst254Bytes) {
  // A block restored from the host may fill all 256 bytes; the field shows what the server
  // reads, the bytes before the two flags.
  std::memset(plugin_settings().port_text, 'p', sizeof plugin_settings().port_text);
  open([](StandInDialog& dialog) { dialog.press(QUORVEL_ID_CANCEL); });
  EXPECT_EQ(stand_in().texts.at(kPort), std::string(254, 'p'));
}

TEST_F(ConfigDialogTest, OkStoresTheFormAndEndsWith1) {
  use_settings("22050", 1, 1, 1);
  const intptr_t result = open([](StandInDialog& dialog) {
    dialog.type(kPort, "http-alt");
    dialog.toggle(kInterlaced);
    dialog.toggle(kReadAhead);
    EXPECT_EQ(dialog.press(QUORVEL_ID_OK), 0);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(stand_in().end_calls, 1);
  const ServerSettings& settings = plugin_settings();
  EXPECT_STREQ(settings.port_text, "http-alt");
  EXPECT_EQ(settings.interlaced, 0);
  EXPECT_EQ(settings.top_field_first, 1);
  EXPECT_EQ(settings.read_ahead, 0);
}

TEST_F(ConfigDialogTest, OkStoresEachBoxAsExactlyOneOrZero) {
  use_settings("1", 7, 0, -5);
  open([](StandInDialog& dialog) {
    dialog.toggle(kTopFieldFirst);
    dialog.press(QUORVEL_ID_OK);
  });
  EXPECT_EQ(plugin_settings().interlaced, 1);
  EXPECT_EQ(plugin_settings().top_field_first, 1);
  EXPECT_EQ(plugin_settings().read_ahead, 1);
}

TEST_F(ConfigDialogTest, OkStoresEachFlagBoxInItsByteAsOneOrZero) {
  struct Case {
    char stored;  // the flag's byte before the dialog opens
    bool toggled;
    uint8_t expected;
  };
  struct Flag {
    int box;
    int offset;
  };
  for (const Flag flag : {Flag{kKeepWaiting, 255}, Flag{kSeveralClients, 254}}) {
    for (const Case& c : {Case{0, true, 1}, Case{0, false, 0}, Case{'\x7f', false, 1},
                          Case{'\x7f', true, 0}, Case{1, true, 0}}) {
      SetUp();
      use_settings("8080", 1, 1, 1);
      plugin_settings().port_text[flag.offset] = c.stored;
      open([&c, flag](StandInDialog& dialog) {
        if (c.toggled) dialog.toggle(flag.box);
        dialog.press(QUORVEL_ID_OK);
      });
      const std::string block = block_of(plugin_settings());
      EXPECT_EQ(static_cast<uint8_t>(block[static_cast<size_t>(flag.offset)]), c.expected)
          << "offset " << flag.offset << ": " << int{c.stored} << (c.toggled ? " toggled" : "");
      // The other flag's byte stays 0.
      EXPECT_EQ(block[static_cast<size_t>(flag.offset == 255 ? 254 : 255)], 0) << flag.offset;
      EXPECT_STREQ(plugin_settings().port_text, "8080");
      EXPECT_EQ(plugin_settings().read_ahead, 1);
    }
  }
}

TEST_F(ConfigDialogTest, OkWithAnUnchangedFormStoresTheSameBlock) {
  use_settings("5000", 0, 1, 1);
  // Bytes after the port text's NUL are the host's; OK leaves them alone.
  std::memcpy(plugin_settings().port_text + 10, "tail", 4);
  const std::string before = block_of(plugin_settings());
  const intptr_t result = open([](StandInDialog& dialog) { dialog.press(QUORVEL_ID_OK); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(block_of(plugin_settings()), before);
}

TEST_F(ConfigDialogTest, OkCutsA300CharacterPortTextTo253BytesAndANulBeforeTheFlags) {
  std::string typed(300, 'x');
  for (size_t i = 0; i < typed.size(); ++i) typed[i] = static_cast<char>('a' + i % 26);
  for (const int boxes : {0, 1, 2, 3}) {
    const bool keep_waiting = (boxes & 1) != 0;
    const bool several_clients = (boxes & 2) != 0;
    SetUp();
    open([&typed, keep_waiting, several_clients](StandInDialog& dialog) {
      dialog.type(kPort, typed);
      if (keep_waiting) dialog.toggle(kKeepWaiting);
      if (several_clients) dialog.toggle(kSeveralClients);
      dialog.press(QUORVEL_ID_OK);
    });
    const ServerSettings& settings = plugin_settings();
    EXPECT_EQ(std::string(settings.port_text, 253), typed.substr(0, 253)) << boxes;
    EXPECT_EQ(settings.port_text[253], '\0') << boxes;
    EXPECT_EQ(settings.port_text[254], several_clients ? 1 : 0) << boxes;
    EXPECT_EQ(settings.port_text[255], keep_waiting ? 1 : 0) << boxes;
  }
}

TEST_F(ConfigDialogTest, TopFieldFirstWithoutInterlacedIsStoredAsItIs) {
  use_settings("22050", 1, 0, 1);
  open([](StandInDialog& dialog) {
    dialog.toggle(kInterlaced);
    dialog.toggle(kTopFieldFirst);
    dialog.press(QUORVEL_ID_OK);
  });
  EXPECT_EQ(plugin_settings().interlaced, 0);
  EXPECT_EQ(plugin_settings().top_field_first, 1);
}

TEST_F(ConfigDialogTest, CancelAfterEditsChangesNothingAndEndsWith2) {
  use_settings("22050", 1, 0, 1);
  const std::string before = block_of(plugin_settings());
  const intptr_t result = open([](StandInDialog& dialog) {
    dialog.type(kPort, "9999");
    dialog.toggle(kInterlaced);
    dialog.toggle(kTopFieldFirst);
    dialog.toggle(kReadAhead);
    dialog.toggle(kKeepWaiting);
    dialog.toggle(kSeveralClients);
    EXPECT_EQ(dialog.press(QUORVEL_ID_CANCEL), 0);
  });
  EXPECT_EQ(result, 2);
  EXPECT_EQ(block_of(plugin_settings()), before);
}

TEST_F(ConfigDialogTest, OtherControlIdsDoNothing) {
  use_settings("22050", 1, 1, 1);
  const std::string before = block_of(plugin_settings());
  open([](StandInDialog& dialog) {
    dialog.type(kPort, "1234");
    dialog.toggle(kInterlaced);
    for (int id : {0, 3, kPort, kInterlaced, kTopFieldFirst, kReadAhead, kKeepWaiting,
                   kSeveralClients, 0xFFFF}) {
      EXPECT_EQ(dialog.press(id), 0) << "id " << id;
      EXPECT_FALSE(dialog.ended) << "id " << id;
    }
    dialog.press(QUORVEL_ID_CANCEL);
  });
  EXPECT_EQ(stand_in().end_calls, 1);
  EXPECT_EQ(block_of(plugin_settings()), before);
}

TEST_F(ConfigDialogTest, TheIdIsTheLow16BitsOfTheFirstParameter) {
  struct Case {
    uintptr_t first;
    bool ends;
    intptr_t result;
  };
  // High words: a notification code (1: from an accelerator, 0x300: edit change).
  const Case cases[] = {
      {(uintptr_t{1} << 16) | QUORVEL_ID_OK, true, 1},
      {(uintptr_t{0x300} << 16) | QUORVEL_ID_CANCEL, true, 2},
      {uintptr_t{1} << 16, false, 0},  // id 0
      {uintptr_t{QUORVEL_ID_OK} << 16, false, 0},
  };
  for (const Case& c : cases) {
    SetUp();
    open([&c](StandInDialog& dialog) {
      EXPECT_EQ(dialog.send(dialog::kCommandMessage, c.first, 0), 0);
      if (!dialog.ended) dialog.press(QUORVEL_ID_CANCEL);
    });
    EXPECT_EQ(stand_in().end_calls, 1) << std::hex << c.first;
    if (c.ends) {
      EXPECT_EQ(stand_in().end_result, c.result) << std::hex << c.first;
    }
  }
}

TEST_F(ConfigDialogTest, OtherMessagesReturnFalseAndTouchNothing) {
  // WM_NULL, WM_PAINT, WM_CLOSE, WM_SYSCOMMAND, WM_NOTIFY, WM_CTLCOLORDLG.
  const uint32_t messages[] = {0x0000, 0x000F, 0x0010, 0x0112, 0x004E, 0x0136};
  open([&messages](StandInDialog& dialog) {
    const int calls_after_init = dialog.item_calls;
    for (uint32_t message : messages) {
      EXPECT_EQ(dialog.send(message, QUORVEL_ID_OK, 0), 0) << message;
    }
    EXPECT_EQ(dialog.item_calls, calls_after_init);
    EXPECT_FALSE(dialog.ended);
    dialog.press(QUORVEL_ID_CANCEL);
  });
}

TEST_F(ConfigDialogTest, OpensTheConfigTemplateOfTheGivenModuleOverTheParent) {
  int parent = 0;
  int module = 0;
  stand_in().user = [](StandInDialog& dialog) { dialog.press(QUORVEL_ID_CANCEL); };
  run_config_dialog(&parent, &module);
  EXPECT_EQ(stand_in().template_name, "CONFIG");
  EXPECT_EQ(stand_in().parent, &parent);
  EXPECT_EQ(stand_in().instance, &module);
}

}  // namespace
}  // namespace quorvel
