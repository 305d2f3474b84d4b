#include "runtime/ReturnCode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ReturnCode, NamesAndUnknownCodes) {
  struct Case {
    int32_t code;
    const char *text;
  } cases[] = {
      {0, "KTX_RC_OK"},
      {702, "KTX_RC_SOCKET_BIND_FAILED"},
      {3002, "KTX_RC_CAL_FINE_ADJUST_CONTRAST_FAILED"},
      {205, "Unknown ErrorCode_0205"},
      {12345, "Unknown ErrorCode_2345"},
      {7, "Unknown ErrorCode_0007"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(std::string(GetReturnCodeText(c.code)), c.text) << c.code;
  }
}

} // namespace
