#include "runtime/TimeZone.h"

#include "runtime/ReturnCode.h"

KTX_TimeZone::KTX_TimeZone() : KTX_BaseClass(KTX_CLASS_TYPE_TIME_ZONE), c_bConfigured(false) {}

int32_t KTX_TimeZone::Adjust(KTX_DateTime &p_roDate) {
  KTX_ObjectLockGuard guard(*this);
  (void)p_roDate;
  if (!c_bConfigured) {
    return KTX_RC_OPERATION_FAILED;
  }
  // No rule set exists for a configured zone; dates pass unchanged.
  return KTX_RC_OK;
}
