// Validation before a download: the checks in their order, what the handler's
// answers do, and the messages the wizard shows.

#include "ConfigTestSupport.h"

#include "config/ConfigValidator.h"
#include "config/Detector.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringUnicode.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

// Records every report and answers from a script (true once the script is used up
// when p_bThenContinue, else false).
class RecordingHandler : public KTX_ValidationHandler {
public:
  explicit RecordingHandler(std::vector<bool> p_oAnswers, bool p_bThenContinue)
      : c_oAnswers(std::move(p_oAnswers)), c_bThenContinue(p_bThenContinue) {}

  bool OnValidationError(int32_t p_i32Code, int32_t p_i32ReturnCode) override {
    oCodes.push_back(p_i32Code);
    oReturnCodes.push_back(p_i32ReturnCode);
    const size_t u = oCodes.size() - 1;
    return u < c_oAnswers.size() ? c_oAnswers[u] : c_bThenContinue;
  }

  std::vector<int32_t> oCodes;
  std::vector<int32_t> oReturnCodes;

private:
  std::vector<bool> c_oAnswers;
  bool c_bThenContinue;
};

void SetNetwork(KTX_ConfigDevice &p_roRoot, const char16_t *p_szIp, const char16_t *p_szMask,
                const char16_t *p_szGateway) {
  OnStack<KTX_StringUnicode> oText;
  SetWide(oText, p_szIp);
  ASSERT_EQ(p_roRoot.GetCommunications().SetIpAddress(oText), KTX_RC_OK);
  SetWide(oText, p_szMask);
  ASSERT_EQ(p_roRoot.GetCommunications().SetNetworkMask(oText), KTX_RC_OK);
  SetWide(oText, p_szGateway);
  ASSERT_EQ(p_roRoot.GetCommunications().SetGateway(oText), KTX_RC_OK);
}

KTX_Detector *AddDetector(KTX_ConfigDevice &p_roRoot, uint32_t p_u32Regions, bool p_bOutputs) {
  KTX_Detector *poDetector = nullptr;
  EXPECT_EQ(p_roRoot.GetSensor().GetDetection().CreateDetector(KTX_DETECTOR_PED_EXTEND, &poDetector), KTX_RC_OK);
  for (uint32_t r = 0; r < p_u32Regions; ++r) {
    const int32_t x = static_cast<int32_t>(r) * 50;
    const KTX_RegionPoint aoCorners[4] = {{x, 0}, {x + 40, 0}, {x + 40, 40}, {x, 40}};
    EXPECT_EQ(poDetector->AddRegion(aoCorners), KTX_RC_OK);
    if (p_bOutputs) {
      EXPECT_EQ(poDetector->ToggleOutput(r, KTX_OUTPUT_PRESENCE), KTX_RC_OK);
    }
  }
  return poDetector;
}

void RemoveFirstDetector(KTX_ConfigDevice &p_roRoot) {
  KTX_Detector *poDetector = p_roRoot.GetSensor().GetDetection().GetDetector(0);
  ASSERT_EQ(p_roRoot.GetSensor().GetDetection().RemoveDetector(&poDetector), KTX_RC_OK);
}

// Default network settings, exactly three calibration points with a seed, one
// detector with one region that drives an output: the least that passes.
std::unique_ptr<KTX_ConfigDevice> CompleteConfig() {
  auto poRoot = std::make_unique<KTX_ConfigDevice>();
  KTX_ConfigCalibration &roCalibration = poRoot->GetSensor().GetCalibration();
  EXPECT_EQ(roCalibration.Resize(3), KTX_RC_OK);
  roCalibration.SetSeedPointIndex(0);
  AddDetector(*poRoot, 1, true);
  return poRoot;
}

enum class Answers { None, Stop, Continue };

struct ValidationCase {
  const char *szName;
  std::function<void(KTX_ConfigDevice &)> fnEdit;
  Answers eAnswers;
  int32_t i32Result;
  int32_t i32ContextCode;
  std::vector<int32_t> oReports;
};

std::string Narrow(const char16_t *p_szText) {
  std::string s;
  for (const char16_t *pc = p_szText; *pc != 0; ++pc) {
    s += static_cast<char>(*pc);
  }
  return s;
}

void PrintTo(const ValidationCase &p_roCase, std::ostream *p_poStream) { *p_poStream << p_roCase.szName; }

