// Detectors: region limits, corner normalisation, outputs, and the detection
// node's detectors and settings with their tokens.

#include "ConfigTestSupport.h"

#include "config/ConfigDetection.h"
#include "config/Detector.h"
#include "config/DetectorPedCall.h"
#include "config/DetectorPedExtend.h"
#include "runtime/ReturnCode.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Corners = std::array<KTX_RegionPoint, 4>;

Corners CornersOf(const KTX_Detector &p_roDetector, uint32_t p_u32Region) {
  KTX_RegionPoint ao[4];
  p_roDetector.GetCorners(p_u32Region, ao);
  return Corners{ao[0], ao[1], ao[2], ao[3]};
}

Corners StoredOf(const KTX_Detector &p_roDetector, uint32_t p_u32Region) {
  KTX_RegionPoint ao[4];
  p_roDetector.GetStoredCorners(p_u32Region, ao);
  return Corners{ao[0], ao[1], ao[2], ao[3]};
}

int32_t Add(KTX_Detector &p_roDetector, const Corners &p_roCorners) {
  const KTX_RegionPoint ao[4] = {p_roCorners[0], p_roCorners[1], p_roCorners[2], p_roCorners[3]};
  return p_roDetector.AddRegion(ao);
}

const Corners kSquare = {{{10, 10}, {50, 10}, {50, 50}, {10, 50}}};

// The text of a detection node written at nesting level 0.
std::string DetectionText(KTX_ConfigDetection &p_roDetection) {
  KTX_Config::InstallKeywords();
  OnStack<KTX_BufferHeap> oHeap;
  OnStack<KTX_BufferToken> oToken;
  oToken.SetWriteEncoding(kText);
  EXPECT_EQ(p_roDetection.WriteConfig(&oHeap, &oToken), KTX_RC_OK);
  EXPECT_EQ(oToken.GetIndent(), 0u);
  return AsText(Contents(oHeap));
}

// Reads a detection node's tokens (after its "Begin") from text lines.
int32_t ReadDetection(KTX_ConfigDetection &p_roDetection, const std::vector<std::string> &p_roLines) {
  std::unique_ptr<TokenSource> poSource = TextSource(p_roLines);
  return p_roDetection.ReadConfig(&poSource->oHeap, &poSource->oToken);
}

struct NormaliseCase {
  const char *szName;
  Corners oIn;
  int32_t i32Expected;
  Corners oOut;
};

void PrintTo(const NormaliseCase &p_roCase, std::ostream *p_poStream) { *p_poStream << p_roCase.szName; }

