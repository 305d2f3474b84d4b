#pragma once
// What one emulated sensor is: identity, hardware, versions, network settings,
// timings and where it keeps its flash between runs. Filled from the command
// line (SimOptions.h) or directly by tests.

#include "link/DeviceAddress.h"
#include "runtime/Version.h"

#include <cstdint>
#include <string>

struct KTX_SimSensorConfig {
  // 1 Pedestrian Waiting Area, 2 Pedestrian On-Crossing, 3 Vehicle Call.
  uint32_t u32Model = 1;
  uint32_t u32HardwareVersion = 1;
  KTX_DeviceAddress::DeviceId aDeviceId{0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
  KTX_DeviceAddress::MacAddress aMac{0x02, 0x54, 0x56, 0x00, 0x00, 0x01};
  // Versions of the installed programs when the state folder holds no image for them.
  KTX_Version oBootLoaderVersion{1, 0, 4, "", KTX_DateTime(2016, 3, 1, 10, 0, 0)};
  KTX_Version oBurnInVersion{1, 0, 1, "", KTX_DateTime(2016, 3, 1, 10, 5, 0)};
  KTX_Version oSoftwareVersion{2, 3, 17, "a", KTX_DateTime(2017, 6, 1, 12, 0, 0)};
  // The program the sensor starts in: 1 boot loader, 2 burn-in, 3 normal.
  uint32_t u32StartProgram = 3;
  bool bAnalogVideo = true;
  uint32_t u32LensSize = 8;
  uint32_t u32PinOut = 1;
  // Description 1 (descriptions 2 to 8 are empty).
  std::string strDescription;

  // Link: UDP on a host address and port (port 0: ephemeral), or a pseudo-terminal
  // bus; sensors naming the same bus share one pseudo-terminal.
  bool bSerial = false;
  uint32_t u32BindIp = 0x7F000001u; // host order
  uint16_t u16Port = 5150;
  std::string strBus = "bus0";
  // When non-zero, the bus's slave device is also linked as COMn in the COM folder.
  int32_t i32ComPort = 0;

  // The sensor's own network settings (host order). An IP of 0 means "the bind
  // address"; wrong settings make the sensor unable to answer its peers directly.
  uint32_t u32NetIp = 0;
  uint32_t u32NetMask = 0xFF000000u;
  uint32_t u32NetGateway = 0;

  // How long the sensor is silent while it reboots, and how long a flash commit runs.
  uint32_t u32RebootMs = 3000;
  uint32_t u32FlashMs = 3000;
  // The normal program refuses a configuration erase (only the flash-writing
  // program or the boot loader performs it).
  bool bEraseNeedsFlashWriter = false;
  // Size of one camera picture when no display format has chosen one.
  int32_t i32SnapshotWidth = 320;
  int32_t i32SnapshotHeight = 240;

  // Parent folder of the sensor's own state folder; empty: nothing is kept.
  std::string strStateFolder;
};