// clang-format off
const ValidationCase kCases[] = {
    {"CompletePasses", [](KTX_ConfigDevice &) {}, Answers::Stop, KTX_RC_OK, 0, {}},
    {"CompletePassesWithoutHandler", [](KTX_ConfigDevice &) {}, Answers::None, KTX_RC_OK, 0, {}},
    {"TwoCalibrationPoints",
     [](KTX_ConfigDevice &r) { ASSERT_EQ(r.GetSensor().GetCalibration().Resize(2), KTX_RC_OK); },
     Answers::Stop, KTX_RC_OPERATION_FAILED, 5, {5}},
    {"NoSeedPoint", [](KTX_ConfigDevice &r) { r.GetSensor().GetCalibration().SetSeedPointIndex(-1); },
     Answers::Stop, KTX_RC_OPERATION_FAILED, 6, {6}},
    {"SeedNamesNoPoint", [](KTX_ConfigDevice &r) { r.GetSensor().GetCalibration().SetSeedPointIndex(3); },
     Answers::Stop, KTX_RC_OPERATION_FAILED, 6, {6}},
    {"NegativeSeed", [](KTX_ConfigDevice &r) { r.GetSensor().GetCalibration().SetSeedPointIndex(-7); },
     Answers::Stop, KTX_RC_OPERATION_FAILED, 6, {6}},
    {"NoDetector", [](KTX_ConfigDevice &r) { RemoveFirstDetector(r); },
     Answers::Stop, KTX_RC_OPERATION_FAILED, 7, {7}},
    {"SecondDetectorWithoutRegions", [](KTX_ConfigDevice &r) { AddDetector(r, 0, false); },
     Answers::Stop, KTX_RC_OPERATION_FAILED, 8, {8}},
    {"RegionWithoutOutputs",
     [](KTX_ConfigDevice &r) { ASSERT_EQ(r.GetSensor().GetDetection().GetDetector(0)->ClearOutputs(0), KTX_RC_OK); },
     Answers::Stop, KTX_RC_OPERATION_FAILED, 9, {9}},
    {"ExcludedRegionCountsAsOutput",
     [](KTX_ConfigDevice &r) { ASSERT_EQ(r.GetSensor().GetDetection().GetDetector(0)->ToggleExcluded(0), KTX_RC_OK); },
     Answers::Stop, KTX_RC_OK, 0, {}},
    {"FirstProblemStopsWithoutHandler",
     [](KTX_ConfigDevice &r) {
       r.GetSensor().GetCalibration().SetSeedPointIndex(-1);
       AddDetector(r, 0, false);
     },
     Answers::None, KTX_RC_OPERATION_FAILED, 6, {}},
    {"ContinuingHandlerHearsEveryProblem",
     [](KTX_ConfigDevice &r) {
       SetNetwork(r, u"10.0.0.255", u"255.255.255.0", u"0.0.0.0");
       ASSERT_EQ(r.GetSensor().GetCalibration().Resize(0), KTX_RC_OK);
       RemoveFirstDetector(r);
       AddDetector(r, 2, false);
       AddDetector(r, 0, false);
     },
     Answers::Continue, KTX_RC_OK, 0, {3, 5, 6, 9, 9, 8}},
    {"ContinuingHandlerWithoutDetector",
     [](KTX_ConfigDevice &r) {
       RemoveFirstDetector(r);
       r.GetSensor().GetCalibration().SetSeedPointIndex(-1);
     },
     Answers::Continue, KTX_RC_OK, 0, {6, 7}},
};
// clang-format on

class ConfigValidatorCase : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(ConfigValidatorCase, ReportsItsProblems) {
  const ValidationCase &c = GetParam();
  std::unique_ptr<KTX_ConfigDevice> poRoot = CompleteConfig();
  c.fnEdit(*poRoot);
  const Bytes oBefore = WriteFile(*poRoot, kBinary);
  RecordingHandler oHandler({}, c.eAnswers == Answers::Continue);
  KTX_ValidationContext oContext;
  oContext.poConfiguration = poRoot.get();
  KTX_ConfigValidator oValidator(c.eAnswers == Answers::None ? nullptr : &oHandler, &oContext);
  EXPECT_EQ(oValidator.Validate(), c.i32Result);
  EXPECT_EQ(oContext.i32ErrorCode, c.i32ContextCode);
  EXPECT_EQ(oHandler.oCodes, c.oReports);
  EXPECT_EQ(oHandler.oReturnCodes, std::vector<int32_t>(c.oReports.size(), KTX_RC_OPERATION_FAILED));
  EXPECT_EQ(WriteFile(*poRoot, kBinary), oBefore) << "validation changed the configuration";
}

