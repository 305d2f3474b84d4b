#pragma once
// Adjusts date-times to a local time zone once one is configured. Nothing in this
// program configures one, so every date passes through Adjust unchanged and the
// times are shown as the sensor reports them.

#include "runtime/BaseClass.h"
#include "runtime/DateTime.h"

#include <cstdint>

class KTX_TimeZone : public KTX_BaseClass {
public:
  // Not configured.
  KTX_TimeZone();

  bool IsConfigured() const { return c_bConfigured; }
  // Under the object lock. While the zone is not configured:
  // KTX_RC_OPERATION_FAILED and p_roDate unchanged.
  int32_t Adjust(KTX_DateTime &p_roDate);

private:
  bool c_bConfigured;
};
