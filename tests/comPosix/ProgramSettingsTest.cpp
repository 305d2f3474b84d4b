#include "app/ProgramSettingsWizard.h"
#include "app/ScreenRect.h"
#include "comPosix/ProgramSettingsSerializerRegistryPosix.h"
#include "runtime/ReturnCode.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

void WriteFile(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A settings object over a store file in the test's directory.
struct Settings : KTX_ProgramSettingsWizard {
  explicit Settings(const std::string &path) {
    SetSerializer(new KTX_ProgramSettingsSerializerRegistry("Settings", path.c_str()));
  }
};

TEST(ProgramSettings, FirstRunGivesTheDefaults) {
  Settings s("absent.conf");
  EXPECT_EQ(s.Read(), KTX_RC_OK);
  EXPECT_TRUE(s.c_oChannelList.empty());
  EXPECT_TRUE(s.c_oDeviceList.empty());
  EXPECT_EQ(std::string(s.c_oInstallDirectory.GetText()), GetProgramDirectory() + "ktxbin/");
  EXPECT_EQ(s.c_u32InstallFlags | s.c_u32VideoQuality | s.c_u32PreviousAddress | s.c_u32PreviousNetMask |
                s.c_u32PreviousGateway,
            0u);
  EXPECT_FALSE(s.c_bTextCopy);
  EXPECT_FALSE(s.HasSavedRect());
  EXPECT_FALSE(s.c_bSavedMaximized);
}

TEST(ProgramSettings, EverythingSurvivesAWriteAndARead) {
  {
    Settings s("store.conf");
    s.Read();
    s.c_oSavedRect = {10, 20, 810, 620};
    s.c_bSavedMaximized = true;
    s.c_oChannelList = {"COM3-255", "192.168.0.10", "COM5"};
    s.c_oSelectedChannel.Assign("COM5");
    s.c_oDeviceList = {{"12", "COM5"}, {"0x4D", "192.168.0.10:6000"}};
    s.c_oSelectedDevice.Assign("12");
    s.c_oInstallDirectory.Assign("/opt/soft ware/");
    s.c_oInstallFile.Assign("a\nb\\c.ktxbin");
    s.c_oInstallFileList = {"x.ktxbin"};
    s.c_u32InstallFlags = 2;
    s.c_u32VideoQuality = 75;
    s.c_u32PreviousAddress = 0xC0A8000A;
    s.c_u32PreviousNetMask = 0xFFFFFF00;
    s.c_u32PreviousGateway = 0xC0A80001;
    EXPECT_EQ(s.Write(), KTX_RC_OK);
  }
  Settings r("store.conf");
  EXPECT_EQ(r.Read(), KTX_RC_OK);
  EXPECT_EQ(r.c_oSavedRect, (KTX_ScreenRect{10, 20, 810, 620}));
  EXPECT_TRUE(r.c_bSavedMaximized);
  EXPECT_EQ(r.c_oChannelList, (std::vector<std::string>{"COM3-255", "192.168.0.10", "COM5"}));
  EXPECT_STREQ(r.c_oSelectedChannel.GetText(), "COM5");
  ASSERT_EQ(r.c_oDeviceList.size(), 2u);
  EXPECT_EQ(r.c_oDeviceList[1].second, "192.168.0.10:6000");
  EXPECT_STREQ(r.c_oSelectedDevice.GetText(), "12");
  EXPECT_STREQ(r.c_oInstallDirectory.GetText(), "/opt/soft ware/");
  EXPECT_STREQ(r.c_oInstallFile.GetText(), "a\nb\\c.ktxbin");
  EXPECT_EQ(r.c_oInstallFileList, std::vector<std::string>{"x.ktxbin"});
  EXPECT_EQ(r.c_u32InstallFlags, 2u);
  EXPECT_EQ(r.c_u32VideoQuality, 75u);
  EXPECT_EQ(r.c_u32PreviousAddress, 0xC0A8000Au);
  EXPECT_EQ(r.c_u32PreviousNetMask, 0xFFFFFF00u);
  EXPECT_EQ(r.c_u32PreviousGateway, 0xC0A80001u);
}

TEST(ProgramSettings, StoredValuesAreClampedAndFiltered) {
  std::string text = "[Settings]\nMainWndLeft=int:-1\nMainWndTop=int:5\nMainWndRight=int:100\nMainWndBottom=int:100\n"
                     "ChannelCount=int:35\nDeviceCount=int:3\n"
                     "DeviceID0=str:7\nDeviceAddress0=str:\n"          // id without address: dropped
                     "DeviceID1=str:8\nDeviceAddress1=str:COM2\n"
                     "DeviceAddress2=str:COM9\n"                       // address without id: dropped
                     "InstallFileCount=int:-4\nInstallFile0=str:never.ktxbin\n"
                     "InstallFileDir=str:\n"                           // empty keeps the default
                     "VideoQuality=str:80\n"                           // the wrong kind reads as the default
                     "Text=int:1\n";
  for (int i = 0; i < 30; ++i) {
    text += "ChannelAddress" + std::to_string(i) + "=str:" + (i == 3 ? "" : "COM" + std::to_string(i + 1)) + "\n";
  }
  WriteFile("clamp.conf", text);
  {
    Settings s("clamp.conf");
    s.Read();
    EXPECT_FALSE(s.HasSavedRect()) << "one coordinate of -1 means no saved rectangle";
    EXPECT_EQ(s.c_oChannelList.size(), 19u) << "20 read, the empty one skipped";
    EXPECT_EQ(s.c_oChannelList.back(), "COM20");
    ASSERT_EQ(s.c_oDeviceList.size(), 1u);
    EXPECT_EQ(s.c_oDeviceList[0].first, "8");
    EXPECT_TRUE(s.c_oInstallFileList.empty());
    EXPECT_EQ(std::string(s.c_oInstallDirectory.GetText()), GetProgramDirectory() + "ktxbin/");
    EXPECT_EQ(s.c_u32VideoQuality, 0u);
    EXPECT_TRUE(s.c_bTextCopy);
    s.c_oChannelList.resize(2);
    s.Write();
  }
  const std::string after = ReadFile("clamp.conf");
  EXPECT_NE(after.find("Text=int:1\n"), std::string::npos) << "Text is never written, so it stays";
  EXPECT_NE(after.find("ChannelCount=int:2\n"), std::string::npos);
  EXPECT_NE(after.find("ChannelAddress4=str:COM5\n"), std::string::npos) << "stale entries stay in the store";
  EXPECT_NE(after.find("DeviceCount=int:1\n"), std::string::npos);
  Settings r("clamp.conf");
  r.Read();
  EXPECT_EQ(r.c_oChannelList, (std::vector<std::string>{"COM1", "COM2"}));
}

TEST(ProgramSettings, BadStoreFilesGiveDefaultsAndALogLine) {
  struct Case {
    const char *name;
    std::string text;
    uint32_t quality;
  } cases[] = {
      {"garbage", std::string("\x01\x02\xFF garbage \0 [Settings\n=\n", 27), 0},
      {"truncated", "[Settings]\nVideoQuality=int:4\nPrevAddr", 4},
      {"badvalues", "[Settings]\nVideoQuality=int:99999999999\nPrevGateway=str:\\q\nSelDevice=str:\\x0\n", 0},
      {"nosection", "VideoQuality=int:5\n", 0},
  };
  for (const Case &c : cases) {
    UseFreshLogFile(c.name);
    const std::string path = std::string(c.name) + ".conf";
    WriteFile(path, c.text);
    Settings s(path);
    EXPECT_EQ(s.Read(), KTX_RC_OK) << c.name;
    EXPECT_EQ(s.c_u32VideoQuality, c.quality) << c.name;
    EXPECT_TRUE(LogContains("unreadable line(s) ignored")) << c.name;
  }
}

TEST(ProgramSettings, MissingSerializerIsReportedNotFatal) {
  UseFreshLogFile("noserializer");
  KTX_ProgramSettingsWizard s;
  EXPECT_EQ(s.Read(), KTX_RC_INTERNAL_ERROR);
  EXPECT_EQ(s.Write(), KTX_RC_INTERNAL_ERROR);
  s.SetSerializer(nullptr);
  EXPECT_TRUE(LogContains("KTX_ProgramSettingsSupervisor::Read: No serializer has been set"));
  EXPECT_TRUE(LogContains("KTX_ProgramSettingsSupervisor::Write: No serializer has been set"));
  EXPECT_TRUE(LogContains("*ASSERT* ") && LogContains("Assertion Failed: \"p_poSerializer\""));
}

TEST(ProgramSettings, SingletonLivesUntilDestroyed) {
  KTX_ProgramSettingsWizard *a = GetProgramSettings();
  EXPECT_EQ(GetProgramSettings(), a);
  DestroyProgramSettings();
  KTX_ProgramSettingsWizard *b = GetProgramSettings();
  EXPECT_NE(b, nullptr);
  DestroyProgramSettings();
}

TEST(ScreenRect, SavedRectangleIsMovedOntoTheNearestMonitorAtItsSize) {
  const std::vector<KTX_ScreenRect> one{{0, 0, 1920, 1080}};
  const std::vector<KTX_ScreenRect> two{{0, 0, 1920, 1080}, {1920, 0, 3840, 1200}};
  struct Case {
    const char *what;
    KTX_ScreenRect in;
    std::vector<KTX_ScreenRect> monitors;
    KTX_ScreenRect out;
  } cases[] = {
      {"inside stays", {100, 100, 900, 700}, one, {100, 100, 900, 700}},
      {"far right", {3100, 100, 3900, 700}, one, {1120, 100, 1920, 700}},
      {"above and left", {-500, -300, 300, 300}, one, {0, 0, 800, 600}},
      {"second monitor", {3000, 100, 3800, 700}, two, {3000, 100, 3800, 700}},
      {"below second", {2500, 1500, 3300, 2100}, two, {2500, 600, 3300, 1200}},
      {"no monitors", {5000, 5000, 5100, 5100}, {}, {5000, 5000, 5100, 5100}},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(ClipRectToMonitor(c.in, c.monitors), c.out) << c.what;
  }
}

TEST(ProgramSettings, ReadPlacesTheSavedRectangleOnAMonitor) {
  WriteFile("off.conf",
            "[Settings]\nMainWndLeft=int:4920\nMainWndTop=int:10\nMainWndRight=int:5720\nMainWndBottom=int:610\n");
  KTX_ProgramSettingsSupervisor::SetMonitorProvider([] { return std::vector<KTX_ScreenRect>{{0, 0, 1920, 1080}}; });
  Settings s("off.conf");
  s.Read();
  KTX_ProgramSettingsSupervisor::SetMonitorProvider(nullptr);
  EXPECT_EQ(s.c_oSavedRect, (KTX_ScreenRect{1120, 10, 1920, 610}));
}

TEST(ProgramSettings, TextCopyNameReplacesOnlyTheFileExtension) {
  struct Case {
    const char *in;
    const char *out;
  } cases[] = {
      {"site.ktxcfg", "site.txt.ktxcfg"},
      {"NewConfiguration", "NewConfiguration.txt.ktxcfg"},
      {".hidden", ".hidden.txt.ktxcfg"},
      {"/data/v1.2/site", "/data/v1.2/site.txt.ktxcfg"},
      {"/data/v1.2/site.a.ktxcfg", "/data/v1.2/site.a.txt.ktxcfg"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(MakeTextCopyName(c.in), c.out);
  }
}

} // namespace
