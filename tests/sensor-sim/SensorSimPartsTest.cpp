// The emulator's pieces on their own: the stereo snapshot, the software files it
// makes, and its command line.

#include "sensor-sim/SimOptions.h"
#include "sensor-sim/SimSnapshot.h"
#include "sensor-sim/SimSoftwareImage.h"

#include "runtime/ReturnCode.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The horizontal shift of the right picture that best matches a block of the
// left picture around (x, y), by the sum of absolute differences.
int BestShift(const std::vector<uint8_t> &p_rvu8Left, const std::vector<uint8_t> &p_rvu8Right, int p_iWidth, int p_iX,
              int p_iY) {
  int best = 0;
  long bestCost = LONG_MAX;
  for (int d = 0; d < 40; ++d) {
    long cost = 0;
    for (int y = p_iY - 4; y <= p_iY + 4; ++y) {
      for (int x = p_iX - 6; x <= p_iX + 6; ++x) {
        for (int c = 0; c < 3; ++c) {
          cost += std::abs(p_rvu8Left[(static_cast<size_t>(y) * p_iWidth + x) * 3 + c] -
                           p_rvu8Right[(static_cast<size_t>(y) * p_iWidth + x - d) * 3 + c]);
        }
      }
    }
    if (cost < bestCost) {
      bestCost = cost;
      best = d;
    }
  }
  return best;
}

TEST(SimSnapshot, HalvesDifferByADisparityThatGrowsTowardsTheCameras) {
  const int width = 320;
  const int height = 240;
  std::vector<uint8_t> left(static_cast<size_t>(width) * height * 3);
  std::vector<uint8_t> right(left.size());
  KTX_SimSnapshot::RenderCamera(0, width, height, 0, left.data());
  KTX_SimSnapshot::RenderCamera(1, width, height, 0, right.data());
  ASSERT_NE(left, right);
  // Road near the bottom is closer than road higher up the picture.
  const int nearShift = BestShift(left, right, width, 200, 225);
  const int farShift = BestShift(left, right, width, 200, 130);
  EXPECT_GT(farShift, 0);
  EXPECT_GT(nearShift, farShift + 2);
  // What the geometry predicts for the bottom row: f·B/Z along the optical axis.
  const double tilt = KTX_SimSnapshot::c_f64TiltDegrees * 3.14159265358979 / 180.0;
  const double focal = KTX_SimSnapshot::c_f64FocalPerWidth * width;
  const double angle = tilt + std::atan((225 - (height - 1) / 2.0) / focal);
  const double depth = KTX_SimSnapshot::c_f64Height / std::sin(angle) * std::cos(angle - tilt);
  EXPECT_NEAR(nearShift, focal * KTX_SimSnapshot::c_f64Baseline / depth, 1.5);
}

TEST(SimSnapshot, EncodesTheStackedFrameAtTheAskedQuality) {
  std::vector<uint8_t> low;
  std::vector<uint8_t> high;
  ASSERT_EQ(KTX_SimSnapshot::Encode(160, 120, 3, 20, low), KTX_RC_OK);
  ASSERT_EQ(KTX_SimSnapshot::Encode(160, 120, 3, 95, high), KTX_RC_OK);
  EXPECT_LT(low.size(), high.size());
  tjhandle handle = tjInitDecompress();
  std::vector<uint8_t> pixels(160 * 240 * 3);
  ASSERT_EQ(tjDecompress2(handle, high.data(), static_cast<unsigned long>(high.size()), pixels.data(), 160, 0, 240,
                          TJPF_RGB, 0),
            0);
  tjDestroy(handle);
  // The top half is the left camera's picture.
  std::vector<uint8_t> left(160 * 120 * 3);
  KTX_SimSnapshot::RenderCamera(0, 160, 120, 3, left.data());
  long difference = 0;
  for (size_t i = 0; i < left.size(); ++i) {
    difference += std::abs(left[i] - pixels[i]);
  }
  EXPECT_LT(difference / static_cast<long>(left.size()), 12);
  EXPECT_EQ(KTX_SimSnapshot::Encode(8, 8, 0, 50, low), KTX_RC_INVALID_PARAMETER);
}