INSTANTIATE_TEST_SUITE_P(Cases, ConfigValidatorCase, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ValidationCase> &info) {
                           return std::string(info.param.szName);
                         });

// The network check on a configuration that is otherwise complete.
TEST(ConfigValidator, NetworkSettings) {
  const struct {
    const char16_t *szIp;
    const char16_t *szMask;
    const char16_t *szGateway;
    bool bPasses;
  } aoCases[] = {
      {u"192.168.0.101", u"0.0.0.0", u"0.0.0.0", true}, // a mask of zeros takes in every gateway
      {u"192.168.0.101", u"255.255.255.0", u"192.168.0.1", true},
      {u"192.168.0.101", u"255.255.255.0", u"0.0.0.0", false}, // gateway outside the subnet
      {u"192.168.0.101", u"255.0.255.0", u"0.0.0.0", false},   // mask not contiguous
      {u"192.168.0.101", u"255.255.255.255", u"192.168.0.1", false},
      {u"192.168.0.255", u"255.255.255.0", u"192.168.0.1", false}, // broadcast address
      {u"192.168.0.0", u"255.255.255.0", u"192.168.0.1", false},   // network address
      {u"192.168.0.1", u"255.255.255.0", u"192.168.0.1", false},   // address is the gateway
      {u"0.0.0.0", u"0.0.0.0", u"0.0.0.0", false},
      {u"192.168.0", u"0.0.0.0", u"0.0.0.0", false}, // not four numbers
      {u"192.168.0.300", u"0.0.0.0", u"0.0.0.0", false},
      {u"10.0.0.1", u"255.0.0.0 ", u"0.0.0.0", false}, // trailing text
      {u"10.0.0.1", u"0.0.0.0", u"", false},
  };
  for (const auto &c : aoCases) {
    std::unique_ptr<KTX_ConfigDevice> poRoot = CompleteConfig();
    SetNetwork(*poRoot, c.szIp, c.szMask, c.szGateway);
    RecordingHandler oHandler({}, false);
    KTX_ValidationContext oContext;
    oContext.poConfiguration = poRoot.get();
    const int32_t i32Result = KTX_ConfigValidator(&oHandler, &oContext).Validate();
    const std::string strCase = Narrow(c.szIp) + " " + Narrow(c.szMask) + " " + Narrow(c.szGateway);
    if (c.bPasses) {
      EXPECT_EQ(i32Result, KTX_RC_OK) << strCase;
      EXPECT_TRUE(oHandler.oCodes.empty()) << strCase;
    } else {
      EXPECT_EQ(i32Result, KTX_RC_OPERATION_FAILED) << strCase;
      EXPECT_EQ(oContext.i32ErrorCode, KTX_VALIDATION_NETWORK_INVALID) << strCase;
      EXPECT_EQ(oHandler.oCodes, std::vector<int32_t>{KTX_VALIDATION_NETWORK_INVALID}) << strCase;
    }
  }
}

TEST(ConfigValidator, NoConfigurationStopsWhateverTheHandlerAnswers) {
  for (bool bContinue : {false, true}) {
    RecordingHandler oHandler({}, bContinue);
    KTX_ValidationContext oContext;
    KTX_ConfigValidator oValidator(&oHandler, &oContext);
    EXPECT_EQ(oValidator.Validate(), KTX_RC_OPERATION_FAILED);
    EXPECT_EQ(oContext.i32ErrorCode, KTX_VALIDATION_NO_CONFIGURATION);
    EXPECT_EQ(oHandler.oCodes, std::vector<int32_t>{KTX_VALIDATION_NO_CONFIGURATION});
  }
  KTX_ValidationContext oContext;
  EXPECT_EQ(KTX_ConfigValidator(nullptr, &oContext).Validate(), KTX_RC_OPERATION_FAILED);
  EXPECT_EQ(oContext.i32ErrorCode, KTX_VALIDATION_NO_CONFIGURATION);
  EXPECT_EQ(KTX_ConfigValidator(nullptr, nullptr).Validate(), KTX_RC_INVALID_PARAMETER);
}

