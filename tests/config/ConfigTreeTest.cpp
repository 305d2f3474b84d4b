// The configuration tree: defaults, the token order of every node, round trips
// of whole token files in both encodings, and the refusal of malformed files.

#include "ConfigTestSupport.h"

#include "config/ConfigCamera.h"
#include "config/ConfigDetection.h"
#include "config/ConfigSnapshot.h"
#include "runtime/ReturnCode.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

// The token-file text after the header: from the root's "Begin" on.
std::string Body(const Bytes &p_roFile) {
  const std::string s = AsText(p_roFile);
  const size_t pos = s.find("Begin [ID] Device");
  return pos == std::string::npos ? std::string() : s.substr(pos);
}

Bytes TextFile(const std::vector<std::string> &p_roBody) {
  KTX_Config::InstallKeywords();
  OnStack<KTX_BufferHeap> oHeap;
  OnStack<KTX_BufferToken> oToken;
  oToken.SetWriteEncoding(kText);
  EXPECT_EQ(oToken.WriteHeader(&oHeap, TestVersion(), TestFileDate()), KTX_RC_OK);
  Append(oHeap, Lines(p_roBody));
  return Contents(oHeap);
}

int32_t ReadInto(KTX_Config &p_roRoot, const Bytes &p_roFile) {
  OnStack<KTX_BufferHeap> oHeap;
  Append(oHeap, p_roFile);
  OnStack<KTX_BufferToken> oToken;
  KTX_Config *poRoot = &p_roRoot;
  return ReadTokenFile(&oToken, &oHeap, nullptr, &poRoot);
}

KTX_ConfigDevice &AsDevice(const std::unique_ptr<KTX_Config> &p_roConfig) {
  return static_cast<KTX_ConfigDevice &>(*p_roConfig);
}

const std::vector<std::string> kDefaultBody = {
    "Begin [ID] Device 0",
    "   Description [SZ16] ",
    "   Description [SZ16] ",
    "   Description [SZ16] ",
    "   Description [SZ16] ",
    "   Description [SZ16] ",
    "   Description [SZ16] ",
    "   Description [SZ16] ",
    "   Description [SZ16] ",
    "   Notes [SZ16] ",
    "   Begin [ID] Communications 0",
    "      HostName [SZ8] QelSensor",
    "      IpAddress [SZ8] 192.168.0.101",
    "      LocalPort [U16] 5150",
    "      NetworkMask [SZ8] 0.0.0.0",
    "      GatewayIp [SZ8] 0.0.0.0",
    "      DomainName [SZ8] sensor.tarnvel.local",
    "      DnsServer [SZ8] 0.0.0.0",
    "   End []",
    "   Begin [ID] Sensor 0",
    "      Begin [ID] Camera 0",
    "      End []",
    "      Begin [ID] Camera 1",
    "      End []",
    "      Begin [ID] Calibration 0",
    "         CalPointCount [U16] 0",
    "         CalSeedPoint [I32] -1",
    "      End []",
    "      Begin [ID] Video 0",
    "         VideoStandard [U16] 1",
    "         VideoResolution [U16] 1",
    "      End []",
    "      Begin [ID] Detection 0",
    "         TurnOnDelayCallThreshMS [U32] 0",
    "         TurnOnExtendCallThreshMS [U32] 0",
    "         TriggerMode [I32] 0",
    "         TriggerMinOnTime [U32] 0",
    "         TriggerMaxOnTime [U32] 0",
    "         IOInitialStateOff [I32] 0",
    "         IOFailsafeMode [I32] 1",
    "         IOOnState [I32] 1",
    "         DetSensitivity [I32] 1",
    "      End []",
    "      Begin [ID] Snapshot 0",
    "         Format [U8] 0",
    "         Width [U16] 0",
    "         Height [U16] 0",
    "         Size [U32] 0",
    "      End []",
    "      Begin [ID] Snapshot 1",
    "         Format [U8] 0",
    "         Width [U16] 0",
    "         Height [U16] 0",
    "         Size [U32] 0",
    "      End []",
    "      Begin [ID] Snapshot 2",
    "         Format [U8] 0",
    "         Width [U16] 0",
    "         Height [U16] 0",
    "         Size [U32] 0",
    "      End []",
    "      Begin [ID] Snapshot 3",
    "         Format [U8] 0",
    "         Width [U16] 0",
    "         Height [U16] 0",
    "         Size [U32] 0",
    "      End []",
    "   End []",
    "End []",
};

