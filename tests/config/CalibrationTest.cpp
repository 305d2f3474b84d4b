// The calibration settings: the point array, the seed index and their tokens.

#include "ConfigTestSupport.h"

#include "config/ConfigCalibration.h"
#include "runtime/ReturnCode.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string CalibrationText(KTX_ConfigCalibration &p_roCalibration) {
  KTX_Config::InstallKeywords();
  OnStack<KTX_BufferHeap> oHeap;
  OnStack<KTX_BufferToken> oToken;
  oToken.SetWriteEncoding(kText);
  EXPECT_EQ(p_roCalibration.WriteConfig(&oHeap, &oToken), KTX_RC_OK);
  return AsText(Contents(oHeap));
}

int32_t Read(KTX_ConfigCalibration &p_roCalibration, const std::vector<std::string> &p_roLines) {
  std::unique_ptr<TokenSource> poSource = TextSource(p_roLines);
  return p_roCalibration.ReadConfig(&poSource->oHeap, &poSource->oToken);
}

TEST(ConfigCalibration, NewNodeWritesNoPointsAndSeedMinusOne) {
  KTX_ConfigCalibration oCalibration;
  EXPECT_EQ(CalibrationText(oCalibration), "Begin [ID] Calibration 0\r\n"
                                           "   CalPointCount [U16] 0\r\n"
                                           "   CalSeedPoint [I32] -1\r\n"
                                           "End []\r\n");
}

TEST(ConfigCalibration, PointsAreWrittenInIndexOrder) {
  KTX_ConfigCalibration oCalibration;
  ASSERT_EQ(oCalibration.Resize(2), KTX_RC_OK);
  *oCalibration.GetPoint(0) = {256 * 10 + 128, 256 * 20, 9, 19};
  *oCalibration.GetPoint(1) = {-1, 0, 700, 239};
  oCalibration.SetSeedPointIndex(1);
  EXPECT_EQ(CalibrationText(oCalibration), "Begin [ID] Calibration 0\r\n"
                                           "   CalPointCount [U16] 2\r\n"
                                           "   CalPoint [I32] 2688 5120 9 19\r\n"
                                           "   CalPoint [I32] -1 0 700 239\r\n"
                                           "   CalSeedPoint [I32] 1\r\n"
                                           "End []\r\n");
}

TEST(ConfigCalibration, CountReservesRoomAndPointsArriveOneByOne) {
  KTX_ConfigCalibration oCalibration;
  ASSERT_EQ(Read(oCalibration, {"CalPointCount [U16] 5", "CalPoint [I32] 1 2 3 4", "CalPoint [I32] 5 6 7 8",
                                "CalPoint [I32] -9 -10 11 12", "End []"}),
            KTX_RC_OK);
  EXPECT_EQ(oCalibration.GetPointCount(), 3u);
  EXPECT_EQ(oCalibration.GetCapacity(), 5u);
  EXPECT_EQ(*oCalibration.GetPoint(2), (KTX_CalibrationPoint{-9, -10, 11, 12}));
  EXPECT_EQ(oCalibration.GetPoint(3), nullptr);
  EXPECT_EQ(oCalibration.GetSeedPointIndex(), -1);
  // Past the reserved room each point makes room for exactly one more.
  ASSERT_EQ(Read(oCalibration, {"CalPointCount [U16] 1", "CalPoint [I32] 1 1 1 1", "CalPoint [I32] 2 2 2 2", "End []"}),
            KTX_RC_OK);
  EXPECT_EQ(oCalibration.GetPointCount(), 2u);
  EXPECT_EQ(oCalibration.GetCapacity(), 5u);
  KTX_ConfigCalibration oFresh;
  ASSERT_EQ(Read(oFresh, {"CalPoint [I32] 1 1 1 1", "CalPoint [I32] 2 2 2 2", "End []"}), KTX_RC_OK);
  EXPECT_EQ(oFresh.GetCapacity(), 2u);
  EXPECT_EQ(*oFresh.GetPoint(1), (KTX_CalibrationPoint{2, 2, 2, 2}));
}

TEST(ConfigCalibration, CountAfterPointsDiscardsThemAndTheSeed) {
  KTX_ConfigCalibration oCalibration;
  ASSERT_EQ(Read(oCalibration, {"CalPoint [I32] 1 2 3 4", "CalPoint [I32] 5 6 7 8", "CalSeedPoint [I32] 1",
                                "CalPointCount [U16] 3", "CalPoint [I32] 9 9 9 9", "End []"}),
            KTX_RC_OK);
  EXPECT_EQ(oCalibration.GetPointCount(), 1u);
  EXPECT_EQ(*oCalibration.GetPoint(0), (KTX_CalibrationPoint{9, 9, 9, 9}));
  EXPECT_EQ(oCalibration.GetSeedPointIndex(), -1);
}

