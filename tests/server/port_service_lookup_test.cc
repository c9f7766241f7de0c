// Port resolution through the real sockets backend, this machine's services database and
// its resolver.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "server/port_resolution.h"
#include "server/socket.h"

namespace quorvel {
namespace {

// The TCP port this machine's services database gives `name`, as getent reports it;
// -1 when it has no entry (or getent is missing).
int services_database_port(const std::string& name) {
  const std::string command = "getent services " + name + "/tcp 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char line[256] = {};
  const bool got_line = std::fgets(line, sizeof line, pipe) != nullptr;
  pclose(pipe);
  if (!got_line) return -1;
  // "http                  80/tcp www"
  char service[128];
  int port = -1;
  if (std::sscanf(line, "%127s %d/tcp", service, &port) != 2) return -1;
  return port;
}

ListenEndpoint resolved(const char* text) {
  ListenEndpoint endpoint{1, 1};
  EXPECT_TRUE(resolve_listen_endpoint(text, &endpoint)) << text;
  return endpoint;
}

TEST(PortServiceLookup, HttpGivesThePortOfTheServicesDatabase) {
  const int expected = services_database_port("http");
  if (expected < 0) GTEST_SKIP() << "getent knows no http/tcp service on this machine";
  EXPECT_EQ(resolved("http").port, expected);
  EXPECT_EQ(resolved("http").ipv4, kEveryInterface);
}

TEST(PortServiceLookup, NameMissingFromTheDatabaseIsReadAsNumber) {
  const char* name = "quorvel-no-such-service";
  ASSERT_EQ(services_database_port(name), -1);
  EXPECT_EQ(resolved(name).port, 0);
}

TEST(PortServiceLookup, LocalhostBeforeTheColonIsTheLoopbackAddress) {
  const ListenEndpoint endpoint = resolved("localhost:22050");
  EXPECT_EQ(endpoint.ipv4, 0x7f000001u);
  EXPECT_EQ(endpoint.port, 22050);
}

TEST(PortServiceLookup, HostNameTheResolverDoesNotKnowResolvesToNothing) {
  ListenEndpoint endpoint{1, 1};
  EXPECT_FALSE(resolve_listen_endpoint("quorvel-no-such-host.invalid:22050", &endpoint));
  EXPECT_STRNE(net::last_failure_text(), "");
}

}  // namespace
}  // namespace quorvel