const NormaliseCase kNormaliseCases[] = {
    {"AlreadyNormal", kSquare, KTX_RC_OK, kSquare},
    {"CounterClockwise", {{{10, 10}, {10, 50}, {50, 50}, {50, 10}}}, KTX_RC_OK, kSquare},
    {"StartsElsewhere", {{{50, 50}, {10, 50}, {10, 10}, {50, 10}}}, KTX_RC_OK, kSquare},
    {"CrossedOutline",
     {{{10, 50}, {100, 40}, {20, 200}, {110, 210}}},
     KTX_RC_OK,
     {{{10, 50}, {100, 40}, {110, 210}, {20, 200}}}},
    // Of the two highest corners the left one starts, even when it is lower.
    {"TiltedTop", {{{100, 5}, {0, 20}, {110, 100}, {5, 120}}}, KTX_RC_OK, {{{0, 20}, {100, 5}, {110, 100}, {5, 120}}}},
    // Equal x among the two highest: the second of them starts.
    {"EqualXAtTop", {{{30, 10}, {30, 20}, {80, 50}, {70, 60}}}, KTX_RC_OK, {{{30, 20}, {30, 10}, {80, 50}, {70, 60}}}},
    // A corner on a side of the others' triangle stays a corner of the outline.
    {"CornerOnASide", {{{0, 0}, {100, 0}, {50, 0}, {50, 80}}}, KTX_RC_OK, {{{0, 0}, {50, 0}, {100, 0}, {50, 80}}}},
    // A corner inside the others' triangle follows them in slot 3.
    {"CornerInside", {{{0, 0}, {40, 30}, {100, 0}, {50, 100}}}, KTX_RC_OK, {{{0, 0}, {100, 0}, {50, 100}, {40, 30}}}},
    {"CoincidentCorners",
     {{{10, 10}, {50, 10}, {50, 10}, {10, 50}}},
     KTX_RC_OPERATION_FAILED,
     {{{10, 10}, {50, 10}, {50, 10}, {10, 50}}}},
    {"AllOnALine",
     {{{0, 0}, {10, 10}, {20, 20}, {5, 5}}},
     KTX_RC_OPERATION_FAILED,
     {{{0, 0}, {10, 10}, {20, 20}, {5, 5}}}},
    // The inside corner is one of the two highest and would start the walk.
    {"StartCornerInside",
     {{{0, 0}, {0, 50}, {100, 100}, {-100, 100}}},
     KTX_RC_OPERATION_FAILED,
     {{{0, 0}, {0, 50}, {100, 100}, {-100, 100}}}},
    {"FarApartCorners",
     {{{INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {INT32_MIN, INT32_MAX}}},
     KTX_RC_OK,
     {{{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MAX}}}},
};

class DetectorNormalise : public ::testing::TestWithParam<NormaliseCase> {};

TEST_P(DetectorNormalise, OrdersTheCornersClockwiseFromTopLeft) {
  KTX_RegionPoint ao[4] = {GetParam().oIn[0], GetParam().oIn[1], GetParam().oIn[2], GetParam().oIn[3]};
  EXPECT_EQ(KTX_Detector::NormaliseCorners(ao), GetParam().i32Expected);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(ao[k], GetParam().oOut[k]) << "corner " << k << ": (" << ao[k].i32X << ", " << ao[k].i32Y << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DetectorNormalise, ::testing::ValuesIn(kNormaliseCases),
                         [](const ::testing::TestParamInfo<NormaliseCase> &info) {
                           return std::string(info.param.szName);
                         });

TEST(Detector, EachTypeHoldsItsNumberOfRegions) {
  KTX_DetectorPedCall oCall;
  KTX_DetectorPedExtend oExtend;
  KTX_Detector oBase(KTX_DETECTOR_VEHICLE_CALL);
  EXPECT_EQ(oCall.MaxRegions(), 3u);
  EXPECT_EQ(oExtend.MaxRegions(), 5u);
  EXPECT_EQ(Add(oBase, kSquare), KTX_RC_INVALID_CALL);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Add(oCall, kSquare), KTX_RC_OK);
  }
  EXPECT_EQ(Add(oCall, kSquare), KTX_RC_INVALID_CALL);
  EXPECT_EQ(oCall.GetRegionCount(), 3u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Add(oExtend, kSquare), KTX_RC_OK);
  }
  EXPECT_EQ(Add(oExtend, kSquare), KTX_RC_INVALID_CALL);
  EXPECT_EQ(oExtend.GetRegionCount(), 5u);
}

TEST(Detector, AddedRegionIsNormalisedAndStoresTheCornersAsGiven) {
  KTX_DetectorPedCall oDetector;
  const Corners oCrossed = {{{10, 50}, {100, 40}, {20, 200}, {110, 210}}};
  ASSERT_EQ(Add(oDetector, oCrossed), KTX_RC_OK);
  EXPECT_EQ(CornersOf(oDetector, 0), (Corners{{{10, 50}, {100, 40}, {110, 210}, {20, 200}}}));
  EXPECT_EQ(StoredOf(oDetector, 0), oCrossed);
  EXPECT_EQ(oDetector.OutputCount(0), 0u);
  // Corners without an outline are kept in the order given.
  const Corners oFlat = {{{0, 0}, {10, 0}, {20, 0}, {30, 0}}};
  ASSERT_EQ(Add(oDetector, oFlat), KTX_RC_OK);
  EXPECT_EQ(CornersOf(oDetector, 1), oFlat);
  // No such region: four points (0, 0).
  EXPECT_EQ(CornersOf(oDetector, 2), (Corners{}));
}

