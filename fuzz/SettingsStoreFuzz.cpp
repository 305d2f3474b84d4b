// Feeds arbitrary bytes to the settings store reader; whatever it accepts must
// write back and read again to the same values.

#include "comPosix/ProgramSettingsSerializerRegistryPosix.h"
#include "runtime/DebugLog.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool once = [] {
    SetLogFileName("/dev/null");
    return true;
  }();
  (void)once;
  using Store = KTX_ProgramSettingsSerializerRegistry::Store;
  Store first;
  int32_t bad = 0;
  KTX_ProgramSettingsSerializerRegistry::Parse(reinterpret_cast<const char *>(data), size, first, bad);
  const std::string text = KTX_ProgramSettingsSerializerRegistry::Format(first);
  Store second;
  int32_t bad2 = 0;
  KTX_ProgramSettingsSerializerRegistry::Parse(text.data(), text.size(), second, bad2);
  if (bad2 != 0 || KTX_ProgramSettingsSerializerRegistry::Format(second) != text) {
    std::abort();
  }
  return 0;
}
