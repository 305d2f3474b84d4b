#pragma once
// The wizard's settings: address and device history of the Select Device page,
// the Install page's files, the previous network values of the Configure
// Properties page, the text-copy switch and the video quality.

#include "app/ProgramSettingsSupervisor.h"
#include "runtime/StringAscii.h"

#include <string>
#include <utility>
#include <vector>

class KTX_ProgramSettingsWizard : public KTX_ProgramSettingsSupervisor {
public:
  // Bit of c_u32InstallFlags set when the force-install box was checked.
  static constexpr uint32_t c_u32InstallFlagForce = 2;

  KTX_ProgramSettingsWizard();

  int32_t Read() override;
  int32_t Write() override;

  std::vector<std::string> c_oChannelList;
  KTX_StringAscii c_oSelectedChannel;
  std::vector<std::pair<std::string, std::string>> c_oDeviceList; // (device id text, address text)
  KTX_StringAscii c_oSelectedDevice;
  KTX_StringAscii c_oInstallDirectory;
  KTX_StringAscii c_oInstallFile;
  std::vector<std::string> c_oInstallFileList;
  uint32_t c_u32InstallFlags;
  uint32_t c_u32PreviousAddress;
  uint32_t c_u32PreviousNetMask;
  uint32_t c_u32PreviousGateway;
  bool c_bTextCopy;
  uint32_t c_u32VideoQuality;
};

// The settings singleton: created with its defaults on first call.
KTX_ProgramSettingsWizard *GetProgramSettings();
// Deletes the singleton (and its serializer) and clears the pointer.
void DestroyProgramSettings();

// The folder of the program's own executable, with a trailing "/".
std::string GetProgramDirectory();
// The name a text copy of a saved configuration gets: everything from the last
// "." replaced by ".txt.ktxcfg" (appended when there is no "." after the first character).
std::string MakeTextCopyName(const std::string &p_strFileName);