TEST(Detector, MovedCornerIsResortedOrReturnsWhenNoOutlineRemains) {
  KTX_DetectorPedCall oDetector;
  ASSERT_EQ(Add(oDetector, kSquare), KTX_RC_OK);
  // Dragging the top-left corner across the right side: no bow-tie.
  EXPECT_EQ(oDetector.MoveCorner(0, 0, 70, 30), KTX_RC_OK);
  EXPECT_EQ(CornersOf(oDetector, 0), (Corners{{{50, 10}, {70, 30}, {50, 50}, {10, 50}}}));
  EXPECT_EQ(StoredOf(oDetector, 0), CornersOf(oDetector, 0));
  // Onto another corner: the corner keeps its previous place.
  const Corners oBefore = CornersOf(oDetector, 0);
  EXPECT_EQ(oDetector.MoveCorner(0, 1, 50, 50), KTX_RC_OPERATION_FAILED);
  EXPECT_EQ(CornersOf(oDetector, 0), oBefore);
  EXPECT_EQ(StoredOf(oDetector, 0), oBefore);
  EXPECT_EQ(oDetector.MoveCorner(1, 0, 1, 1), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(oDetector.MoveCorner(0, 4, 1, 1), KTX_RC_INVALID_PARAMETER);
}

TEST(Detector, DeletedRegionMakesRoomAndLaterRegionsMoveDown) {
  KTX_DetectorPedExtend oDetector;
  for (int32_t i = 0; i < 3; ++i) {
    ASSERT_EQ(Add(oDetector, Corners{{{i, 0}, {i + 10, 0}, {i + 10, 10}, {i, 10}}}), KTX_RC_OK);
  }
  ASSERT_EQ(oDetector.ToggleOutput(2, KTX_OUTPUT_PRESENCE), KTX_RC_OK);
  EXPECT_EQ(oDetector.DeleteRegion(3), KTX_RC_INVALID_PARAMETER);
  ASSERT_EQ(oDetector.DeleteRegion(0), KTX_RC_OK);
  EXPECT_EQ(oDetector.GetRegionCount(), 2u);
  EXPECT_EQ(CornersOf(oDetector, 0)[0], (KTX_RegionPoint{1, 0}));
  EXPECT_EQ(CornersOf(oDetector, 1)[0], (KTX_RegionPoint{2, 0}));
  EXPECT_TRUE(oDetector.HasOutput(1, KTX_OUTPUT_PRESENCE));
  // The freed slot is empty when a region comes back into it.
  ASSERT_EQ(Add(oDetector, kSquare), KTX_RC_OK);
  EXPECT_EQ(oDetector.OutputCount(2), 0u);
  EXPECT_EQ(oDetector.GetOutput(2, KTX_OUTPUT_PRESENCE)->i32Kind, 0);
}

TEST(Detector, OutputsToggleOnWithPinZeroAndOffToMinusOne) {
  KTX_DetectorPedCall oDetector;
  ASSERT_EQ(Add(oDetector, kSquare), KTX_RC_OK);
  EXPECT_EQ(oDetector.GetOutput(0, 3)->i32Kind, 0);
  EXPECT_EQ(oDetector.GetOutput(0, 3)->i32Pin, 0);
  ASSERT_EQ(oDetector.ToggleOutput(0, 3), KTX_RC_OK);
  EXPECT_TRUE(oDetector.HasOutput(0, 3));
  EXPECT_EQ(oDetector.GetOutput(0, 3)->i32Kind, 3);
  EXPECT_EQ(oDetector.GetOutput(0, 3)->i32Pin, 0);
  ASSERT_EQ(oDetector.ToggleOutput(0, 3), KTX_RC_OK);
  EXPECT_FALSE(oDetector.HasOutput(0, 3));
  EXPECT_EQ(oDetector.GetOutput(0, 3)->i32Kind, -1);
  EXPECT_EQ(oDetector.GetOutput(0, 3)->i32Pin, -1);
  EXPECT_EQ(oDetector.ToggleOutput(0, 6), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(oDetector.ToggleOutput(1, 0), KTX_RC_INVALID_PARAMETER);
  EXPECT_FALSE(oDetector.HasOutput(0, 6));
  EXPECT_FALSE(oDetector.HasOutput(7, 0));
  EXPECT_EQ(oDetector.GetOutput(0, 6), nullptr);
  EXPECT_EQ(oDetector.ClearOutputs(1), KTX_RC_INVALID_PARAMETER);

  ASSERT_EQ(oDetector.ToggleOutput(0, 0), KTX_RC_OK);
  ASSERT_EQ(oDetector.ToggleOutput(0, 4), KTX_RC_OK);
  EXPECT_EQ(oDetector.OutputCount(0), 2u);
  EXPECT_EQ(oDetector.ClearOutputs(0), KTX_RC_OK);
  EXPECT_EQ(oDetector.OutputCount(0), 0u);
}

TEST(Detector, OnCrossingRegionRefusesItsLeftAndRightSides) {
  KTX_DetectorPedExtend oDetector;
  ASSERT_EQ(Add(oDetector, kSquare), KTX_RC_OK);
  for (uint32_t k : {1u, 3u}) {
    EXPECT_EQ(oDetector.ToggleOutput(0, k), KTX_RC_OPERATION_NOT_PERMITTED);
    EXPECT_FALSE(oDetector.HasOutput(0, k));
  }
  for (uint32_t k : {0u, 2u, 4u, 5u}) {
    EXPECT_EQ(oDetector.ToggleOutput(0, k), KTX_RC_OK);
  }
  EXPECT_EQ(oDetector.OutputCount(0), 4u);
}

TEST(Detector, ToggleExcludedSwapsBetweenExcludedAndPlain) {
  KTX_DetectorPedCall oDetector;
  ASSERT_EQ(Add(oDetector, kSquare), KTX_RC_OK);
  ASSERT_EQ(oDetector.ToggleOutput(0, 0), KTX_RC_OK);
  ASSERT_EQ(oDetector.ToggleExcluded(0), KTX_RC_OK);
  EXPECT_EQ(oDetector.OutputCount(0), 1u);
  EXPECT_TRUE(oDetector.HasOutput(0, KTX_OUTPUT_EXCLUDED));
  ASSERT_EQ(oDetector.ToggleExcluded(0), KTX_RC_OK);
  EXPECT_EQ(oDetector.OutputCount(0), 0u);
  EXPECT_EQ(oDetector.ToggleExcluded(1), KTX_RC_INVALID_PARAMETER);
}

TEST(Detector, SideOutputOfACornerPair) {
  const struct {
    uint32_t a, b;
    int32_t i32Side;
  } aoCases[] = {{0, 1, 0}, {1, 0, 0},  {1, 2, 1},  {2, 3, 2},  {3, 0, 3},
                 {0, 3, 3}, {0, 2, -1}, {1, 3, -1}, {2, 2, -1}, {4, 0, -1}};
  for (const auto &c : aoCases) {
    EXPECT_EQ(KTX_Detector::SideOutput(c.a, c.b), c.i32Side) << c.a << "-" << c.b;
  }
}

TEST(ConfigDetection, WritesSettingsThenEachDetectorWithItsRegions) {
  KTX_ConfigDetection oDetection;
  oDetection.SetDelay(2500);
  oDetection.SetSensitivity(2);
  KTX_Detector *poDetector = nullptr;
  ASSERT_EQ(oDetection.CreateDetector(KTX_DETECTOR_PED_CALL, &poDetector), KTX_RC_OK);
  static_cast<KTX_DetectorPedCall *>(poDetector)->SetTovisParameter(-3);
  ASSERT_EQ(Add(*poDetector, kSquare), KTX_RC_OK);
  ASSERT_EQ(Add(*poDetector, Corners{{{0, 0}, {9, 0}, {9, 9}, {0, 9}}}), KTX_RC_OK);
  ASSERT_EQ(poDetector->ToggleOutput(1, 4), KTX_RC_OK);
  ASSERT_EQ(poDetector->ToggleOutput(1, 0), KTX_RC_OK);
  EXPECT_EQ(DetectionText(oDetection),
            Lines({
                "Begin [ID] Detection 0",
                "   TurnOnDelayCallThreshMS [U32] 2500",
                "   TurnOnExtendCallThreshMS [U32] 0",
                "   TriggerMode [I32] 0",
                "   TriggerMinOnTime [U32] 0",
                "   TriggerMaxOnTime [U32] 0",
                "   IOInitialStateOff [I32] 0",
                "   IOFailsafeMode [I32] 1",
                "   IOOnState [I32] 1",
                "   DetSensitivity [I32] 2",
                "   DetectorPedCall [U16] 0",
                "      DetectorBase []",
                "         DetectorRegion [U16] 0",
                "            DetectorRegionPoints [I32] 10 10 50 10 50 50 10 50 10 10 50 10 50 50 10 50",
                "         End []",
                "         DetectorRegion [U16] 1",
                "            DetectorRegionPoints [I32] 0 0 9 0 9 9 0 9 0 0 9 0 9 9 0 9",
                "            DetectorRegionEdge [U16] 0",
                "               DetectorRegionEdgePin [U32] 0",
                "            End []",
                "            DetectorRegionEdge [U16] 4",
                "               DetectorRegionEdgePin [U32] 0",
                "            End []",
                "         End []",
                "      End []",
                "      TovisParameter [I32] -3",
                "   End []",
                "End []",
            }));
}

TEST(ConfigDetection, ReadingReplacesTheDetectorsAndKeepsSettingsAsRead) {
  KTX_ConfigDetection oDetection;
  ASSERT_EQ(oDetection.CreateDetector(KTX_DETECTOR_PED_EXTEND, nullptr), KTX_RC_OK);
  ASSERT_EQ(oDetection.CreateDetector(KTX_DETECTOR_PED_EXTEND, nullptr), KTX_RC_OK);
  ASSERT_EQ(ReadDetection(oDetection, {"DetSensitivity [I32] 7", "TriggerMode [I32] 1", "TriggerMaxOnTime [U32] 9",
                                       "DetectorPedCall [U16] 0", "DetectorBase []", "DetectorRegion [U16] 2",
                                       "DetectorRegionPoints [I32] 5 6 7 8 9 10 11 12 -1 -2 -3 -4 -5 -6 -7 -8",
                                       "DetectorRegionEdge [U16] 5", "DetectorRegionEdgePin [U32] 4294967295", "End []",
                                       "DetectorRegionEdge [U16] 3", "End []", "End []", "End []",
                                       "TovisParameter [I32] 12", "End []", "End []"}),
            KTX_RC_OK);
  EXPECT_EQ(oDetection.GetSensitivity(), 7);
  EXPECT_EQ(oDetection.GetTriggerMode(), 1);
  EXPECT_EQ(oDetection.GetMaxOnTime(), 9u);
  ASSERT_EQ(oDetection.GetDetectorCount(), 1u);
  const KTX_Detector &roDetector = *oDetection.GetDetector(0);
  EXPECT_EQ(roDetector.GetType(), KTX_DETECTOR_PED_CALL);
  EXPECT_EQ(roDetector.GetOwner(), &oDetection);
  EXPECT_EQ(static_cast<const KTX_DetectorPedCall &>(roDetector).GetTovisParameter(), 12);
  // Region 2 makes three regions; the points are taken without normalisation.
  EXPECT_EQ(roDetector.GetRegionCount(), 3u);
  EXPECT_EQ(CornersOf(roDetector, 2), (Corners{{{5, 6}, {7, 8}, {9, 10}, {11, 12}}}));
  EXPECT_EQ(StoredOf(roDetector, 2), (Corners{{{-1, -2}, {-3, -4}, {-5, -6}, {-7, -8}}}));
  EXPECT_TRUE(roDetector.HasOutput(2, 5));
  EXPECT_EQ(roDetector.GetOutput(2, 5)->i32Kind, 5);
  EXPECT_EQ(roDetector.GetOutput(2, 5)->i32Pin, -1);
  // An edge without a pin leaves the output as it was.
  EXPECT_FALSE(roDetector.HasOutput(2, 3));
  EXPECT_EQ(roDetector.GetOutput(2, 3)->i32Kind, 0);
}

// A pedestrian-extend detector holds five regions, indices 0 to 4; a
// configuration written with all five must read back.
TEST(ConfigDetection, FiveOnCrossingRegionsReadBack) {
  KTX_ConfigDetection oDetection;
  KTX_Detector *poDetector = nullptr;
  ASSERT_EQ(oDetection.CreateDetector(KTX_DETECTOR_PED_EXTEND, &poDetector), KTX_RC_OK);
  for (int32_t r = 0; r < 5; ++r) {
    ASSERT_EQ(Add(*poDetector, Corners{{{r, 0}, {r + 20, 0}, {r + 20, 20}, {r, 20}}}), KTX_RC_OK);
    ASSERT_EQ(poDetector->ToggleOutput(static_cast<uint32_t>(r), KTX_OUTPUT_SIDE_2), KTX_RC_OK);
  }
  const std::string strText = DetectionText(oDetection);
  ASSERT_NE(strText.find("DetectorRegion [U16] 4\r\n"), std::string::npos);
  std::vector<std::string> oLines;
  for (size_t start = 0; start < strText.size();) {
    const size_t end = strText.find("\r\n", start);
    oLines.push_back(strText.substr(start, end - start));
    start = end + 2;
  }
  oLines.erase(oLines.begin()); // the node's "Begin"
  KTX_ConfigDetection oRead;
  ASSERT_EQ(ReadDetection(oRead, oLines), KTX_RC_OK);
  ASSERT_EQ(oRead.GetDetectorCount(), 1u);
  EXPECT_EQ(oRead.GetDetector(0)->GetRegionCount(), 5u);
  EXPECT_EQ(CornersOf(*oRead.GetDetector(0), 4), CornersOf(*poDetector, 4));
  EXPECT_TRUE(oRead.GetDetector(0)->HasOutput(4, KTX_OUTPUT_SIDE_2));
  EXPECT_EQ(DetectionText(oRead), strText);
}

struct BadDetection {
  const char *szName;
  std::vector<std::string> oLines;
  int32_t i32Expected;
  const char *szLog;
};

void PrintTo(const BadDetection &p_roCase, std::ostream *p_poStream) { *p_poStream << p_roCase.szName; }

std::vector<std::string> InRegion(const char *p_szDetector, const std::vector<std::string> &p_roLines) {
  std::vector<std::string> o = {p_szDetector, "DetectorBase []"};
  o.insert(o.end(), p_roLines.begin(), p_roLines.end());
  for (const char *sz : {"End []", "End []", "End []"}) {
    o.push_back(sz);
  }
  return o;
}

const BadDetection kBadDetections[] = {
    {"FourthWaitingAreaRegion", InRegion("DetectorPedCall [U16] 0", {"DetectorRegion [U16] 3", "End []"}),
     KTX_RC_INTERNAL_OVERFLOW, nullptr},
    {"SixthOnCrossingRegion", InRegion("DetectorPedExtend [U16] 0", {"DetectorRegion [U16] 5", "End []"}),
     KTX_RC_FILE_INVALID_FORMAT, "KTX_Detector::ReadConfig - KTX_BTID_DETECTOR_REGION"},
    {"RegionOfFourBytes", InRegion("DetectorPedCall [U16] 0", {"DetectorRegion [U32] 0", "End []"}),
     KTX_RC_INVALID_PARAMETER, nullptr},
    {"SeventhOutput",
     InRegion("DetectorPedCall [U16] 0", {"DetectorRegion [U16] 0", "DetectorRegionEdge [U16] 6",
                                          "DetectorRegionEdgePin [U32] 0", "End []", "End []"}),
     KTX_RC_FILE_INVALID_FORMAT, "KTX_Detector::ReadRegion - KTX_BTID_DETECTOR_REGION_EDGE"},
    {"FifteenPointValues",
     InRegion("DetectorPedCall [U16] 0",
              {"DetectorRegion [U16] 0", "DetectorRegionPoints [I32] 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15", "End []"}),
     KTX_RC_INVALID_PARAMETER, nullptr},
    {"PinOfTwoBytes",
     InRegion("DetectorPedCall [U16] 0", {"DetectorRegion [U16] 0", "DetectorRegionEdge [U16] 4",
                                          "DetectorRegionEdgePin [U16] 0", "End []", "End []"}),
     KTX_RC_INVALID_PARAMETER, nullptr},
    {"UnknownTokenInRegion", InRegion("DetectorPedCall [U16] 0", {"DetectorRegion [U16] 0", "Width [U16] 3", "End []"}),
     KTX_RC_BUFFER_GENERIC_ERROR, nullptr},
    {"UnknownTokenInEdge",
     InRegion("DetectorPedCall [U16] 0", {"DetectorRegion [U16] 0", "DetectorRegionEdge [U16] 1", "Width [U16] 3"}),
     KTX_RC_BUFFER_GENERIC_ERROR, nullptr},
    {"TovisOnCrossing",
     {"DetectorPedExtend [U16] 0", "TovisParameter [I32] 1", "End []", "End []"},
     KTX_RC_BUFFER_GENERIC_ERROR,
     nullptr},
    {"VehicleCall", {"DetectorVehicleCall [U16] 0", "End []", "End []"}, KTX_RC_MALLOC_FAILED, nullptr},
    {"SettingOfTwoBytes", {"IOOnState [U16] 1", "End []"}, KTX_RC_INVALID_PARAMETER, nullptr},
    {"NestedBegin", {"Begin [ID] Video 0", "End []", "End []"}, KTX_RC_BUFFER_GENERIC_ERROR, nullptr},
    {"MissingEnd", {"DetectorPedCall [U16] 0", "DetectorBase []"}, KTX_RC_BUFFER_GENERIC_ERROR, nullptr},
};

class ConfigDetectionBadInput : public ::testing::TestWithParam<BadDetection> {};

TEST_P(ConfigDetectionBadInput, IsRefusedWithItsCode) {
  UseFreshLogFile(std::string("Detection") + GetParam().szName);
  KTX_ConfigDetection oDetection;
  EXPECT_EQ(ReadDetection(oDetection, GetParam().oLines), GetParam().i32Expected);
  if (GetParam().szLog != nullptr) {
    const std::vector<std::string> oMessages = ReadLogMessages();
    ASSERT_EQ(oMessages.size(), 1u);
    EXPECT_EQ(oMessages[0], GetParam().szLog);
    EXPECT_EQ(LogCount("*ASSERT*"), 1);
  } else {
    EXPECT_TRUE(ReadLogLines().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ConfigDetectionBadInput, ::testing::ValuesIn(kBadDetections),
                         [](const ::testing::TestParamInfo<BadDetection> &info) {
                           return std::string(info.param.szName);
                         });

TEST(ConfigDetection, RegionsReadBeforeAnErrorStay) {
  KTX_ConfigDetection oDetection;
  EXPECT_EQ(ReadDetection(oDetection, InRegion("DetectorPedCall [U16] 0", {"DetectorRegion [U16] 0", "End []",
                                                                           "DetectorRegion [U16] 3", "End []"})),
            KTX_RC_INTERNAL_OVERFLOW);
  ASSERT_EQ(oDetection.GetDetectorCount(), 1u);
  EXPECT_EQ(oDetection.GetDetector(0)->GetRegionCount(), 1u);
}

TEST(ConfigDetection, CreateDetectorChecksTypeAndRoom) {
  UseFreshLogFile("CreateDetector");
  KTX_ConfigDetection oDetection;
  KTX_Detector *poDetector = nullptr;
  EXPECT_EQ(oDetection.CreateDetector(KTX_DETECTOR_VEHICLE_CALL, &poDetector), KTX_RC_MALLOC_FAILED);
  EXPECT_EQ(oDetection.CreateDetector(0, &poDetector), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(oDetection.CreateDetector(4, &poDetector), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(poDetector, nullptr);
  EXPECT_EQ(oDetection.GetDetectorCount(), 0u);
  EXPECT_EQ(LogCount(" *ERROR*"), 2);
  EXPECT_EQ(LogCount("KTX_ConfigDetection::CreateDetector: invalid detector type"), 2);
  for (uint32_t i = 0; i < 32; ++i) {
    ASSERT_EQ(oDetection.CreateDetector(i % 2 == 0 ? KTX_DETECTOR_PED_CALL : KTX_DETECTOR_PED_EXTEND, &poDetector),
              KTX_RC_OK);
    EXPECT_EQ(oDetection.GetDetector(i), poDetector);
    EXPECT_EQ(poDetector->GetOwner(), &oDetection);
  }
  EXPECT_EQ(oDetection.CreateDetector(KTX_DETECTOR_PED_CALL, nullptr), KTX_RC_INTERNAL_OVERFLOW);
  EXPECT_EQ(oDetection.CreateDetector(KTX_DETECTOR_VEHICLE_CALL, nullptr), KTX_RC_INTERNAL_OVERFLOW);
  EXPECT_EQ(oDetection.GetDetectorCount(), 32u);
  EXPECT_EQ(oDetection.GetDetector(32), nullptr);
  EXPECT_EQ(LogCount("*ASSERT*"), 1);
  EXPECT_TRUE(LogContains("KTX_ConfigDetection::GetDetector: Invalid detector index"));
  // A full node reading a vehicle-call detector: overflow first.
  std::unique_ptr<TokenSource> poSource = TextSource({"DetectorVehicleCall [U16] 0", "End []", "End []"});
  KTX_ConfigDetection oFull;
  for (uint32_t i = 0; i < 32; ++i) {
    ASSERT_EQ(oFull.CreateDetector(KTX_DETECTOR_PED_CALL, nullptr), KTX_RC_OK);
  }
  // Reading starts by destroying the detectors, so the node has room again.
  EXPECT_EQ(oFull.ReadConfig(&poSource->oHeap, &poSource->oToken), KTX_RC_MALLOC_FAILED);
  EXPECT_EQ(oFull.GetDetectorCount(), 0u);
}

TEST(ConfigDetection, RemoveDetectorClosesTheGap) {
  KTX_ConfigDetection oDetection;
  KTX_Detector *apo[3] = {};
  for (KTX_Detector *&po : apo) {
    ASSERT_EQ(oDetection.CreateDetector(KTX_DETECTOR_PED_CALL, &po), KTX_RC_OK);
  }
  EXPECT_EQ(oDetection.RemoveDetector(nullptr), KTX_RC_UNEXPECTED_NULL_POINTER);
  KTX_Detector *poNone = nullptr;
  EXPECT_EQ(oDetection.RemoveDetector(&poNone), KTX_RC_UNEXPECTED_NULL_POINTER);
  KTX_DetectorPedCall oStranger;
  KTX_Detector *poStranger = &oStranger;
  EXPECT_EQ(oDetection.RemoveDetector(&poStranger), KTX_RC_ITEM_NOT_FOUND);
  EXPECT_EQ(poStranger, &oStranger);
  KTX_Detector *poMiddle = apo[1];
  ASSERT_EQ(oDetection.RemoveDetector(&poMiddle), KTX_RC_OK);
  EXPECT_EQ(poMiddle, nullptr);
  EXPECT_EQ(oDetection.GetDetectorCount(), 2u);
  EXPECT_EQ(oDetection.GetDetector(0), apo[0]);
  EXPECT_EQ(oDetection.GetDetector(1), apo[2]);
  EXPECT_EQ(oDetection.GetDetector(2), nullptr);
  KTX_Detector *poFirst = apo[0];
  ASSERT_EQ(oDetection.RemoveDetector(&poFirst), KTX_RC_OK);
  KTX_Detector *poLast = apo[2];
  ASSERT_EQ(oDetection.RemoveDetector(&poLast), KTX_RC_OK);
  EXPECT_EQ(oDetection.GetDetectorCount(), 0u);
  KTX_Detector *poGone = &oStranger;
  EXPECT_EQ(oDetection.RemoveDetector(&poGone), KTX_RC_OK);
  EXPECT_EQ(poGone, &oStranger);
}

TEST(ConfigDetection, SensitivityIsClampedToOneToFour) {
  KTX_ConfigDetection oDetection;
  const struct {
    int32_t i32In, i32Stored;
  } aoCases[] = {{0, 1}, {1, 1}, {2, 2}, {4, 4}, {7, 4}, {INT32_MIN, 1}, {INT32_MAX, 4}};
  for (const auto &c : aoCases) {
    oDetection.SetSensitivity(c.i32In);
    EXPECT_EQ(oDetection.GetSensitivity(), c.i32Stored) << c.i32In;
  }
}

TEST(ConfigDetection, FinalizeReachesEveryDetector) {
  KTX_ConfigDetection oDetection;
  ASSERT_EQ(oDetection.CreateDetector(KTX_DETECTOR_PED_CALL, nullptr), KTX_RC_OK);
  EXPECT_EQ(oDetection.Finalize(), KTX_RC_OK);
}

} // namespace
