// Port text resolution against the scripted sockets layer, whose services database holds
// only what a test puts there.
#include "server/port_resolution.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "server/server_settings.h"
#include "tests/support/fake_sockets.h"
#include "tests/support/guarded_buffer.h"

namespace quorvel {
namespace {

struct PortCase {
  const char* text;
  uint16_t port;
};

class PortResolution : public ::testing::TestWithParam<PortCase> {
 protected:
  void SetUp() override { fake_sockets::reset(); }
};

TEST_P(PortResolution, NumberTextGivesLow16BitsOfItsValue) {
  const PortCase& c = GetParam();
  EXPECT_EQ(resolve_port(c.text), c.port) << "port text \"" << c.text << "\"";
  EXPECT_EQ(parse_port_number(c.text, std::strlen(c.text)), c.port);
  EXPECT_EQ(fake_sockets::last_service_lookup(), c.text);  // a service name is tried first
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PortResolution,
    ::testing::Values(PortCase{"22050", 22050}, PortCase{"70000", 4464},  // 70000 mod 65536
                      PortCase{"abc", 0}, PortCase{"", 0}, PortCase{"  +80", 80},
                      PortCase{"\t\n\v\f\r 81", 81}, PortCase{"-1", 65535}, PortCase{"-65535", 1},
                      PortCase{"+", 0}, PortCase{"-", 0},
                      PortCase{"- 5", 0},  // nothing may stand between sign and digits
                      PortCase{"+-5", 0}, PortCase{"12abc", 12}, PortCase{"8 9", 8},
                      PortCase{"65535", 65535}, PortCase{"65536", 0},
                      PortCase{"0x50", 0},  // decimal only
                      PortCase{"4294967296", 0}, PortCase{"4294967297", 1},
                      PortCase{"99999999999", 59391},  // wraps modulo 2^32 first
                      PortCase{"12345678901234567890", 2770}));

TEST(PortNumber, StopsAtTheGivenLength) {
  EXPECT_EQ(parse_port_number("123", 2), 12);
  EXPECT_EQ(parse_port_number("   7", 3), 0);
  EXPECT_EQ(parse_port_number("-", 1), 0);
}

class PortServiceNames : public ::testing::Test {
 protected:
  void SetUp() override { fake_sockets::reset(); }
};

TEST_F(PortServiceNames, KnownServiceNameGivesItsPort) {
  fake_sockets::add_service("quorvel-frames", 7070);
  EXPECT_EQ(resolve_port("quorvel-frames"), 7070);
}

TEST_F(PortServiceNames, ServiceNameWinsOverTheNumberItSpells) {
  fake_sockets::add_service("1234", 80);
  EXPECT_EQ(resolve_port("1234"), 80);
}

TEST_F(PortServiceNames, UnknownServiceNameFallsBackToTheNumber) {
  fake_sockets::add_service("http", 80);
  EXPECT_EQ(resolve_port("https"), 0);
}

// The settings block holds 256 bytes that need not end in a NUL: only the first 255 count,
// and nothing past the block is read (the block ends at an unreadable page).
TEST_F(PortServiceNames, BlockWithoutNulIsReadAsAtMost255Bytes) {
  GuardedBuffer block(kPortTextSize);
  std::memset(block.data(), ' ', kPortTextSize);
  block.data()[kPortTextSize - 2] = '8';
  block.data()[kPortTextSize - 1] = '9';  // the 256th byte: not part of the text
  const char* text = reinterpret_cast<const char*>(block.data());
  EXPECT_EQ(resolve_port(text), 8);
  EXPECT_EQ(fake_sockets::last_service_lookup().size(), static_cast<size_t>(kPortTextSize - 1));
}

TEST_F(PortServiceNames, NulEndsTheTextEarly) {
  char block[kPortTextSize];
  std::memset(block, '9', sizeof block);
  std::memcpy(block,
              "81\0"
              "77",
              5);
  EXPECT_EQ(resolve_port(block), 81);
  EXPECT_EQ(fake_sockets::last_service_lookup(), "81");
}

}  // namespace
}  // namespace quorvel
