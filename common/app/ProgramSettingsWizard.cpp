#include "app/ProgramSettingsWizard.h"

#include "app/ProgramSettingsSerializer.h"
#include "runtime/ReturnCode.h"

#include <cstdio>
#include <limits>
#include <unistd.h>

namespace {

constexpr uint32_t kUintMax = std::numeric_limits<uint32_t>::max();

KTX_ProgramSettingsWizard *g_poSettings = nullptr;

std::string IndexedKey(const char *p_szStem, size_t p_uIndex) {
  char key[64];
  std::snprintf(key, sizeof key, "%s%zu", p_szStem, p_uIndex);
  return key;
}

// Reads "<count key>" and the non-empty "<stem>%d" entries below it.
void ReadList(KTX_ProgramSettingsSerializer &p_roStore, const char *p_szCountKey, const char *p_szStem,
              int32_t p_i32MaxCount, std::vector<std::string> &p_roList) {
  int32_t count = 0;
  p_roStore.ReadInt(p_szCountKey, count, 0, 0, p_i32MaxCount);
  for (int32_t i = 0; i < count; ++i) {
    KTX_StringAscii value;
    value.SetStackVariable();
    p_roStore.ReadString(IndexedKey(p_szStem, static_cast<size_t>(i)).c_str(), value, nullptr);
    if (value.GetLength() > 0) {
      p_roList.emplace_back(value.GetText());
    }
  }
}

void WriteList(KTX_ProgramSettingsSerializer &p_roStore, const char *p_szCountKey, const char *p_szStem,
               const std::vector<std::string> &p_roList) {
  p_roStore.WriteInt(p_szCountKey, static_cast<int32_t>(p_roList.size()));
  for (size_t i = 0; i < p_roList.size(); ++i) {
    p_roStore.WriteString(IndexedKey(p_szStem, i).c_str(), p_roList[i].c_str());
  }
}

} // namespace

std::string GetProgramDirectory() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) {
    return "./";
  }
  std::string exe(path, static_cast<size_t>(n));
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string("./") : exe.substr(0, slash + 1);
}

std::string MakeTextCopyName(const std::string &p_strFileName) {
  // Only the file name's own extension is replaced, never a dot in a folder name.
  const size_t slash = p_strFileName.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = p_strFileName.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) {
    return p_strFileName + ".txt.ktxcfg";
  }
  return p_strFileName.substr(0, dot) + ".txt.ktxcfg";
}

KTX_ProgramSettingsWizard::KTX_ProgramSettingsWizard()
    : c_u32InstallFlags(0), c_u32PreviousAddress(0), c_u32PreviousNetMask(0), c_u32PreviousGateway(0),
      c_bTextCopy(false), c_u32VideoQuality(0) {
  for (KTX_StringAscii *s : {&c_oSelectedChannel, &c_oSelectedDevice, &c_oInstallDirectory, &c_oInstallFile}) {
    s->SetStackVariable();
  }
  c_oInstallDirectory.Assign(GetProgramDirectory().c_str());
  c_oInstallDirectory.Append("ktxbin/");
}

int32_t KTX_ProgramSettingsWizard::Read() {
  const int32_t rc = KTX_ProgramSettingsSupervisor::Read();
  if (rc != KTX_RC_OK) {
    return rc;
  }
  KTX_ProgramSettingsSerializer &store = *GetSerializer();
  ReadList(store, "ChannelCount", "ChannelAddress", 20, c_oChannelList);
  store.ReadString("SelChannel", c_oSelectedChannel, nullptr);

  int32_t devices = 0;
  store.ReadInt("DeviceCount", devices, 0, 0, 256);
  for (int32_t i = 0; i < devices; ++i) {
    KTX_StringAscii id, address;
    id.SetStackVariable();
    address.SetStackVariable();
    store.ReadString(IndexedKey("DeviceID", static_cast<size_t>(i)).c_str(), id, nullptr);
    store.ReadString(IndexedKey("DeviceAddress", static_cast<size_t>(i)).c_str(), address, nullptr);
    if (id.GetLength() > 0 && address.GetLength() > 0) {
      c_oDeviceList.emplace_back(id.GetText(), address.GetText());
    }
  }
  store.ReadString("SelDevice", c_oSelectedDevice, nullptr);
  store.ReadString("InstallFile", c_oInstallFile, nullptr);

  KTX_StringAscii directory;
  directory.SetStackVariable();
  store.ReadString("InstallFileDir", directory, nullptr);
  if (directory.GetLength() > 0) {
    c_oInstallDirectory.Assign(directory);
  }
  ReadList(store, "InstallFileCount", "InstallFile", 20, c_oInstallFileList);

  uint32_t text = 0;
  store.ReadUint("InstallFlags", c_u32InstallFlags, 0, 0, kUintMax);
  store.ReadUint("Text", text, 0, 0, kUintMax);
  c_bTextCopy = text != 0;
  store.ReadUint("VideoQuality", c_u32VideoQuality, 0, 0, kUintMax);
  store.ReadUint("PrevAddress", c_u32PreviousAddress, 0, 0, kUintMax);
  store.ReadUint("PrevNetMask", c_u32PreviousNetMask, 0, 0, kUintMax);
  store.ReadUint("PrevGateway", c_u32PreviousGateway, 0, 0, kUintMax);
  return KTX_RC_OK;
}

int32_t KTX_ProgramSettingsWizard::Write() {
  const int32_t rc = KTX_ProgramSettingsSupervisor::Write();
  if (rc != KTX_RC_OK) {
    return rc;
  }
  KTX_ProgramSettingsSerializer &store = *GetSerializer();
  WriteList(store, "ChannelCount", "ChannelAddress", c_oChannelList);
  store.WriteString("SelChannel", c_oSelectedChannel.GetText());
  store.WriteInt("DeviceCount", static_cast<int32_t>(c_oDeviceList.size()));
  for (size_t i = 0; i < c_oDeviceList.size(); ++i) {
    store.WriteString(IndexedKey("DeviceID", i).c_str(), c_oDeviceList[i].first.c_str());
    store.WriteString(IndexedKey("DeviceAddress", i).c_str(), c_oDeviceList[i].second.c_str());
  }
  store.WriteString("SelDevice", c_oSelectedDevice.GetText());
  store.WriteString("InstallFile", c_oInstallFile.GetText());
  store.WriteString("InstallFileDir", c_oInstallDirectory.GetText());
  WriteList(store, "InstallFileCount", "InstallFile", c_oInstallFileList);
  // "Text" is only ever set by hand in the store and is never written back.
  store.WriteUint("InstallFlags", c_u32InstallFlags, 0, kUintMax);
  store.WriteUint("VideoQuality", c_u32VideoQuality, 0, kUintMax);
  store.WriteUint("PrevAddress", c_u32PreviousAddress, 0, kUintMax);
  store.WriteUint("PrevNetMask", c_u32PreviousNetMask, 0, kUintMax);
  store.WriteUint("PrevGateway", c_u32PreviousGateway, 0, kUintMax);
  return KTX_RC_OK;
}

KTX_ProgramSettingsWizard *GetProgramSettings() {
  if (g_poSettings == nullptr) {
    g_poSettings = new KTX_ProgramSettingsWizard();
  }
  return g_poSettings;
}

void DestroyProgramSettings() {
  delete g_poSettings;
  g_poSettings = nullptr;
}