TEST(ConfigValidator, HandlerThatStopsLaterNamesTheProblemItStoppedAt) {
  std::unique_ptr<KTX_ConfigDevice> poRoot = CompleteConfig();
  ASSERT_EQ(poRoot->GetSensor().GetCalibration().Resize(1), KTX_RC_OK);
  poRoot->GetSensor().GetCalibration().SetSeedPointIndex(-1);
  AddDetector(*poRoot, 0, false);
  RecordingHandler oHandler({true, false}, true);
  KTX_ValidationContext oContext;
  oContext.poConfiguration = poRoot.get();
  EXPECT_EQ(KTX_ConfigValidator(&oHandler, &oContext).Validate(), KTX_RC_OPERATION_FAILED);
  EXPECT_EQ(oContext.i32ErrorCode, KTX_VALIDATION_NO_SEED_POINT);
  EXPECT_EQ(oHandler.oCodes, (std::vector<int32_t>{5, 6}));
}

TEST(ConfigValidator, MessagesOfEachCode) {
  const struct {
    int32_t i32Code;
    int32_t i32ReturnCode;
    int32_t i32MessageId;
    const char *szText;
  } aoCases[] = {
      {1, KTX_RC_MALLOC_FAILED, 163,
       "An error occurred while starting the configuration validation: KTX_RC_MALLOC_FAILED."},
      {2, KTX_RC_OPERATION_FAILED, 165, "No configuration has been created."},
      {3, KTX_RC_OPERATION_FAILED, 213, "The network parameters are not valid."},
      {4, KTX_RC_OPERATION_FAILED, 169,
       "You must get an image from the device before the configuration can be downloaded."},
      {5, KTX_RC_OPERATION_FAILED, 162, "There must be at least three calibration points defined."},
      {6, KTX_RC_OPERATION_FAILED, 164,
       "The calibration must contain at least one user defined calibration seed point."},
      {7, KTX_RC_OPERATION_FAILED, 166, "There must be at least one detector defined in the configuration."},
      {8, KTX_RC_OPERATION_FAILED, 167,
       "There must be at least one detection region defined for each detector in the configuration."},
      {9, KTX_RC_OPERATION_FAILED, 168, "There must be at least one output defined for each region in each detector."},
      {42, KTX_RC_OPERATION_FAILED, 161,
       "An unknown validation error occurred: 42\n\nThe device configuration can not be downloaded."},
      {0, KTX_RC_OPERATION_FAILED, 161,
       "An unknown validation error occurred: 0\n\nThe device configuration can not be downloaded."},
  };
  for (const auto &c : aoCases) {
    char acText[256];
    KTX_ConfigValidator::FormatMessage(c.i32Code, c.i32ReturnCode, acText, sizeof acText);
    EXPECT_STREQ(acText, c.szText);
    EXPECT_EQ(KTX_ConfigValidator::GetMessageId(c.i32Code), c.i32MessageId);
  }
  char acShort[8];
  KTX_ConfigValidator::FormatMessage(5, KTX_RC_OPERATION_FAILED, acShort, sizeof acShort);
  EXPECT_STREQ(acShort, "There m");
}

TEST(ConfigValidator, DottedAddressParsing) {
  const struct {
    const char *szText;
    bool bValid;
    uint32_t u32Address;
  } aoCases[] = {
      {"192.168.0.101", true, 0xC0A80065u},
      {"0.0.0.0", true, 0},
      {"255.255.255.255", true, 0xFFFFFFFFu},
      {"010.001.0.9", true, 0x0A010009u},
      {"1.2.3", false, 0},
      {"1.2.3.4.5", false, 0},
      {"1.2.3.256", false, 0},
      {"1..3.4", false, 0},
      {"1.2.3.4 ", false, 0},
      {" 1.2.3.4", false, 0},
      {"", false, 0},
      {"1.2.3.0004", false, 0},
      {"a.b.c.d", false, 0},
      {"1.2.3.-4", false, 0},
  };
  for (const auto &c : aoCases) {
    uint32_t u32Address = 0;
    EXPECT_EQ(KTX_ConfigValidator::ParseIpv4(c.szText, &u32Address), c.bValid) << c.szText;
    if (c.bValid) {
      EXPECT_EQ(u32Address, c.u32Address) << c.szText;
    }
  }
  uint32_t u32Address = 0;
  EXPECT_FALSE(KTX_ConfigValidator::ParseIpv4(nullptr, &u32Address));
}

} // namespace