TEST(ConfigTree, NewRootHoldsTheDefaults) {
  KTX_ConfigDevice oRoot;
  EXPECT_EQ(oRoot.GetConfigType(), KTX_CONFIG_TYPE_DEVICE);
  for (uint32_t i = 0; i < 8; ++i) {
    ASSERT_NE(oRoot.GetDescription(i), nullptr);
    EXPECT_EQ(oRoot.GetDescription(i)->GetLength(), 0);
  }
  EXPECT_EQ(oRoot.GetDescription(8), nullptr);
  EXPECT_EQ(oRoot.GetNotes().GetLength(), 0);
  const KTX_ConfigCom &roCom = oRoot.GetCommunications();
  EXPECT_STREQ(roCom.GetHostName().GetText(), "QelSensor");
  EXPECT_STREQ(roCom.GetIpAddress().GetText(), "192.168.0.101");
  EXPECT_EQ(roCom.GetLocalPort(), 5150);
  EXPECT_STREQ(roCom.GetNetworkMask().GetText(), "0.0.0.0");
  EXPECT_STREQ(roCom.GetGateway().GetText(), "0.0.0.0");
  EXPECT_STREQ(roCom.GetDnsServer().GetText(), "0.0.0.0");
  EXPECT_EQ(roCom.GetNetworkOption(), 0);
  KTX_ConfigSensor &roSensor = oRoot.GetSensor();
  EXPECT_EQ(roSensor.GetCamera(0)->GetIndex(), 0);
  EXPECT_EQ(roSensor.GetCamera(1)->GetIndex(), 1);
  EXPECT_EQ(roSensor.GetCamera(2), nullptr);
  EXPECT_EQ(roSensor.GetCalibration().GetPointCount(), 0u);
  EXPECT_EQ(roSensor.GetCalibration().GetSeedPointIndex(), -1);
  EXPECT_EQ(roSensor.GetVideo().GetVideoStandard(), KTX_VIDEO_STANDARD_NTSC);
  EXPECT_EQ(roSensor.GetVideo().GetVideoResolution(), KTX_VIDEO_RESOLUTION_D1);
  const KTX_ConfigDetection &roDetection = roSensor.GetDetection();
  EXPECT_EQ(roDetection.GetDetectorCount(), 0u);
  EXPECT_EQ(roDetection.GetFailsafeMode(), 1);
  EXPECT_EQ(roDetection.GetOnState(), 1);
  EXPECT_EQ(roDetection.GetSensitivity(), 1);
  for (uint32_t i = 0; i < 4; ++i) {
    const KTX_ConfigSnapshot *poSnapshot = roSensor.GetSnapshot(i);
    ASSERT_NE(poSnapshot, nullptr);
    EXPECT_EQ(poSnapshot->GetIndex(), static_cast<int32_t>(i));
    EXPECT_EQ(poSnapshot->GetFormat(), KTX_SNAPSHOT_FORMAT_JPEG);
    EXPECT_EQ(poSnapshot->GetSize(), 0u);
    EXPECT_EQ(poSnapshot->GetData(), nullptr);
  }
  EXPECT_EQ(roSensor.GetSnapshot(4), nullptr);
  EXPECT_EQ(oRoot.Finalize(), KTX_RC_OK);
}

