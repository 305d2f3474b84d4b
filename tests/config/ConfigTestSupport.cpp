#include "ConfigTestSupport.h"

#include "config/ConfigDetection.h"
#include "config/Detector.h"
#include "config/DetectorPedCall.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringUnicode.h"

#include <gtest/gtest.h>

KTX_Version TestVersion() { return KTX_Version(1, 9, 0, "b", KTX_DateTime(2017, 8, 10, 21, 9, 14)); }

KTX_DateTime TestFileDate() { return KTX_DateTime(2024, 3, 5, 6, 7, 8); }

Bytes Contents(const KTX_BufferHeap &p_roHeap) {
  const uint8_t *p = p_roHeap.GetData();
  return p == nullptr ? Bytes{} : Bytes(p, p + p_roHeap.GetSize());
}

std::string AsText(const Bytes &p_roBytes) { return std::string(p_roBytes.begin(), p_roBytes.end()); }

void Append(KTX_BufferHeap &p_roHeap, const std::string &p_strText) {
  Append(p_roHeap, Bytes(p_strText.begin(), p_strText.end()));
}

void Append(KTX_BufferHeap &p_roHeap, const Bytes &p_roBytes) {
  if (p_roBytes.empty()) {
    return;
  }
  uint32_t u32Count = static_cast<uint32_t>(p_roBytes.size());
  ASSERT_EQ(p_roHeap.Write(p_roBytes.data(), &u32Count), KTX_RC_OK);
}

std::string Lines(const std::vector<std::string> &p_roLines) {
  std::string s;
  for (const std::string &line : p_roLines) {
    s += line + "\r\n";
  }
  return s;
}

std::unique_ptr<TokenSource> TextSource(const std::vector<std::string> &p_roLines) {
  KTX_Config::InstallKeywords();
  auto poSource = std::make_unique<TokenSource>();
  OnStack<KTX_BufferToken> oWriter;
  oWriter.SetWriteEncoding(kText);
  EXPECT_EQ(oWriter.WriteHeader(&poSource->oHeap, TestVersion(), TestFileDate()), KTX_RC_OK);
  Append(poSource->oHeap, Lines(p_roLines));
  EXPECT_EQ(poSource->oToken.ReadHeader(&poSource->oHeap), KTX_RC_OK);
  return poSource;
}

std::unique_ptr<TokenSource> BinarySource(const std::function<void(KTX_BufferToken &, KTX_Buffer &)> &p_fnWrite) {
  KTX_Config::InstallKeywords();
  auto poSource = std::make_unique<TokenSource>();
  OnStack<KTX_BufferToken> oWriter;
  oWriter.SetWriteEncoding(kBinary);
  EXPECT_EQ(oWriter.WriteHeader(&poSource->oHeap, TestVersion(), TestFileDate()), KTX_RC_OK);
  p_fnWrite(oWriter, poSource->oHeap);
  EXPECT_EQ(poSource->oToken.ReadHeader(&poSource->oHeap), KTX_RC_OK);
  return poSource;
}

Bytes WriteFile(KTX_Config &p_roConfig, uint32_t p_u32Encoding) {
  OnStack<KTX_BufferHeap> oHeap;
  OnStack<KTX_BufferToken> oToken;
  oToken.SetWriteEncoding(p_u32Encoding);
  EXPECT_EQ(WriteTokenFile(&oToken, &oHeap, TestVersion(), TestFileDate(), &p_roConfig), KTX_RC_OK);
  EXPECT_EQ(oToken.GetIndent(), 0u);
  return Contents(oHeap);
}

std::unique_ptr<KTX_Config> ReadFile(const Bytes &p_roFile, int32_t *p_pi32Result) {
  OnStack<KTX_BufferHeap> oHeap;
  Append(oHeap, p_roFile);
  OnStack<KTX_BufferToken> oToken;
  KTX_Config *poConfig = nullptr;
  *p_pi32Result = ReadTokenFile(&oToken, &oHeap, nullptr, &poConfig);
  return std::unique_ptr<KTX_Config>(poConfig);
}

