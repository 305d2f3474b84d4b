#pragma once
// The root of a configuration tree: the sensor's eight description texts (the
// first one is the sensor's name), the free notes, the network settings and
// the one sensor node.

#include "config/Config.h"
#include "config/ConfigCom.h"
#include "config/ConfigSensor.h"
#include "runtime/StringUnicode.h"

class KTX_ConfigDevice : public KTX_Config {
public:
  static constexpr uint32_t c_u32DescriptionCount = 8;

  KTX_ConfigDevice();
  ~KTX_ConfigDevice() override;

  int32_t WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) override;
  int32_t ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) override;
  int32_t Finalize() override;

  // Description 0 to 7; none for any other index.
  KTX_StringUnicode *GetDescription(uint32_t p_u32Index);
  const KTX_StringUnicode *GetDescription(uint32_t p_u32Index) const;
  KTX_StringUnicode &GetNotes() { return c_oNotes; }
  const KTX_StringUnicode &GetNotes() const { return c_oNotes; }
  KTX_ConfigCom &GetCommunications() { return c_oCom; }
  const KTX_ConfigCom &GetCommunications() const { return c_oCom; }
  KTX_ConfigSensor &GetSensor() { return c_oSensor; }
  const KTX_ConfigSensor &GetSensor() const { return c_oSensor; }

private:
  KTX_StringUnicode c_aoDescription[c_u32DescriptionCount];
  KTX_StringUnicode c_oNotes;
  KTX_ConfigCom c_oCom;
  KTX_ConfigSensor c_oSensor;
};