TEST(ConfigTree, DefaultTextFileListsEveryNodeInTokenOrder) {
  KTX_ConfigDevice oRoot;
  const Bytes oFile = WriteFile(oRoot, kText);
  const std::string strText = AsText(oFile);
  EXPECT_EQ(strText.rfind("Tarnvel, Inc. Ascii Token File.\r\nVersionNumber [VER] 1.9.0.b", 0), 0u);
  EXPECT_NE(strText.find("\r\nFileDate [DATE] 2024 03 05 06:07:08\r\nBegin [ID] Device 0\r\n"), std::string::npos);
  EXPECT_EQ(Body(oFile), Lines(kDefaultBody));
}

TEST(ConfigTree, DefaultBinaryFileOpensWithTheRootAndItsEmptyDescriptions) {
  KTX_ConfigDevice oRoot;
  const Bytes oFile = WriteFile(oRoot, kBinary);
  const std::string strHeader = "Tarnvel, Inc. Binary Token File..";
  ASSERT_GT(oFile.size(), strHeader.size());
  EXPECT_EQ(AsText(Bytes(oFile.begin(), oFile.begin() + 33)), strHeader);
  // "Begin" Device 0, then "Description" with an empty value.
  const Bytes oRootBegin = {0x01, 0x02, 0x01, 0x00, 0x07, 0x00};
  EXPECT_NE(std::search(oFile.begin(), oFile.end(), oRootBegin.begin(), oRootBegin.end()), oFile.end());
  // "Begin" Calibration 0 and the file's last token, the root's "End".
  const Bytes oCalibration = {0x01, 0x02, 0x05, 0x00};
  EXPECT_NE(std::search(oFile.begin(), oFile.end(), oCalibration.begin(), oCalibration.end()), oFile.end());
  EXPECT_EQ(Bytes(oFile.end() - 4, oFile.end()), (Bytes{0x02, 0x00, 0x02, 0x00}));
}

class ConfigTreeEncoding : public ::testing::TestWithParam<uint32_t> {};

TEST_P(ConfigTreeEncoding, DefaultTreeReadsBackEqual) {
  KTX_ConfigDevice oRoot;
  const Bytes oFile = WriteFile(oRoot, GetParam());
  int32_t i32Result = -1;
  std::unique_ptr<KTX_Config> poRead = ReadFile(oFile, &i32Result);
  ASSERT_EQ(i32Result, KTX_RC_OK);
  ASSERT_EQ(poRead->GetConfigType(), KTX_CONFIG_TYPE_DEVICE);
  ExpectSameTree(oRoot, AsDevice(poRead));
  EXPECT_EQ(WriteFile(*poRead, GetParam()), oFile);
}

TEST_P(ConfigTreeEncoding, FullTreeRoundTripsByteExactly) {
  std::unique_ptr<KTX_ConfigDevice> poRoot = MakeFullTree();
  const Bytes oFile = WriteFile(*poRoot, GetParam());
  int32_t i32Result = -1;
  std::unique_ptr<KTX_Config> poRead = ReadFile(oFile, &i32Result);
  ASSERT_EQ(i32Result, KTX_RC_OK);
  EXPECT_EQ(poRead->Finalize(), KTX_RC_OK);
  if (GetParam() == kText) {
    // The option byte has no keyword, so a text file cannot carry it.
    EXPECT_EQ(AsDevice(poRead).GetCommunications().GetNetworkOption(), 0);
    AsDevice(poRead).GetCommunications().SetNetworkOption(poRoot->GetCommunications().GetNetworkOption());
  }
  ExpectSameTree(*poRoot, AsDevice(poRead));
  EXPECT_EQ(WriteFile(*poRead, GetParam()), oFile);
}

INSTANTIATE_TEST_SUITE_P(BothEncodings, ConfigTreeEncoding, ::testing::Values(kBinary, kText),
                         [](const ::testing::TestParamInfo<uint32_t> &info) {
                           return info.param == kBinary ? std::string("Binary") : std::string("Text");
                         });