TEST(SimSoftwareImage, SoftwareFileCarriesTheHeaderFieldsAndTheImageRecord) {
  const KTX_Version version(2, 4, 9, "b", KTX_DateTime(2019, 5, 6, 7, 8, 9));
  const std::vector<uint8_t> body(100, 0x33);
  const std::vector<uint8_t> file = KTX_SimSoftwareImage::BuildSoftwareFile(1, version, body);
  ASSERT_EQ(file.size(), 118u + 32u + 100u);
  auto le32 = [&](size_t p_szAt) {
    return file[p_szAt] | (file[p_szAt + 1] << 8) | (file[p_szAt + 2] << 16) | (static_cast<uint32_t>(file[p_szAt + 3]) << 24);
  };
  EXPECT_EQ(le32(12), KTX_SimSoftwareImage::LoadAddress(1));
  EXPECT_EQ(le32(28), 1u);
  KTX_Version header;
  ASSERT_EQ(header.FromText(reinterpret_cast<const char *>(file.data() + 80), 37), KTX_RC_OK);
  EXPECT_EQ(header, KTX_SimSoftwareImage::Normalize(version));
  EXPECT_EQ(header.GetDisplay(), version.GetDisplay());
  uint32_t program = 0;
  KTX_Version record;
  ASSERT_EQ(KTX_SimSoftwareImage::ReadRecord(file.data() + 118, 132, &program, &record), KTX_RC_OK);
  EXPECT_EQ(program, 1u);
  // The record holds the version exactly as the header's text gives it back.
  EXPECT_EQ(record, header);
  struct Case {
    const char *szWhat;
    size_t szAt;
    uint8_t u8Value;
  };
  const Case broken[] = {{"magic", 0, 'X'}, {"program id", 8, 4}, {"pad", 27, 1}, {"length", 28, 0x99}};
  for (const Case &c : broken) {
    std::vector<uint8_t> image(file.begin() + 118, file.end());
    image[c.szAt] = c.u8Value;
    EXPECT_EQ(KTX_SimSoftwareImage::ReadRecord(image.data(), 132, nullptr, nullptr), KTX_RC_FILE_INVALID_FORMAT)
        << c.szWhat;
  }
  EXPECT_EQ(KTX_SimSoftwareImage::ReadRecord(file.data() + 118, 131, nullptr, nullptr), KTX_RC_FILE_INVALID_FORMAT);
}

TEST(SimOptionParser, CommandLinesDefineSensorsOrAreRefused) {
  struct Case {
    std::vector<const char *> vArgs;
    bool bOk;
    size_t szSensors;
  };
  const Case cases[] = {
      {{}, true, 1},
      {{"--udp", "127.0.0.5:0", "--sensor", "--pty", "lineA", "--count", "2"}, true, 3},
      {{"--model", "4"}, false, 0},
      {{"--device-id", "0A0000"}, false, 0},
      {{"--drop", "1.5"}, false, 0},
      {{"--udp", "300.0.0.1"}, false, 0},
      {{"--software-version", "2.3"}, false, 0},
      {{"--frobnicate"}, false, 0},
      {{"--count"}, false, 0},
  };
  for (const Case &c : cases) {
    std::vector<const char *> argv{"sim"};
    argv.insert(argv.end(), c.vArgs.begin(), c.vArgs.end());
    KTX_SimOptions options;
    std::string error;
    const int32_t rc = KTX_SimOptionParser::Parse(static_cast<int>(argv.size()), argv.data(), options, error);
    EXPECT_EQ(rc == KTX_RC_OK, c.bOk) << (c.vArgs.empty() ? "" : c.vArgs[0]) << " " << error;
    if (c.bOk) {
      EXPECT_EQ(options.voSensors.size(), c.szSensors);
    }
  }
  const char *full[] = {"sim", "--drop-in", "0.3", "--corrupt-out", "0.1", "--seed", "9", "--software-version",
                        "2.3.17.ab 2017 06 01 12:00:00", "--net-ip", "10.1.2.3", "--state", "st"};
  KTX_SimOptions options;
  std::string error;
  ASSERT_EQ(KTX_SimOptionParser::Parse(13, full, options, error), KTX_RC_OK) << error;
  EXPECT_DOUBLE_EQ(options.aoFaults[KTX_SIM_INBOUND].f64Drop, 0.3);
  EXPECT_DOUBLE_EQ(options.aoFaults[KTX_SIM_OUTBOUND].f64Drop, 0.0);
  EXPECT_DOUBLE_EQ(options.aoFaults[KTX_SIM_OUTBOUND].f64Corrupt, 0.1);
  EXPECT_EQ(options.u64Seed, 9u);
  EXPECT_EQ(options.voSensors[0].oSoftwareVersion.GetDisplay(), "2.3.17.ab 2017 06 01 12:00:00");
  EXPECT_EQ(options.voSensors[0].u32NetIp, 0x0A010203u);
  EXPECT_EQ(options.voSensors[0].strStateFolder, "st");
}

} // namespace
