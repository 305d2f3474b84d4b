// Shared main() of the test programs: runs each process in a fresh directory so
// that the files the runtime writes into the working directory (the debug log,
// settings) never collide between test processes running in parallel.

#include "support/TestDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
std::string g_processDir;
}

const std::string &TestProcessDir() { return g_processDir; }

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string base = "/tmp";
  if (const char *tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') {
    base = tmp;
  }
  std::string templ = base + "/tarnvel-test-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr || chdir(templ.c_str()) != 0) {
    return 2;
  }
  g_processDir = templ;
  const int rc = RUN_ALL_TESTS();
  // The directory is left behind on failure so its log can be inspected.
  if (rc == 0) {
    std::string cmd = "rm -rf '" + templ + "'";
    (void)std::system(cmd.c_str());
  }
  return rc;
}