TEST(ConfigTree, TextThroughBinaryGivesTheIdenticalTextFile) {
  std::unique_ptr<KTX_ConfigDevice> poRoot = MakeFullTree();
  const Bytes oText = WriteFile(*poRoot, kText);
  int32_t i32Result = -1;
  std::unique_ptr<KTX_Config> poFromText = ReadFile(oText, &i32Result);
  ASSERT_EQ(i32Result, KTX_RC_OK);
  const Bytes oBinary = WriteFile(*poFromText, kBinary);
  std::unique_ptr<KTX_Config> poFromBinary = ReadFile(oBinary, &i32Result);
  ASSERT_EQ(i32Result, KTX_RC_OK);
  EXPECT_EQ(AsText(WriteFile(*poFromBinary, kText)), AsText(oText));
}

TEST(ConfigTree, FullTreeTextSpellsEachValueKind) {
  std::unique_ptr<KTX_ConfigDevice> poRoot = MakeFullTree();
  const std::string strText = AsText(WriteFile(*poRoot, kText));
  for (const char *szLine : {
           "\r\n   Description [SZ16] Back\\\\slash\r\n",
           "\r\n   Description [SZ16] Tab\\0009here\r\n",
           "\r\n   Notes [SZ16] Kerb ramp at the caf\\00E9 \\2014 \\6771\\4EAC\\000D\\000Asecond line\r\n",
           "\r\n      LocalPort [U16] 6001\r\n",
           "\r\n         CalPoint [I32] -2147483648 2147483647 -1 65536\r\n",
           "\r\n         TriggerMaxOnTime [U32] 4000000000\r\n",
       }) {
    EXPECT_NE(strText.find(szLine), std::string::npos) << szLine;
  }
  // Snapshot 0 holds 70 bytes: "Bits" of 32, 32 and 6 bytes.
  const size_t uStart = strText.find("Begin [ID] Snapshot 0");
  const size_t uEnd = strText.find("End []", uStart);
  ASSERT_NE(uStart, std::string::npos);
  std::vector<size_t> oCounts;
  for (size_t pos = strText.find("Bits [H8]", uStart); pos < uEnd; pos = strText.find("Bits [H8]", pos + 1)) {
    const size_t uLineEnd = strText.find("\r\n", pos);
    oCounts.push_back((uLineEnd - pos - 9) / 3);
  }
  EXPECT_EQ(oCounts, (std::vector<size_t>{32, 32, 6}));
  EXPECT_NE(strText.find("Size [U32] 70\r\n         Bits [H8] FF D8 4B 70 95"), std::string::npos);
  // Snapshot 2: 64 bytes, the last one 0x0A.
  std::string strLastBits = "\r\n         Bits [H8]";
  for (int i = 0; i < 31; ++i) {
    strLastBits += " 00";
  }
  strLastBits += " 0A\r\n      End []\r\n      Begin [ID] Snapshot 3\r\n         Format [U8] 255\r\n";
  EXPECT_NE(strText.find(strLastBits), std::string::npos);
}

TEST(ConfigTree, OptionByteTravelsOnlyInTheBinaryEncoding) {
  KTX_ConfigDevice oRoot;
  oRoot.GetCommunications().SetNetworkOption(0x5A);
  const Bytes oBinary = WriteFile(oRoot, kBinary);
  // DnsServer "0.0.0.0", token 44 with the one byte, then the node's "End".
  const Bytes oTail = {0x0D, 0x07, '0', '.', '0', '.', '0', '.', '0', 0x2C, 0x01, 0x5A, 0x02, 0x00};
  EXPECT_NE(std::search(oBinary.begin(), oBinary.end(), oTail.begin(), oTail.end()), oBinary.end());
  int32_t i32Result = -1;
  EXPECT_EQ(AsDevice(ReadFile(oBinary, &i32Result)).GetCommunications().GetNetworkOption(), 0x5A);
  EXPECT_EQ(i32Result, KTX_RC_OK);

  const std::string strText = AsText(WriteFile(oRoot, kText));
  EXPECT_NE(strText.find("DnsServer [SZ8] 0.0.0.0\r\n   End []\r\n"), std::string::npos);
  std::unique_ptr<KTX_Config> poRead = ReadFile(Bytes(strText.begin(), strText.end()), &i32Result);
  EXPECT_EQ(i32Result, KTX_RC_OK);
  EXPECT_EQ(AsDevice(poRead).GetCommunications().GetNetworkOption(), 0);
}

