// tarnvel: the command-line front of the wizard for scripted work. Every
// command runs inside the same start-up and shutdown as the desktop program, so
// it writes the same log file and reads and writes the same settings.

#include "app/ProgramSettingsWizard.h"
#include "app/RuntimeDriver.h"
#include "comPosix/ProgramSettingsSerializerRegistryPosix.h"
#include "runtime/ReturnCode.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void Usage(std::FILE *p_poOut) {
  std::fprintf(p_poOut,
               "usage: tarnvel [--settings FILE] COMMAND\n"
               "\n"
               "commands:\n"
               "  version     print the program's name and version\n"
               "  settings    print the stored settings\n"
               "  startup     run the start-up and shutdown sequences and report them\n"
               "\n"
               "options:\n"
               "  --settings FILE   use FILE as the settings store instead of the per-user one\n"
               "\n"
               "The log is written to %s in the working directory.\n",
               KTX_RuntimeDriver::c_szLogFileName);
}

void PrintSettings(const KTX_ProgramSettingsWizard &p_roSettings) {
  std::printf("channels:");
  for (const std::string &c : p_roSettings.c_oChannelList) {
    std::printf(" %s", c.c_str());
  }
  std::printf("\nselected channel: %s\n", p_roSettings.c_oSelectedChannel.GetText());
  std::printf("devices:");
  for (const auto &[id, address] : p_roSettings.c_oDeviceList) {
    std::printf(" %s@%s", id.c_str(), address.c_str());
  }
  std::printf("\nselected device: %s\n", p_roSettings.c_oSelectedDevice.GetText());
  std::printf("install directory: %s\n", p_roSettings.c_oInstallDirectory.GetText());
  std::printf("install file: %s\n", p_roSettings.c_oInstallFile.GetText());
  std::printf("install flags: %u\n", p_roSettings.c_u32InstallFlags);
  std::printf("video quality: %u\n", p_roSettings.c_u32VideoQuality);
  std::printf("text copy: %s\n", p_roSettings.c_bTextCopy ? "yes" : "no");
}

} // namespace

int main(int argc, char **argv) {
  std::string settingsPath;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    if (std::strcmp(argv[i], "--settings") == 0 && i + 1 < argc) {
      settingsPath = argv[++i];
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "tarnvel: unknown option %s\n", argv[i]);
      Usage(stderr);
      return 2;
    }
  }
  if (i >= argc) {
    Usage(stderr);
    return 2;
  }
  const std::string command = argv[i];
  if (command != "version" && command != "settings" && command != "startup") {
    std::fprintf(stderr, "tarnvel: unknown command %s\n", command.c_str());
    Usage(stderr);
    return 2;
  }
  if (command == "version") {
    std::printf("%s\n", KTX_RuntimeDriver::GetMainWindowTitle().c_str());
    return 0;
  }

  KTX_RuntimeDriver::Hooks hooks;
  hooks.makeSerializer = [settingsPath]() -> KTX_ProgramSettingsSerializer * {
    return new KTX_ProgramSettingsSerializerRegistry("Settings", settingsPath.empty() ? nullptr : settingsPath.c_str());
  };
  KTX_RuntimeDriver driver(hooks);
  const int32_t rc = driver.StartUp();
  if (rc != KTX_RC_OK) {
    std::fprintf(stderr, "tarnvel: %s\n", driver.GetErrorText().c_str());
    driver.ShutDown();
    return 1;
  }
  if (command == "settings") {
    PrintSettings(*GetProgramSettings());
  } else {
    std::printf("%s\n", KTX_RuntimeDriver::GetMainWindowTitle().c_str());
    std::printf("started: registry, log, settings%s\n", driver.IsReactorRunning() ? ", message reactor" : "");
  }
  driver.ShutDown();
  if (command == "startup") {
    std::printf("stopped; log written to %s\n", KTX_RuntimeDriver::c_szLogFileName);
  }
  return 0;
}
