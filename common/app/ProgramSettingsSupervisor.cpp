#include "app/ProgramSettingsSupervisor.h"

#include "app/ProgramSettingsSerializer.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

#include <cstdint>
#include <limits>
#include <utility>

namespace {
KTX_ProgramSettingsSupervisor::MonitorProvider &Monitors() {
  static KTX_ProgramSettingsSupervisor::MonitorProvider provider;
  return provider;
}
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
} // namespace

KTX_ProgramSettingsSupervisor::KTX_ProgramSettingsSupervisor()
    : c_oSavedRect{-1, -1, -1, -1}, c_bSavedMaximized(false) {}

void KTX_ProgramSettingsSupervisor::SetMonitorProvider(MonitorProvider p_oProvider) {
  Monitors() = std::move(p_oProvider);
}

bool KTX_ProgramSettingsSupervisor::HasSavedRect() const {
  return c_oSavedRect.i32Left != -1 && c_oSavedRect.i32Top != -1 && c_oSavedRect.i32Right != -1 &&
         c_oSavedRect.i32Bottom != -1;
}

int32_t KTX_ProgramSettingsSupervisor::Read() {
  KTX_ProgramSettingsSerializer *store = GetSerializer();
  if (store == nullptr) {
    KTX_LOG_AT("ProgramSettingsSupervisor", KTX_ERROR,
               "KTX_ProgramSettingsSupervisor::Read: No serializer has been set");
    return KTX_RC_INTERNAL_ERROR;
  }
  store->ReadInt("MainWndLeft", c_oSavedRect.i32Left, -1, kMin, kMax);
  store->ReadInt("MainWndTop", c_oSavedRect.i32Top, -1, kMin, kMax);
  store->ReadInt("MainWndRight", c_oSavedRect.i32Right, -1, kMin, kMax);
  store->ReadInt("MainWndBottom", c_oSavedRect.i32Bottom, -1, kMin, kMax);
  int32_t maximized = 0;
  store->ReadInt("MainWndMax", maximized, 0, kMin, kMax);
  c_bSavedMaximized = maximized != 0;
  if (HasSavedRect() && Monitors()) {
    c_oSavedRect = ClipRectToMonitor(c_oSavedRect, Monitors()());
  }
  return KTX_RC_OK;
}

int32_t KTX_ProgramSettingsSupervisor::Write() {
  KTX_ProgramSettingsSerializer *store = GetSerializer();
  if (store == nullptr) {
    KTX_LOG_AT("ProgramSettingsSupervisor", KTX_ERROR,
               "KTX_ProgramSettingsSupervisor::Write: No serializer has been set");
    return KTX_RC_INTERNAL_ERROR;
  }
  store->WriteInt("MainWndLeft", c_oSavedRect.i32Left);
  store->WriteInt("MainWndTop", c_oSavedRect.i32Top);
  store->WriteInt("MainWndRight", c_oSavedRect.i32Right);
  store->WriteInt("MainWndBottom", c_oSavedRect.i32Bottom);
  store->WriteInt("MainWndMax", c_bSavedMaximized ? 1 : 0);
  return KTX_RC_OK;
}