TEST(ConfigTree, ReadTokenFileGivesTheFileDate) {
  KTX_ConfigDevice oRoot;
  OnStack<KTX_BufferHeap> oHeap;
  Append(oHeap, WriteFile(oRoot, kText));
  OnStack<KTX_BufferToken> oToken;
  KTX_Config *poRoot = &oRoot;
  KTX_DateTime oDate;
  ASSERT_EQ(ReadTokenFile(&oToken, &oHeap, &oDate, &poRoot), KTX_RC_OK);
  EXPECT_EQ(oDate, TestFileDate());
  EXPECT_EQ(poRoot, &oRoot);
}

// Malformed files: each is refused with its code, and the read stops there.
struct BadFile {
  const char *szName;
  std::vector<std::string> oBody;
  int32_t i32Expected;
};

void PrintTo(const BadFile &p_roCase, std::ostream *p_poStream) { *p_poStream << p_roCase.szName; }

std::vector<std::string> Wrap(const std::vector<std::string> &p_roSensorLines) {
  std::vector<std::string> o = {"Begin [ID] Device 0", "Begin [ID] Sensor 0"};
  o.insert(o.end(), p_roSensorLines.begin(), p_roSensorLines.end());
  o.push_back("End []");
  o.push_back("End []");
  return o;
}

const BadFile kBadFiles[] = {
    {"UnknownTokenInCom",
     {"Begin [ID] Device 0", "Begin [ID] Communications 0", "VideoStandard [U16] 2", "End []", "End []"},
     KTX_RC_BUFFER_GENERIC_ERROR},
    {"NinthDescription",
     {"Begin [ID] Device 0", "Description [SZ16] 0", "Description [SZ16] 1", "Description [SZ16] 2",
      "Description [SZ16] 3", "Description [SZ16] 4", "Description [SZ16] 5", "Description [SZ16] 6",
      "Description [SZ16] 7", "Description [SZ16] 8", "End []"},
     KTX_RC_BUFFER_GENERIC_ERROR},
    {"MissingEnd", {"Begin [ID] Device 0", "Notes [SZ16] n"}, KTX_RC_BUFFER_GENERIC_ERROR},
    {"MissingNestedEnd", Wrap({"Begin [ID] Video 0", "VideoStandard [U16] 2"}), KTX_RC_BUFFER_GENERIC_ERROR},
    {"PortOfFourBytes",
     {"Begin [ID] Device 0", "Begin [ID] Communications 0", "LocalPort [U32] 5150", "End []", "End []"},
     KTX_RC_INVALID_PARAMETER},
    {"VideoStandardOfOneByte", Wrap({"Begin [ID] Video 0", "VideoStandard [U8] 2", "End []"}),
     KTX_RC_INVALID_PARAMETER},
    {"OddDescription", {"Begin [ID] Device 0", "Description [U8] 65", "End []"}, KTX_RC_INVALID_PARAMETER},
    {"FormatOfTwoBytes", Wrap({"Begin [ID] Snapshot 1", "Format [U16] 1", "End []"}), KTX_RC_INVALID_PARAMETER},
    {"BitsOf33Bytes",
     Wrap({"Begin [ID] Snapshot 0", "Size [U32] 40",
           "Bits [H8] 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F "
           "20",
           "End []"}),
     KTX_RC_FILE_INVALID_FORMAT},
    {"BitsBeforeSize", Wrap({"Begin [ID] Snapshot 0", "Bits [H8] 01", "Size [U32] 1", "End []"}),
     KTX_RC_FILE_INVALID_FORMAT},
    {"BitsPastSize", Wrap({"Begin [ID] Snapshot 0", "Size [U32] 3", "Bits [H8] 01 02", "Bits [H8] 03 04", "End []"}),
     KTX_RC_FILE_INVALID_FORMAT},
    {"SizeAboveLimit", Wrap({"Begin [ID] Snapshot 0", "Size [U32] 4294967295", "End []"}), KTX_RC_FILE_INVALID_FORMAT},
    {"ThirdCamera", Wrap({"Begin [ID] Camera 2", "End []"}), KTX_RC_BUFFER_GENERIC_ERROR},
    {"FifthSnapshot", Wrap({"Begin [ID] Snapshot 4", "End []"}), KTX_RC_BUFFER_GENERIC_ERROR},
    {"SecondSensor", {"Begin [ID] Device 0", "Begin [ID] Sensor 1", "End []", "End []"}, KTX_RC_BUFFER_GENERIC_ERROR},
    {"DeviceInsideSensor", Wrap({"Begin [ID] Device 0", "End []"}), KTX_RC_BUFFER_GENERIC_ERROR},
    {"UnnamedTypeInsideSensor", Wrap({"Begin [ID] Nothing 0", "End []"}), KTX_RC_BUFFER_GENERIC_ERROR},
    {"CameraWithValue", Wrap({"Begin [ID] Camera 0", "Width [U16] 1", "End []"}), KTX_RC_BUFFER_GENERIC_ERROR},
    {"ValueInSensor", Wrap({"Width [U16] 1"}), KTX_RC_BUFFER_GENERIC_ERROR},
    {"FirstTokenNotBegin", {"End []"}, KTX_RC_OPERATION_FAILED},
    {"RootOfUnknownType", {"Begin [ID] Nothing 0", "End []"}, KTX_RC_INVALID_PARAMETER},
    {"UnknownKeyword", {"Begin [ID] Device 0", "Colour [U8] 1", "End []"}, KTX_RC_BUFFER_GENERIC_ERROR},
};

