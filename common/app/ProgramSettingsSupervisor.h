#pragma once
// Settings shared by the supervisor programs: the main window's saved normal
// rectangle (each coordinate -1 = not saved) and whether it was maximized.

#include "app/ProgramSettings.h"
#include "app/ScreenRect.h"

#include <functional>
#include <vector>

class KTX_ProgramSettingsSupervisor : public KTX_ProgramSettings {
public:
  KTX_ProgramSettingsSupervisor();

  int32_t Read() override;
  int32_t Write() override;

  // The monitors a saved rectangle is placed back onto when read. The desktop
  // program installs one; without it the rectangle is kept as stored.
  using MonitorProvider = std::function<std::vector<KTX_ScreenRect>()>;
  static void SetMonitorProvider(MonitorProvider p_oProvider);

  // True when all four coordinates were saved.
  bool HasSavedRect() const;

  KTX_ScreenRect c_oSavedRect;
  bool c_bSavedMaximized;
};
