// tarnvel: the command-line front of the wizard for scripted work. Every
// command runs inside the same start-up and shutdown as the desktop program, so
// it writes the same log file and reads and writes the same settings.

#include "CliRequest.h"

#include "app/ProgramSettingsWizard.h"
#include "app/RuntimeDriver.h"
#include "comPosix/ProgramSettingsSerializerRegistryPosix.h"
#include "link/Channel.h"
#include "link/ChannelList.h"
#include "link/DeviceAddress.h"
#include "link/MessageIds.h"
#include "link/MessageSupervisor.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"

#include <cstdio>
#include <cstdlib>
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
               "  hello ADDRESS [COUNT]\n"
               "              greet the sensor at ADDRESS (192.168.0.10, 127.0.0.1:5150, COM5,\n"
               "              COM3-255) COUNT times (default 1) and print each answer\n"
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

// Sends HELLO through the device link and prints each answer; 0 when all were answered.
int Hello(const char *p_szAddress, int p_iCount) {
  KTX_DeviceAddress address;
  address.SetStackVariable();
  if (address.Parse(p_szAddress) != KTX_RC_OK || address.GetKind() < KTX_ADDRESS_ETHERNET) {
    std::fprintf(stderr, "tarnvel: not a sensor address: %s\n", p_szAddress);
    return 2;
  }
  KTX_ChannelList channels;
  KTX_Channel *channel = nullptr;
  int32_t rc = channels.GetChannel(address, channel);
  if (rc != KTX_RC_OK) {
    std::fprintf(stderr, "tarnvel: no channel for %s: %s\n", p_szAddress, GetReturnCodeText(rc));
    return 1;
  }
  CCliRequest *request = new CCliRequest();
  int failures = 0;
  for (int i = 0; i < p_iCount; ++i) {
    KTX_MessageSupervisor *hello = KTX_MessageSupervisor::NewMessage();
    hello->SetMessageId(KTX_SMI_HELLO);
    hello->SetDestination(address);
    CCliRequest::Answer answer{};
    const uint32_t start = OsalGetTickCount();
    // The protocol gives up after five sends 2 s apart; wait a little longer than that.
    rc = request->Exchange(*channel, hello, 15000, answer);
    const uint32_t elapsed = OsalGetTickCount() - start;
    if (rc != KTX_RC_OK) {
      std::printf("%s: no answer (%s) after %u ms\n", p_szAddress, GetReturnCodeText(rc), elapsed);
      ++failures;
      continue;
    }
    std::printf("%s: %s in %u ms, %zu payload bytes:", p_szAddress, GetReturnCodeText(answer.i32SensorResult),
                elapsed, answer.vu8Payload.size());
    for (uint8_t b : answer.vu8Payload) {
      std::printf(" %02X", b);
    }
    std::printf("\n");
  }
  request->Delete();
  return failures == 0 ? 0 : 1;
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
  if (command != "version" && command != "settings" && command != "startup" && command != "hello") {
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
  int result = 0;
  if (command == "hello") {
    if (i + 1 >= argc) {
      std::fprintf(stderr, "tarnvel: hello needs an address\n");
      result = 2;
    } else {
      const int count = i + 2 < argc ? std::atoi(argv[i + 2]) : 1;
      result = Hello(argv[i + 1], count > 0 ? count : 1);
    }
  } else if (command == "settings") {
    PrintSettings(*GetProgramSettings());
  } else {
    std::printf("%s\n", KTX_RuntimeDriver::GetMainWindowTitle().c_str());
    std::printf("started: registry, log, settings%s\n", driver.IsReactorRunning() ? ", message reactor" : "");
  }
  driver.ShutDown();
  if (command == "startup") {
    std::printf("stopped; log written to %s\n", KTX_RuntimeDriver::c_szLogFileName);
  }
  return result;
}
