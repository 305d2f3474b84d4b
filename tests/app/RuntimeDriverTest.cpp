#include "app/ProgramSettingsWizard.h"
#include "app/RuntimeDriver.h"
#include "comPosix/ProgramSettingsSerializerRegistryPosix.h"
#include "runtime/ReturnCode.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

namespace {

KTX_RuntimeDriver::Hooks StoreAt(const std::string &path) {
  KTX_RuntimeDriver::Hooks hooks;
  hooks.makeSerializer = [path] { return new KTX_ProgramSettingsSerializerRegistry("Settings", path.c_str()); };
  return hooks;
}

TEST(RuntimeDriver, StartUpAndShutDownWriteTheLogAndACleanLeakReport) {
  {
    KTX_RuntimeDriver driver(StoreAt("driver.conf"));
    ASSERT_EQ(driver.StartUp(), KTX_RC_OK);
    GetProgramSettings()->c_u32VideoQuality = 42;
    driver.ShutDown();
    driver.ShutDown(); // a second shutdown does nothing
  }
  std::ifstream in("_Log_TarnvelWizard.txt", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(std::regex_search(raw, std::regex(R"(^   1:     INFO \d{4} \d\d \d\d -- \d\d:\d\d:\d\d -- Tarnvel Wizard - 1\.9\.0\.b 2017 08 10 21:09:14\r\n)")))
      << raw;
  const std::string rule = "=============== Base Class =======================";
  const size_t first = raw.find(rule);
  ASSERT_NE(first, std::string::npos);
  const size_t second = raw.find(rule, first + rule.size());
  ASSERT_NE(second, std::string::npos);
  const std::string report = raw.substr(first, second - first);
  EXPECT_EQ(report.find(" *** "), std::string::npos) << report;
  EXPECT_NE(report.find("STRING_ASCII"), std::string::npos) << "types that had objects are listed";

  // The settings were written at shutdown and come back at the next start-up.
  KTX_RuntimeDriver again(StoreAt("driver.conf"));
  ASSERT_EQ(again.StartUp(), KTX_RC_OK);
  EXPECT_EQ(GetProgramSettings()->c_u32VideoQuality, 42u);
  again.ShutDown();
}

TEST(RuntimeDriver, TitleCarriesTheDisplayVersion) {
  EXPECT_EQ(KTX_RuntimeDriver::GetMainWindowTitle(), "Tarnvel Wizard - 1.9.0.b 2017 08 10 21:09:14");
  EXPECT_EQ(KTX_RuntimeDriver::GetProgramVersion().GetText(), "1.9.0.b   2017 08 10 21:09:14        ");
}

} // namespace