std::u16string Wide(const KTX_StringUnicode &p_roText) {
  return p_roText.GetLength() > 0 ? std::u16string(reinterpret_cast<const char16_t *>(p_roText.GetText()),
                                                   static_cast<size_t>(p_roText.GetLength()))
                                  : std::u16string();
}

void SetWide(KTX_StringUnicode &p_roText, const std::u16string &p_strText) {
  p_roText.Clear();
  for (char16_t c : p_strText) {
    p_roText.AppendChar(static_cast<uint16_t>(c));
  }
}

std::unique_ptr<KTX_ConfigDevice> MakeFullTree() {
  auto poRoot = std::make_unique<KTX_ConfigDevice>();
  const char16_t *aszDescriptions[] = {
      u"Crossing Main St / 5th", u"Model A", u"Serial 0042", u"Back\\slash", u"Tab\there", u"", u"Desc 6", u"Last one"};
  for (uint32_t i = 0; i < KTX_ConfigDevice::c_u32DescriptionCount; ++i) {
    SetWide(*poRoot->GetDescription(i), aszDescriptions[i]);
  }
  SetWide(poRoot->GetNotes(), u"Kerb ramp at the caf\u00e9 \u2014 \u6771\u4eac\r\nsecond line");

  KTX_ConfigCom &roCom = poRoot->GetCommunications();
  KTX_StringUnicode oText;
  oText.SetStackVariable();
  SetWide(oText, u"10.1.2.3");
  EXPECT_EQ(roCom.SetIpAddress(oText), KTX_RC_OK);
  SetWide(oText, u"255.255.0.0");
  EXPECT_EQ(roCom.SetNetworkMask(oText), KTX_RC_OK);
  SetWide(oText, u"10.1.0.1");
  EXPECT_EQ(roCom.SetGateway(oText), KTX_RC_OK);
  roCom.SetLocalPort(6001);
  EXPECT_EQ(roCom.SetHostName("Crossing-17"), KTX_RC_OK);
  EXPECT_EQ(roCom.SetDomainName("signals.example.org"), KTX_RC_OK);
  EXPECT_EQ(roCom.SetDnsServer("10.1.0.2"), KTX_RC_OK);
  roCom.SetNetworkOption(3);

  KTX_ConfigSensor &roSensor = poRoot->GetSensor();
  roSensor.GetVideo().SetVideoStandard(KTX_VIDEO_STANDARD_PAL);
  roSensor.GetVideo().SetVideoResolution(KTX_VIDEO_RESOLUTION_CIF);

  KTX_ConfigCalibration &roCalibration = roSensor.GetCalibration();
  EXPECT_EQ(roCalibration.Resize(4), KTX_RC_OK);
  *roCalibration.GetPoint(0) = {100 * 256 + 17, 50 * 256 + 3, 90, 48};
  *roCalibration.GetPoint(1) = {-5, 7, 0, 0};
  *roCalibration.GetPoint(2) = {300 * 256, 200 * 256 + 255, 290, 199};
  *roCalibration.GetPoint(3) = {INT32_MIN, INT32_MAX, -1, 65536};
  roCalibration.SetSeedPointIndex(2);

  KTX_ConfigDetection &roDetection = roSensor.GetDetection();
  roDetection.SetDelay(1500);
  roDetection.SetExtend(60000);
  roDetection.SetTriggerMode(KTX_TRIGGER_MODE_LANE_LIGHT);
  roDetection.SetMinOnTime(250);
  roDetection.SetMaxOnTime(4000000000u);
  roDetection.SetInitialStateOff(1);
  roDetection.SetFailsafeMode(0);
  roDetection.SetOnState(0);
  roDetection.SetSensitivity(3);
  KTX_Detector *poDetector = nullptr;
  EXPECT_EQ(roDetection.CreateDetector(KTX_DETECTOR_PED_EXTEND, &poDetector), KTX_RC_OK);
  for (int32_t r = 0; r < 5; ++r) {
    const int32_t x = 10 + 120 * r;
    const KTX_RegionPoint aoCorners[4] = {{x + 100, 200}, {x, 20}, {x + 90, 30}, {x + 5, 210}};
    EXPECT_EQ(poDetector->AddRegion(aoCorners), KTX_RC_OK);
  }
  EXPECT_EQ(poDetector->ToggleOutput(0, KTX_OUTPUT_SIDE_0), KTX_RC_OK);
  EXPECT_EQ(poDetector->ToggleOutput(0, KTX_OUTPUT_SIDE_2), KTX_RC_OK);
  EXPECT_EQ(poDetector->ToggleOutput(1, KTX_OUTPUT_PRESENCE), KTX_RC_OK);
  EXPECT_EQ(poDetector->ToggleExcluded(2), KTX_RC_OK);
  EXPECT_EQ(poDetector->MoveCorner(3, 2, 500, 260), KTX_RC_OK);
  EXPECT_EQ(poDetector->ToggleOutput(4, KTX_OUTPUT_SIDE_2), KTX_RC_OK);

  Bytes oJpeg(70);
  for (size_t i = 0; i < oJpeg.size(); ++i) {
    oJpeg[i] = static_cast<uint8_t>(i * 37 + 1);
  }
  oJpeg[0] = 0xFF;
  oJpeg[1] = 0xD8;
  EXPECT_EQ(roSensor.GetSnapshot(0)->SetImage(oJpeg.data(), 70, 720, 960, KTX_SNAPSHOT_FORMAT_JPEG), KTX_RC_OK);
  Bytes oBitmap(64, 0x00);
  oBitmap[63] = 0x0A;
  EXPECT_EQ(roSensor.GetSnapshot(2)->SetImage(oBitmap.data(), 64, 4, 4, KTX_SNAPSHOT_FORMAT_BITMAP), KTX_RC_OK);
  EXPECT_EQ(roSensor.GetSnapshot(3)->SetImage(nullptr, 0, 0, 0, KTX_SNAPSHOT_FORMAT_NONE), KTX_RC_OK);
  return poRoot;
}

