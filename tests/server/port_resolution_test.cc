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

// The port a text without an address resolves to; every such text resolves.
uint16_t resolve_port(const char* text) {
  ListenEndpoint endpoint{1, 1};
  EXPECT_TRUE(resolve_listen_endpoint(text, &endpoint)) << "port text \"" << text << "\"";
  EXPECT_EQ(endpoint.ipv4, kEveryInterface) << "port text \"" << text << "\"";
  return endpoint.port;
}

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

constexpr uint32_t ipv4(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

struct EndpointCase {
  const char* text;
  bool resolves;
  ListenEndpoint endpoint;  // when it resolves
};

class EndpointResolution : public ::testing::TestWithParam<EndpointCase> {
 protected:
  void SetUp() override {
    fake_sockets::reset();
    fake_sockets::add_host("frames-pc", ipv4(192, 168, 1, 20));
    fake_sockets::add_service("http", 80);
  }
};

TEST_P(EndpointResolution, AddressBeforeTheFirstColonPortAfterIt) {
  const EndpointCase& c = GetParam();
  ListenEndpoint endpoint{7, 7};
  ASSERT_EQ(resolve_listen_endpoint(c.text, &endpoint), c.resolves) << "\"" << c.text << "\"";
  const ListenEndpoint expected = c.resolves ? c.endpoint : ListenEndpoint{7, 7};
  EXPECT_EQ(endpoint.ipv4, expected.ipv4) << "\"" << c.text << "\"";
  EXPECT_EQ(endpoint.port, expected.port) << "\"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EndpointResolution,
    ::testing::Values(
        EndpointCase{"127.0.0.1:22050", true, {ipv4(127, 0, 0, 1), 22050}},
        EndpointCase{"frames-pc:22050", true, {ipv4(192, 168, 1, 20), 22050}},
        EndpointCase{"127.0.0.1:http", true, {ipv4(127, 0, 0, 1), 80}},
        // Not this PC's: it resolves, and the bind then fails.
        EndpointCase{"192.0.2.7:22050", true, {ipv4(192, 0, 2, 7), 22050}},
        EndpointCase{":22050", true, {kEveryInterface, 22050}},
        EndpointCase{" \t:22050", true, {kEveryInterface, 22050}},
        EndpointCase{"127.0.0.1:", true, {ipv4(127, 0, 0, 1), 0}},  // the system picks
        EndpointCase{" 10.0.0.255 :70000", true, {ipv4(10, 0, 0, 255), 4464}},
        EndpointCase{"255.255.255.255:1", true, {ipv4(255, 255, 255, 255), 1}},
        EndpointCase{"127.0.0.1:22050:9", true, {ipv4(127, 0, 0, 1), 22050}},
        EndpointCase{"no-such-pc:22050", false, {}}, EndpointCase{"256.0.0.1:22050", false, {}},
        EndpointCase{"127.0.0:22050", false, {}}, EndpointCase{"127.0.0.1.5:22050", false, {}},
        EndpointCase{"0127.0.0.1:22050", false, {}},  // a resolver would read octal
        EndpointCase{"127..0.1:22050", false, {}}));

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

// The settings block holds 256 bytes that need not end in a NUL: only the first 254 count
// (the two flags follow), and nothing past the block is read (the block ends at an
// unreadable page).
TEST_F(PortServiceNames, BlockWithoutNulIsReadAsAtMost254Bytes) {
  GuardedBuffer block(kPortTextSize);
  std::memset(block.data(), ' ', kPortTextSize);
  block.data()[kPortTextSize - 3] = '8';
  block.data()[kSeveralClientsOffset] = '7';  // the flags' bytes: not part of the text
  block.data()[kKeepWaitingOffset] = '9';
  const char* text = reinterpret_cast<const char*>(block.data());
  EXPECT_EQ(resolve_port(text), 8);
  EXPECT_EQ(fake_sockets::last_service_lookup().size(), static_cast<size_t>(kPortTextLimit));
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