class ConfigTreeBadFile : public ::testing::TestWithParam<BadFile> {};

TEST_P(ConfigTreeBadFile, IsRefusedWithItsCode) {
  int32_t i32Result = -1;
  std::unique_ptr<KTX_Config> poRead = ReadFile(TextFile(GetParam().oBody), &i32Result);
  EXPECT_EQ(i32Result, GetParam().i32Expected) << GetReturnCodeText(i32Result);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConfigTreeBadFile, ::testing::ValuesIn(kBadFiles),
                         [](const ::testing::TestParamInfo<BadFile> &info) { return std::string(info.param.szName); });

TEST(ConfigTree, BinaryFileWithoutEndRunsOutOfData) {
  KTX_ConfigDevice oRoot;
  Bytes oFile = WriteFile(oRoot, kBinary);
  oFile.resize(oFile.size() - 2); // the root's "End"
  int32_t i32Result = -1;
  std::unique_ptr<KTX_Config> poRead = ReadFile(oFile, &i32Result);
  EXPECT_EQ(i32Result, KTX_RC_BUFFER_EMPTY);
  // Everything before the missing token was read.
  ASSERT_NE(poRead, nullptr);
  EXPECT_EQ(AsDevice(poRead).GetSensor().GetSnapshot(3)->GetFormat(), KTX_SNAPSHOT_FORMAT_JPEG);
}

TEST(ConfigTree, BeginOfAnOddLengthIsRefused) {
  std::unique_ptr<TokenSource> poSource = BinarySource([](KTX_BufferToken &t, KTX_Buffer &b) {
    const uint8_t au8[3] = {3, 0, 0};
    t.SetBytes(KTX_BTID_BEGIN, 3, au8).WriteToken(&b);
    t.SetEmpty(KTX_BTID_END).WriteToken(&b);
  });
  KTX_ConfigDevice oRoot;
  EXPECT_EQ(oRoot.ReadConfig(&poSource->oHeap, &poSource->oToken), KTX_RC_INVALID_PARAMETER);
}

