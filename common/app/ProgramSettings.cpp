#include "app/ProgramSettings.h"

#include "app/ProgramSettingsSerializer.h"
#include "runtime/DebugLog.h"

KTX_ProgramSettings::KTX_ProgramSettings() : c_poSerializer(nullptr) {}

KTX_ProgramSettings::~KTX_ProgramSettings() { delete c_poSerializer; }

void KTX_ProgramSettings::SetSerializer(KTX_ProgramSettingsSerializer *p_poSerializer) {
  KTX_CHECK_AT("ProgramSettings", p_poSerializer);
  if (c_poSerializer != p_poSerializer) {
    delete c_poSerializer;
  }
  c_poSerializer = p_poSerializer;
}