namespace {

void ExpectSameText(const KTX_StringAscii &a, const KTX_StringAscii &b, const char *p_szField) {
  EXPECT_STREQ(a.GetText(), b.GetText()) << p_szField;
}

void ExpectSameDetector(const KTX_Detector &a, const KTX_Detector &b, uint32_t i) {
  ASSERT_EQ(a.GetType(), b.GetType()) << "detector " << i;
  ASSERT_EQ(a.GetRegionCount(), b.GetRegionCount()) << "detector " << i;
  for (uint32_t r = 0; r < a.GetRegionCount(); ++r) {
    KTX_RegionPoint ca[4], cb[4], sa[4], sb[4];
    a.GetCorners(r, ca);
    b.GetCorners(r, cb);
    a.GetStoredCorners(r, sa);
    b.GetStoredCorners(r, sb);
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(ca[k], cb[k]) << "detector " << i << " region " << r << " corner " << k;
      EXPECT_EQ(sa[k], sb[k]) << "detector " << i << " region " << r << " stored corner " << k;
    }
    for (uint32_t k = 0; k < KTX_Detector::c_u32OutputCount; ++k) {
      EXPECT_EQ(a.HasOutput(r, k), b.HasOutput(r, k)) << "detector " << i << " region " << r << " output " << k;
      if (a.HasOutput(r, k) && b.HasOutput(r, k)) {
        EXPECT_EQ(a.GetOutput(r, k)->i32Kind, b.GetOutput(r, k)->i32Kind);
        EXPECT_EQ(a.GetOutput(r, k)->i32Pin, b.GetOutput(r, k)->i32Pin);
      }
    }
  }
  if (a.GetType() == KTX_DETECTOR_PED_CALL) {
    EXPECT_EQ(static_cast<const KTX_DetectorPedCall &>(a).GetTovisParameter(),
              static_cast<const KTX_DetectorPedCall &>(b).GetTovisParameter());
  }
}

} // namespace