TEST(ConfigTree, ReadStopsAtTheFirstErrorAndKeepsWhatCameBefore) {
  KTX_ConfigDevice oRoot;
  const int32_t i32Result =
      ReadInto(oRoot, TextFile({"Begin [ID] Device 0", "Description [SZ16] First", "Begin [ID] Communications 0",
                                "HostName [SZ8] Kept", "Bits [H8] 00", "IpAddress [SZ8] 1.2.3.4", "End []", "End []"}));
  EXPECT_EQ(i32Result, KTX_RC_BUFFER_GENERIC_ERROR);
  EXPECT_EQ(Wide(*oRoot.GetDescription(0)), u"First");
  EXPECT_STREQ(oRoot.GetCommunications().GetHostName().GetText(), "Kept");
  EXPECT_STREQ(oRoot.GetCommunications().GetIpAddress().GetText(), "192.168.0.101");
}

// A "Begin" that names a node the tree does not have is refused before any node
// is touched: the snapshots of a root that holds images keep them.
TEST(ConfigTree, BeginOutOfRangeTouchesNoNode) {
  for (const char *szBegin : {"Begin [ID] Snapshot 4", "Begin [ID] Snapshot 4294967295", "Begin [ID] Camera 2"}) {
    std::unique_ptr<KTX_ConfigDevice> poRoot = MakeFullTree();
    const int32_t i32Result = ReadInto(*poRoot, TextFile(Wrap({szBegin, "Format [U8] 1", "Size [U32] 0", "End []"})));
    EXPECT_EQ(i32Result, KTX_RC_BUFFER_GENERIC_ERROR) << szBegin;
    ExpectSameTree(*MakeFullTree(), *poRoot);
  }
  std::unique_ptr<KTX_ConfigDevice> poRoot = MakeFullTree();
  EXPECT_EQ(ReadInto(*poRoot, TextFile({"Begin [ID] Device 0", "Begin [ID] Sensor 1", "Begin [ID] Calibration 0",
                                        "CalPointCount [U16] 0", "End []", "End []", "End []"})),
            KTX_RC_BUFFER_GENERIC_ERROR);
  ExpectSameTree(*MakeFullTree(), *poRoot);
}

