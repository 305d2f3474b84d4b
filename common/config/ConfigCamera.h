#pragma once
// One camera of the sensor: 0 the left one, 1 the right one. It carries no
// values of its own; its index travels in its "Begin" token.

#include "config/Config.h"

class KTX_ConfigCamera : public KTX_Config {
public:
  explicit KTX_ConfigCamera(int32_t p_i32Index);
  ~KTX_ConfigCamera() override;

  int32_t WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) override;
  int32_t ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) override;

  int32_t GetIndex() const { return c_i32Index; }

private:
  int32_t c_i32Index;
};