void ExpectSameTree(const KTX_ConfigDevice &e, const KTX_ConfigDevice &a) {
  for (uint32_t i = 0; i < KTX_ConfigDevice::c_u32DescriptionCount; ++i) {
    EXPECT_EQ(Wide(*e.GetDescription(i)), Wide(*a.GetDescription(i))) << "description " << i;
  }
  EXPECT_EQ(Wide(e.GetNotes()), Wide(a.GetNotes()));

  const KTX_ConfigCom &ce = e.GetCommunications();
  const KTX_ConfigCom &ca = a.GetCommunications();
  ExpectSameText(ce.GetHostName(), ca.GetHostName(), "host name");
  ExpectSameText(ce.GetIpAddress(), ca.GetIpAddress(), "IP address");
  EXPECT_EQ(ce.GetLocalPort(), ca.GetLocalPort());
  ExpectSameText(ce.GetNetworkMask(), ca.GetNetworkMask(), "mask");
  ExpectSameText(ce.GetGateway(), ca.GetGateway(), "gateway");
  ExpectSameText(ce.GetDomainName(), ca.GetDomainName(), "domain");
  ExpectSameText(ce.GetDnsServer(), ca.GetDnsServer(), "DNS server");
  EXPECT_EQ(ce.GetNetworkOption(), ca.GetNetworkOption());

  const KTX_ConfigSensor &se = e.GetSensor();
  const KTX_ConfigSensor &sa = a.GetSensor();
  EXPECT_EQ(se.GetVideo().GetVideoStandard(), sa.GetVideo().GetVideoStandard());
  EXPECT_EQ(se.GetVideo().GetVideoResolution(), sa.GetVideo().GetVideoResolution());

  const KTX_ConfigCalibration &ke = se.GetCalibration();
  const KTX_ConfigCalibration &ka = sa.GetCalibration();
  ASSERT_EQ(ke.GetPointCount(), ka.GetPointCount());
  for (uint32_t i = 0; i < ke.GetPointCount(); ++i) {
    EXPECT_EQ(*ke.GetPoint(i), *ka.GetPoint(i)) << "calibration point " << i;
  }
  EXPECT_EQ(ke.GetSeedPointIndex(), ka.GetSeedPointIndex());

  const KTX_ConfigDetection &de = se.GetDetection();
  const KTX_ConfigDetection &da = sa.GetDetection();
  EXPECT_EQ(de.GetDelay(), da.GetDelay());
  EXPECT_EQ(de.GetExtend(), da.GetExtend());
  EXPECT_EQ(de.GetTriggerMode(), da.GetTriggerMode());
  EXPECT_EQ(de.GetMinOnTime(), da.GetMinOnTime());
  EXPECT_EQ(de.GetMaxOnTime(), da.GetMaxOnTime());
  EXPECT_EQ(de.GetInitialStateOff(), da.GetInitialStateOff());
  EXPECT_EQ(de.GetFailsafeMode(), da.GetFailsafeMode());
  EXPECT_EQ(de.GetOnState(), da.GetOnState());
  EXPECT_EQ(de.GetSensitivity(), da.GetSensitivity());
  ASSERT_EQ(de.GetDetectorCount(), da.GetDetectorCount());
  for (uint32_t i = 0; i < de.GetDetectorCount(); ++i) {
    ExpectSameDetector(*de.GetDetector(i), *da.GetDetector(i), i);
  }

  for (uint32_t i = 0; i < KTX_ConfigSensor::c_u32SnapshotCount; ++i) {
    const KTX_ConfigSnapshot &pe = *se.GetSnapshot(i);
    const KTX_ConfigSnapshot &pa = *sa.GetSnapshot(i);
    EXPECT_EQ(pe.GetIndex(), pa.GetIndex());
    EXPECT_EQ(pe.GetFormat(), pa.GetFormat()) << "snapshot " << i;
    EXPECT_EQ(pe.GetWidth(), pa.GetWidth()) << "snapshot " << i;
    EXPECT_EQ(pe.GetHeight(), pa.GetHeight()) << "snapshot " << i;
    ASSERT_EQ(pe.GetSize(), pa.GetSize()) << "snapshot " << i;
    if (pe.GetSize() > 0) {
      EXPECT_EQ(Bytes(pe.GetData(), pe.GetData() + pe.GetSize()), Bytes(pa.GetData(), pa.GetData() + pa.GetSize()))
          << "snapshot " << i;
    }
  }
}