TEST(ConfigTree, SuppliedRootMustMatchTheFile) {
  KTX_ConfigSensor oSensor;
  KTX_ConfigDevice oRoot;
  EXPECT_EQ(ReadInto(oSensor, WriteFile(oRoot, kText)), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(ReadInto(oRoot, WriteFile(oRoot, kBinary)), KTX_RC_OK);
}

TEST(ConfigTree, NotATokenFileIsRefused) {
  int32_t i32Result = -1;
  const std::string strJunk = "Tarnvel, Inc. Token File of sorts.\r\nBegin [ID] Device 0\r\nEnd []\r\n";
  EXPECT_EQ(ReadFile(Bytes(strJunk.begin(), strJunk.end()), &i32Result), nullptr);
  EXPECT_EQ(i32Result, KTX_RC_OPERATION_FAILED);
}

TEST(ConfigTree, SnapshotReadDiscardsThePreviousImage) {
  std::unique_ptr<KTX_ConfigDevice> poRoot = MakeFullTree();
  ASSERT_EQ(ReadInto(*poRoot, TextFile(Wrap({"Begin [ID] Snapshot 0", "Width [U16] 9", "End []"}))), KTX_RC_OK);
  const KTX_ConfigSnapshot &roSnapshot = *poRoot->GetSensor().GetSnapshot(0);
  EXPECT_EQ(roSnapshot.GetSize(), 0u);
  EXPECT_EQ(roSnapshot.GetData(), nullptr);
  EXPECT_EQ(roSnapshot.GetWidth(), 9);
  EXPECT_EQ(roSnapshot.GetHeight(), 0);
  EXPECT_EQ(roSnapshot.GetFormat(), KTX_SNAPSHOT_FORMAT_JPEG);
}

TEST(ConfigTree, SnapshotSetImageCopiesAndBoundsTheData) {
  KTX_ConfigSnapshot oSnapshot(2);
  uint8_t au8[3] = {1, 2, 3};
  ASSERT_EQ(oSnapshot.SetImage(au8, 3, 2, 1, KTX_SNAPSHOT_FORMAT_BITMAP), KTX_RC_OK);
  au8[0] = 9;
  EXPECT_EQ(oSnapshot.GetData()[0], 1);
  EXPECT_EQ(oSnapshot.SetImage(nullptr, 1, 0, 0, 0), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(oSnapshot.SetImage(au8, KTX_ConfigSnapshot::c_u32MaxSize + 1, 0, 0, 0), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(oSnapshot.GetSize(), 3u);
  EXPECT_EQ(oSnapshot.GetFormat(), KTX_SNAPSHOT_FORMAT_BITMAP);
}

struct CreateCase {
  uint32_t u32Type;
  uint32_t u32Index;
  int32_t i32Expected;
};

TEST(ConfigTree, CreateConfigMakesTheClassOfEachType) {
  const CreateCase aoCases[] = {
      {1, 0, KTX_RC_OK},
      {2, 7, KTX_RC_OK},
      {3, 0, KTX_RC_OK},
      {4, 1, KTX_RC_OK},
      {5, 0, KTX_RC_OK},
      {6, 0, KTX_RC_OK},
      {7, 0, KTX_RC_OK},
      {8, 3, KTX_RC_OK},
      {0, 0, KTX_RC_INVALID_PARAMETER},
      {9, 0, KTX_RC_INVALID_PARAMETER},
      {4, 2, KTX_RC_INVALID_PARAMETER},
      {8, 4, KTX_RC_INVALID_PARAMETER},
  };
  for (const CreateCase &c : aoCases) {
    KTX_Config *poConfig = nullptr;
    EXPECT_EQ(KTX_Config::CreateConfig(c.u32Type, c.u32Index, &poConfig), c.i32Expected) << c.u32Type;
    std::unique_ptr<KTX_Config> poOwned(poConfig);
    if (c.i32Expected == KTX_RC_OK) {
      ASSERT_NE(poConfig, nullptr);
      EXPECT_EQ(poConfig->GetConfigType(), c.u32Type);
    } else {
      EXPECT_EQ(poConfig, nullptr);
    }
  }
  KTX_Config *poCamera = nullptr;
  ASSERT_EQ(KTX_Config::CreateConfig(KTX_CONFIG_TYPE_CAMERA, 1, &poCamera), KTX_RC_OK);
  EXPECT_EQ(static_cast<KTX_ConfigCamera *>(poCamera)->GetIndex(), 1);
  delete poCamera;
  EXPECT_EQ(KTX_Config::CreateConfig(KTX_CONFIG_TYPE_DEVICE, 0, nullptr), KTX_RC_INVALID_PARAMETER);
}

TEST(ConfigTree, NodeWithoutItsTypeIdIsReportedWhenDestroyed) {
  struct Forgetful : KTX_Config {
    int32_t WriteConfig(KTX_Buffer *, KTX_BufferToken *) override { return KTX_RC_OK; }
    int32_t ReadConfig(KTX_Buffer *, KTX_BufferToken *) override { return KTX_RC_OK; }
  };
  UseFreshLogFile("ConfigForgetful");
  { Forgetful oNode; }
  EXPECT_EQ(LogCount("*ASSERT*"), 1);
  EXPECT_TRUE(LogContains("{KTX_Config} c_u32EnumBufferTokenCfgId never set in the Constructor of derived class!"));
  { KTX_ConfigVideo oVideo; }
  EXPECT_EQ(LogCount("*ASSERT*"), 1);
}

} // namespace
