// Port resolution through the real sockets backend, this machine's services database and
// its resolver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "server/port_resolution.h"
#include "server/socket.h"

namespace quorvel {
namespace {

// The services database as a file: where the platform's resolver reads it.
std::string services_file() {
#ifdef _WIN32
  const char* system_root = std::getenv("SystemRoot");
  return std::string(system_root != nullptr ? system_root : "C:\\windows") +
         "\\system32\\drivers\\etc\\services";
#else
  return "/etc/services";
#endif
}

// The TCP port that the services database gives `name` (or one of its aliases), read from
// the file itself; -1 when it has no entry (or there is no file).
int services_database_port(const std::string& name) {
  std::ifstream file(services_file());
  std::string line;
  while (std::getline(file, line)) {
    // "http            80/tcp    www    # WorldWideWeb HTTP"
    std::istringstream words(line.substr(0, line.find('#')));
    std::string service, port_and_protocol, alias;
    if (!(words >> service >> port_and_protocol)) continue;
    const size_t slash = port_and_protocol.find('/');
    if (slash == std::string::npos || port_and_protocol.substr(slash + 1) != "tcp") continue;
    bool named = service == name;
    while (!named && words >> alias) named = alias == name;
    if (named) return std::atoi(port_and_protocol.substr(0, slash).c_str());
  }
  return -1;
}

// Windows Sockets resolves nothing before it is started; run_server starts it first too.
class PortServiceLookup : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(network_.started()); }

 private:
  net::ScopedNetwork network_;
};

ListenEndpoint resolved(const char* text) {
  ListenEndpoint endpoint{1, 1};
  EXPECT_TRUE(resolve_listen_endpoint(text, &endpoint)) << text;
  return endpoint;
}

TEST_F(PortServiceLookup, HttpGivesThePortOfTheServicesDatabase) {
  const int expected = services_database_port("http");
  if (expected < 0) GTEST_SKIP() << services_file() << " has no http/tcp service";
  EXPECT_EQ(resolved("http").port, expected);
  EXPECT_EQ(resolved("http").ipv4, kEveryInterface);
}

TEST_F(PortServiceLookup, NameMissingFromTheDatabaseIsReadAsNumber) {
  const char* name = "quorvel-no-such-service";
  ASSERT_EQ(services_database_port(name), -1);
  EXPECT_EQ(resolved(name).port, 0);
}

TEST_F(PortServiceLookup, LocalhostBeforeTheColonIsTheLoopbackAddress) {
  const ListenEndpoint endpoint = resolved("localhost:22050");
  EXPECT_EQ(endpoint.ipv4, 0x7f000001u);
  EXPECT_EQ(endpoint.port, 22050);
}

TEST_F(PortServiceLookup, HostNameTheResolverDoesNotKnowResolvesToNothing) {
  ListenEndpoint endpoint{1, 1};
  EXPECT_FALSE(resolve_listen_endpoint("quorvel-no-such-host.invalid:22050", &endpoint));
  EXPECT_STRNE(net::last_failure_text(), "");
}

}  // namespace
}  // namespace quorvel