TEST(ConfigCalibration, SeedIsReadUncheckedAndDroppedByASmallerResize) {
  KTX_ConfigCalibration oCalibration;
  ASSERT_EQ(Read(oCalibration, {"CalPointCount [U16] 3", "CalPoint [I32] 1 2 3 4", "CalPoint [I32] 5 6 7 8",
                                "CalPoint [I32] 9 9 9 9", "CalSeedPoint [I32] 7", "End []"}),
            KTX_RC_OK);
  EXPECT_EQ(oCalibration.GetSeedPointIndex(), 7);
  ASSERT_EQ(oCalibration.Resize(8), KTX_RC_OK);
  EXPECT_EQ(oCalibration.GetSeedPointIndex(), 7);
  // Points that come into being inside the reserved room are zero.
  EXPECT_EQ(*oCalibration.GetPoint(7), (KTX_CalibrationPoint{}));
  ASSERT_EQ(oCalibration.Resize(7), KTX_RC_OK);
  EXPECT_EQ(oCalibration.GetSeedPointIndex(), -1);
  EXPECT_EQ(*oCalibration.GetPoint(2), (KTX_CalibrationPoint{9, 9, 9, 9}));
}

TEST(ConfigCalibration, AtMostAThousandPoints) {
  KTX_ConfigCalibration oCalibration;
  ASSERT_EQ(oCalibration.Resize(2), KTX_RC_OK);
  EXPECT_EQ(oCalibration.Resize(1001), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(oCalibration.GetPointCount(), 2u);
  EXPECT_EQ(oCalibration.Resize(1000), KTX_RC_OK);
  EXPECT_EQ(oCalibration.GetCapacity(), 1000u);
  EXPECT_EQ(Read(oCalibration, {"CalPointCount [U16] 1001", "End []"}), KTX_RC_INVALID_PARAMETER);
  // The thousand-and-first point does not fit either.
  std::vector<std::string> oLines = {"CalPointCount [U16] 1000"};
  for (int i = 0; i < 1001; ++i) {
    oLines.push_back("CalPoint [I32] 1 2 3 4");
  }
  oLines.push_back("End []");
  EXPECT_EQ(Read(oCalibration, oLines), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(oCalibration.GetPointCount(), 1000u);
}

TEST(ConfigCalibration, MalformedPointOrSeedIsLoggedAndRefused) {
  const struct {
    const char *szLine;
    const char *szLog;
  } aoCases[] = {
      {"CalPoint [I32] 1 2 3", "ReadConfig - KTX_BTID_CALIBRATION_POINT"},
      {"CalPoint [U16] 1 2 3 4", "ReadConfig - KTX_BTID_CALIBRATION_POINT"},
      {"CalPoint [I32] 1 2 3 4 5", "ReadConfig - KTX_BTID_CALIBRATION_POINT"},
      {"CalSeedPoint [U16] 1", "ReadConfig - KTX_BTID_CALIBRATION_SEED_POINT_INDEX"},
      {"CalSeedPoint [I32] 1 2", "ReadConfig - KTX_BTID_CALIBRATION_SEED_POINT_INDEX"},
  };
  for (const auto &c : aoCases) {
    UseFreshLogFile("Calibration");
    KTX_ConfigCalibration oCalibration;
    EXPECT_EQ(Read(oCalibration, {"CalPoint [I32] 5 5 5 5", c.szLine, "End []"}), KTX_RC_BUFFER_GENERIC_ERROR)
        << c.szLine;
    EXPECT_EQ(ReadLogMessages(), std::vector<std::string>{c.szLog}) << c.szLine;
    EXPECT_EQ(LogCount("*ASSERT*"), 1);
    // The point before the error stays.
    EXPECT_EQ(oCalibration.GetPointCount(), 1u);
  }
  KTX_ConfigCalibration oCalibration;
  EXPECT_EQ(Read(oCalibration, {"CalPointCount [U32] 1", "End []"}), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(Read(oCalibration, {"VideoStandard [U16] 1", "End []"}), KTX_RC_BUFFER_GENERIC_ERROR);
}

} // namespace
