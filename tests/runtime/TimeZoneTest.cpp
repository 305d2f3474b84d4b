#include "runtime/TimeZone.h"
#include "runtime/ReturnCode.h"

#include <gtest/gtest.h>

namespace {

TEST(TimeZone, UnconfiguredZoneLeavesDatesAsTheyAre) {
  KTX_TimeZone zone;
  zone.SetStackVariable();
  EXPECT_FALSE(zone.IsConfigured());
  EXPECT_EQ(zone.GetClassType(), 58);
  KTX_DateTime d(2017, 8, 10, 21, 9, 14);
  EXPECT_EQ(zone.Adjust(d), KTX_RC_OPERATION_FAILED);
  EXPECT_EQ(d, KTX_DateTime(2017, 8, 10, 21, 9, 14));
}

TEST(TimeZone, IsNamedAfterItsUnnamedClassType) {
  KTX_TimeZone *zone = new KTX_TimeZone();
  const std::string name = zone->GetName();
  EXPECT_EQ(name.rfind("Unknown(58)_", 0), 0u) << name;
  zone->Delete();
}

} // namespace
