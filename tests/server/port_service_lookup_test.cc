// Port resolution through the real sockets backend and this machine's services database.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "server/port_resolution.h"

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

TEST(PortServiceLookup, HttpGivesThePortOfTheServicesDatabase) {
  const int expected = services_database_port("http");
  if (expected < 0) GTEST_SKIP() << "getent knows no http/tcp service on this machine";
  EXPECT_EQ(resolve_port("http"), expected);
}

TEST(PortServiceLookup, NameMissingFromTheDatabaseIsReadAsNumber) {
  const char* name = "quorvel-no-such-service";
  ASSERT_EQ(services_database_port(name), -1);
  EXPECT_EQ(resolve_port(name), 0);
}

}  // namespace
}  // namespace quorvel
