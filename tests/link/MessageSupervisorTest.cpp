// Supervisor messages on the wire: the bytes Encode produces for each kind of
// destination, the CRC and sequence rules, serial framing, decoding with its
// refusals and filters, the payload writers and readers, and the log text.

#include "link/MessageSupervisor.h"

#include "buffers/Crc32.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const char *p_szText) {
  Bytes out;
  unsigned value = 0;
  int consumed = 0;
  while (std::sscanf(p_szText, " %2x%n", &value, &consumed) == 1) {
    out.push_back(static_cast<uint8_t>(value));
    p_szText += consumed;
  }
  return out;
}

std::string ToHex(const Bytes &p_roBytes) {
  std::string out;
  char pair[4];
  for (uint8_t b : p_roBytes) {
    std::snprintf(pair, sizeof pair, out.empty() ? "%02X" : " %02X", b);
    out += pair;
  }
  return out;
}

Bytes Concat(std::initializer_list<Bytes> p_oParts) {
  Bytes out;
  for (const Bytes &part : p_oParts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

struct Deleter {
  void operator()(KTX_MessageSupervisor *p_poMessage) const { p_poMessage->Delete(); }
};
using Message = std::unique_ptr<KTX_MessageSupervisor, Deleter>;

Message Fresh() { return Message(KTX_MessageSupervisor::NewMessage()); }

Bytes Encoded(KTX_MessageSupervisor &p_roMessage) {
  return Bytes(p_roMessage.GetMessageData(), p_roMessage.GetMessageData() + p_roMessage.GetMessageLength());
}

int32_t DecodeBytes(KTX_MessageSupervisor &p_roMessage, const Bytes &p_roBytes) {
  std::memcpy(p_roMessage.GetBuffer(), p_roBytes.data(), p_roBytes.size());
  return p_roMessage.Decode(static_cast<int32_t>(p_roBytes.size()));
}

Bytes Payload(KTX_MessageSupervisor &p_roMessage) {
  p_roMessage.RewindPayload();
  const int32_t n = p_roMessage.GetRemaining();
  const uint8_t *p = p_roMessage.GetPayloadPointer(n);
  return p != nullptr ? Bytes(p, p + n) : Bytes();
}

// The wire CRC over a message whose CRC field starts at p_iCrcAt.
uint32_t WireCrc(const Bytes &p_roMessage, size_t p_iCrcAt, uint32_t p_u32Start) {
  const uint32_t head = KTX_Crc32Update(p_u32Start, p_roMessage.data(), p_iCrcAt);
  return KTX_Crc32Update(head, p_roMessage.data() + p_iCrcAt + 4, p_roMessage.size() - p_iCrcAt - 4);
}

Bytes Be32(uint32_t p_u32Value) {
  return Bytes{static_cast<uint8_t>(p_u32Value >> 24), static_cast<uint8_t>(p_u32Value >> 16),
               static_cast<uint8_t>(p_u32Value >> 8), static_cast<uint8_t>(p_u32Value)};
}

Bytes Be16(uint32_t p_u32Value) {
  return Bytes{static_cast<uint8_t>(p_u32Value >> 8), static_cast<uint8_t>(p_u32Value)};
}

const KTX_DeviceAddress::DeviceId kSensorId = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
const KTX_DeviceAddress::DeviceId kOtherId = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};
const KTX_DeviceAddress::DeviceId kOwnId = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11};

// A sensor's FILE_OPEN answer (file 0xABCD, sequence 0x1234) as it arrives, with
// the CRC continued from 0x05DE0312 and, second, with the plain CRC-32.
const char *kFileOpenAnswer = "B2 C1 D1 5D 97 BD 28 12 34 00 00 00 00 01 04 00 04 00 00 AB CD";
const char *kFileOpenAnswerPlainCrc = "B2 C1 D1 1E FC 62 F1 12 34 00 00 00 00 01 04 00 04 00 00 AB CD";
// A HELLO answer with address options and none set (sequence 0x0101).
const char *kHelloAnswer = "B4 00 3F 74 39 0C 01 01 00 00 00 00 01 01 00 00";

class LegacyModeGuard {
public:
  explicit LegacyModeGuard(bool p_bLegacy) { KTX_MessageSupervisor::SetLegacyMode(p_bLegacy); }
  ~LegacyModeGuard() { KTX_MessageSupervisor::SetLegacyMode(false); }
};

class MessageSupervisorTest : public ::testing::Test {
protected:
  void SetUp() override { UseFreshLogFile(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
};

} // namespace

TEST_F(MessageSupervisorTest, RequestsCarryTheAddressFormOfTheirLink) {
  struct Case {
    const char *name;
    std::function<void(KTX_MessageSupervisor &)> address;
    bool legacy;
    uint16_t id;
    Bytes payload;
    Bytes addressPart; // protocol byte and address part
  };
  const Case cases[] = {
      {"serial sensor of unknown id",
       [](KTX_MessageSupervisor &m) {
         KTX_DeviceAddress &d = m.GetDestination();
         d.Parse("COM5");
       },
       false,
       KTX_SMI_HELLO,
       {},
       Hex("B1 C1 D1")},
      {"serial sensor with id, transport with id",
       [](KTX_MessageSupervisor &m) {
         m.GetDestination().Parse("COM5");
         m.GetDestination().SetDeviceId(kSensorId);
         m.GetSource().Parse("COM5");
         m.GetSource().SetDeviceId(kOwnId);
       },
       false, KTX_SMI_GET, Hex("00 01 00 57"),
       Concat(
           {Hex("B1 C2"), Bytes(kSensorId.begin(), kSensorId.end()), Hex("D2"), Bytes(kOwnId.begin(), kOwnId.end())})},
      {"Ethernet sensor with a known id",
       [](KTX_MessageSupervisor &m) {
         m.GetDestination().Parse("192.168.0.10:6000");
         m.GetDestination().SetDeviceId(kSensorId);
       },
       false, KTX_SMI_FILE_CLOSE, Hex("00 00 00 07"),
       Concat({Hex("B3 01 04 08"), Bytes(kSensorId.begin(), kSensorId.end())})},
      {"Ethernet broadcast with exclusions",
       [](KTX_MessageSupervisor &m) {
         m.GetDestination().Parse("255.255.255.255:6000");
         m.GetDestination().AddExcludedDeviceId(kOtherId);
         m.GetDestination().AddExcludedDeviceId(kOwnId);
         m.GetDestination().SetBroadcastResponse(true);
       },
       false,
       KTX_SMI_HELLO,
       {},
       Concat({Hex("B3 03 05 08"), Bytes(kOtherId.begin(), kOtherId.end()), Hex("05 08"),
               Bytes(kOwnId.begin(), kOwnId.end()), Hex("03 00")})},
      {"Ethernet sensor without identities",
       [](KTX_MessageSupervisor &m) { m.GetDestination().Parse("10.0.0.2"); },
       false,
       KTX_SMI_HELLO,
       {},
       Hex("B3 00")},
      {"legacy mode",
       [](KTX_MessageSupervisor &m) {
         m.GetDestination().Parse("COM5");
         m.GetDestination().SetDeviceId(kSensorId);
       },
       true, KTX_SMI_HELLO, Hex("AA"), Hex("B1 00 00")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    LegacyModeGuard legacy(c.legacy);
    Message m = Fresh();
    c.address(*m);
    m->SetMessageId(c.id);
    ASSERT_EQ(m->PutBytes(c.payload.data(), static_cast<int32_t>(c.payload.size())), KTX_RC_OK);
    ASSERT_EQ(m->Encode(), KTX_RC_OK);
    const Bytes wire = Encoded(*m);
    const Bytes tail =
        Concat({Be16(static_cast<uint16_t>(m->GetSequence())), Be16(c.id), Be16(c.payload.size()), c.payload});
    if (c.legacy) {
      EXPECT_EQ(ToHex(wire), ToHex(Concat({c.addressPart, tail})));
      continue;
    }
    ASSERT_EQ(wire.size(), c.addressPart.size() + 4 + tail.size());
    EXPECT_EQ(ToHex(Bytes(wire.begin(), wire.begin() + c.addressPart.size())), ToHex(c.addressPart));
    EXPECT_EQ(ToHex(Bytes(wire.end() - tail.size(), wire.end())), ToHex(tail));
    const Bytes crc(wire.begin() + c.addressPart.size(), wire.begin() + c.addressPart.size() + 4);
    EXPECT_EQ(ToHex(crc), ToHex(Be32(WireCrc(wire, c.addressPart.size(), KTX_MessageSupervisor::c_u32CrcStart))));
    EXPECT_EQ(m->GetHeaderLength(), static_cast<int32_t>(wire.size() - c.payload.size()));
  }
}

TEST_F(MessageSupervisorTest, SequenceNumbersNeverHaveAZeroLowByte) {
  // The counter is shared by the whole process: walk it to the interesting places.
  uint16_t s = KTX_MessageSupervisor::NextSequence();
  for (int i = 0; i < 70000 && s != 254; ++i) {
    s = KTX_MessageSupervisor::NextSequence();
  }
  ASSERT_EQ(s, 254);
  EXPECT_EQ(KTX_MessageSupervisor::NextSequence(), 255);
  EXPECT_EQ(KTX_MessageSupervisor::NextSequence(), 257);
  for (int i = 0; i < 70000 && s != 65535; ++i) {
    s = KTX_MessageSupervisor::NextSequence();
    ASSERT_NE(s & 0xFF, 0);
  }
  ASSERT_EQ(s, 65535);
  EXPECT_EQ(KTX_MessageSupervisor::NextSequence(), 1);

  // Each Encode takes the next number, a retry included.
  Message m = Fresh();
  m->GetDestination().Parse("COM3");
  ASSERT_EQ(m->Encode(), KTX_RC_OK);
  const int32_t first = m->GetSequence();
  ASSERT_EQ(m->Encode(), KTX_RC_OK);
  EXPECT_EQ(m->GetSequence(), (first & 0xFF) == 0xFF ? first + 2 : first + 1);
  const Bytes wire = Encoded(*m);
  EXPECT_EQ(wire[7] * 256 + wire[8], m->GetSequence());
}

TEST_F(MessageSupervisorTest, PackedIntegersInPayloads) {
  struct Case {
    uint32_t value;
    const char *bytes;
  } cases[] = {{0, "00"},
               {250, "FA"},
               {251, "FB FB"},
               {255, "FB FF"},
               {256, "FC 01 00"},
               {65535, "FC FF FF"},
               {65536, "FE 00 01 00 00"},
               {0xFFFFFFFEu, "FE FF FF FF FE"},
               {0xFFFFFFFFu, "FF"}};
  for (const Case &c : cases) {
    Message m = Fresh();
    ASSERT_EQ(m->PutPackedUint32(c.value), KTX_RC_OK);
    EXPECT_EQ(ToHex(Payload(*m)), c.bytes) << c.value;
    m->RewindPayload();
    uint32_t back = 0;
    EXPECT_EQ(m->GetPackedUint32(&back), KTX_RC_OK);
    EXPECT_EQ(back, c.value);
    EXPECT_EQ(m->GetRemaining(), 0);
  }

  Message pair = Fresh();
  ASSERT_EQ(pair->PutPackedPair(7, 300), KTX_RC_OK);
  EXPECT_EQ(ToHex(Payload(*pair)), "07 FC 01 2C");

  // The three-byte form is read, never written.
  Message m = Fresh();
  const Bytes threeBytes = Hex("FD 01 02 03 06");
  m->PutBytes(threeBytes.data(), 5);
  m->RewindPayload();
  uint32_t value = 0;
  EXPECT_EQ(m->GetPackedUint32(&value), KTX_RC_OK);
  EXPECT_EQ(value, 66051u);
  EXPECT_EQ(m->ExpectPackedUint32(5), KTX_RC_INVALID_PARAMETER);
  m->RewindPayload();
  EXPECT_EQ(m->ExpectPackedUint32(66051), KTX_RC_OK);

  // An encoding cut short by the payload's end.
  for (const char *cut : {"FB", "FC 01", "FE 00 01 00", "FD 01 02"}) {
    Message t = Fresh();
    const Bytes b = Hex(cut);
    t->PutBytes(b.data(), static_cast<int32_t>(b.size()));
    t->RewindPayload();
    EXPECT_EQ(t->GetPackedUint32(&value), KTX_RC_BUFFER_EMPTY) << cut;
    EXPECT_EQ(t->GetRemaining(), 0) << cut;
  }
}

TEST_F(MessageSupervisorTest, PayloadReadersStopAtTheEnd) {
  Message m = Fresh();
  m->PutUint8(0x12);
  m->PutUint16(0x3456);
  m->PutUint32(0x789ABCDE);
  uint8_t u8 = 0;
  uint16_t u16 = 0;
  uint32_t u32 = 0;
  m->RewindPayload();
  EXPECT_EQ(m->GetUint8(&u8), KTX_RC_OK);
  EXPECT_EQ(m->GetUint16(&u16), KTX_RC_OK);
  EXPECT_EQ(m->GetUint32(&u32), KTX_RC_OK);
  EXPECT_EQ(u8, 0x12);
  EXPECT_EQ(u16, 0x3456);
  EXPECT_EQ(u32, 0x789ABCDEu);

  m->RewindPayload();
  uint8_t out[8];
  EXPECT_EQ(m->GetBytes(nullptr, 1), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(m->GetBytes(out, 2), KTX_RC_OK);
  EXPECT_EQ(m->GetUint32(&u32), KTX_RC_OK);
  EXPECT_EQ(m->GetRemaining(), 1);
  EXPECT_EQ(m->GetUint16(&u16), KTX_RC_BUFFER_EMPTY);
  m->RewindPayload();
  m->GetBytes(out, 3);
  EXPECT_EQ(m->GetBytes(out, 5), KTX_RC_BUFFER_EMPTY);
  // Parked at the end: every later read fails.
  EXPECT_EQ(m->GetRemaining(), 0);
  EXPECT_EQ(m->GetUint8(&u8), KTX_RC_BUFFER_EMPTY);
  EXPECT_EQ(m->GetPayloadPointer(1), nullptr);
  EXPECT_EQ(m->GetPayloadPointer(-1), nullptr);
}

TEST_F(MessageSupervisorTest, PayloadOfSixteenHundredBytesFitsAndOneMoreIsRefused) {
  Message m = Fresh();
  m->GetDestination().Parse("COM3");
  std::vector<uint8_t> block(1600, 0x5A);
  ASSERT_EQ(m->PutBytes(block.data(), 1600), KTX_RC_OK);
  EXPECT_EQ(m->PutUint8(1), KTX_RC_BUFFER_OVERFLOW);
  // Every later write fails too, even one that would have fitted before.
  EXPECT_EQ(m->PutBytes(block.data(), 0), KTX_RC_BUFFER_OVERFLOW);
  EXPECT_EQ(m->PutPackedUint32(1), KTX_RC_BUFFER_OVERFLOW);
  EXPECT_EQ(m->ReservePayload(0), nullptr);
  EXPECT_EQ(m->Encode(), KTX_RC_BUFFER_OVERFLOW);

  Message fits = Fresh();
  fits->GetDestination().Parse("COM3");
  uint8_t *space = fits->ReservePayload(1600);
  ASSERT_NE(space, nullptr);
  std::memset(space, 0xAA, 1600);
  ASSERT_EQ(fits->Encode(), KTX_RC_OK);
  EXPECT_EQ(fits->GetMessageLength(), 1600 + 3 + 4 + 6);
}

TEST_F(MessageSupervisorTest, EncodeRefusesMoreThanTheBufferOrTheOptionCount) {
  // Header 1 + 1 + 4 x 10 + 4 + 6 = 52 bytes: with 1600 payload bytes exactly 1652.
  Message full = Fresh();
  full->GetDestination().Parse("10.0.0.2:6000");
  for (uint8_t i = 1; i <= 4; ++i) {
    full->GetDestination().AddExcludedDeviceId({i, i, i, i, i, i, i, i});
  }
  std::vector<uint8_t> block(1600);
  for (size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<uint8_t>(i);
  }
  ASSERT_EQ(full->PutBytes(block.data(), 1600), KTX_RC_OK);
  ASSERT_EQ(full->Encode(), KTX_RC_OK);
  EXPECT_EQ(full->GetMessageLength(), KTX_MessageSupervisor::c_i32BufferSize);
  EXPECT_EQ(full->GetMessageData(), full->GetBuffer());
  // The moved message is intact: it decodes back to the same payload.
  Message back = Fresh();
  ASSERT_EQ(DecodeBytes(*back, Encoded(*full)), KTX_RC_OK);
  EXPECT_EQ(Payload(*back), block);

  // One more option and the message would be 1662 bytes.
  full->GetDestination().AddExcludedDeviceId(kOtherId);
  EXPECT_EQ(full->Encode(), KTX_RC_BUFFER_OVERFLOW);
  EXPECT_TRUE(LogContains("MsgSupervisor - Message size overflow; 10 bytes"));

  Message many = Fresh();
  many->GetDestination().Parse("10.0.0.2:6000");
  for (int i = 0; i < 254; ++i) {
    many->GetDestination().AddExcludedDeviceId(kOtherId);
  }
  many->GetDestination().SetDeviceId(kSensorId);
  // 255 options fit the count byte but not the buffer (2550 bytes of options).
  EXPECT_EQ(many->Encode(), KTX_RC_BUFFER_OVERFLOW);
  // The 256th is refused by count before any size is considered.
  many->GetDestination().SetBroadcastResponse(true);
  EXPECT_EQ(many->Encode(), KTX_RC_INTERNAL_OVERFLOW);
  EXPECT_TRUE(LogContains("MsgSupervisor - Maximum address option count limit exceeded (256)"));
}

TEST_F(MessageSupervisorTest, FramingEscapesTheFrameBytes) {
  Message m = Fresh();
  m->GetDestination().Parse("COM3");
  const Bytes special = Hex("AA AB A0 01");
  m->PutBytes(special.data(), 4);
  ASSERT_EQ(m->Encode(), KTX_RC_OK);
  const int32_t length = m->GetMessageLength();
  std::vector<uint8_t> out(static_cast<size_t>(2 * length + 2));
  int32_t framedLength = -1;
  EXPECT_EQ(m->Frame(out.data(), 2 * length + 1, &framedLength), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(framedLength, 0);
  ASSERT_EQ(m->Frame(out.data(), 2 * length + 2, &framedLength), KTX_RC_OK);
  out.resize(static_cast<size_t>(framedLength));
  const std::string framed = ToHex(out);
  EXPECT_EQ(framed.substr(0, 3), "AA ");
  EXPECT_NE(framed.find("A0 3A A0 3B A0 30 01 AB"), std::string::npos) << framed;
  for (size_t i = 1; i + 1 < out.size(); ++i) {
    EXPECT_NE(out[i], 0xAA);
    EXPECT_NE(out[i], 0xAB);
  }

  // Back through a serial line in small pieces, then decoded.
  Message received = Fresh();
  int32_t rc = KTX_RC_BUFFER_EMPTY;
  size_t at = 0;
  for (int guard = 0; guard < 1000 && rc == KTX_RC_BUFFER_EMPTY && at < out.size(); ++guard) {
    const int32_t piece = static_cast<int32_t>(std::min<size_t>(3, out.size() - at));
    int32_t consumed = 0;
    rc = received->Deframe(out.data() + at, piece, &consumed);
    at += static_cast<size_t>(consumed);
  }
  ASSERT_EQ(rc, KTX_RC_OK);
  EXPECT_EQ(at, out.size());
  ASSERT_EQ(received->Decode(received->GetReceivedLength()), KTX_RC_OK);
  EXPECT_EQ(Payload(*received), special);
}

TEST_F(MessageSupervisorTest, DeframeCollectsAcrossCallsAndRestartsOnAFrameStart) {
  struct Step {
    const char *bytes;
    int32_t rc;
    int32_t consumed;
  };
  struct Case {
    const char *name;
    std::vector<Step> steps;
    const char *collected;
  } cases[] = {
      {"escape completed by the next piece", {{"00 AA 01 A0 3A", 502, 5}, {"AB", 0, 1}}, "01 AA"},
      {"frame start inside a frame", {{"AA 01 AA 02 AB", 0, 5}}, "02"},
      {"frame start as the last byte of a piece", {{"55 AA", 502, 2}, {"03 AB", 0, 2}}, "03"},
      {"escape as the last byte stays unconsumed", {{"AA 04 A0", 502, 2}, {"A0 30 AB", 0, 3}}, "04 A0"},
      {"bytes after the frame end are left", {{"AA 05 AB AA 06", 0, 3}}, "05"},
      {"no frame start at all", {{"01 02 AB", 502, 3}}, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Message m = Fresh();
    for (const Step &step : c.steps) {
      const Bytes in = Hex(step.bytes);
      int32_t consumed = -1;
      EXPECT_EQ(m->Deframe(in.data(), static_cast<int32_t>(in.size()), &consumed), step.rc) << step.bytes;
      EXPECT_EQ(consumed, step.consumed) << step.bytes;
    }
    EXPECT_EQ(ToHex(Bytes(m->GetBuffer(), m->GetBuffer() + m->GetReceivedLength())), c.collected);
  }
}

TEST_F(MessageSupervisorTest, DeframeDropsAFrameLongerThanAnyMessage) {
  Bytes longest = {0xAA};
  longest.insert(longest.end(), KTX_MessageSupervisor::c_i32BufferSize, 0x11);
  longest.push_back(0xAB);
  Message m = Fresh();
  int32_t consumed = 0;
  EXPECT_EQ(m->Deframe(longest.data(), static_cast<int32_t>(longest.size()), &consumed), KTX_RC_OK);
  EXPECT_EQ(m->GetReceivedLength(), KTX_MessageSupervisor::c_i32BufferSize);

  Bytes tooLong = {0xAA};
  tooLong.insert(tooLong.end(), KTX_MessageSupervisor::c_i32BufferSize + 1, 0x22);
  tooLong.push_back(0xAB);
  const Bytes next = Hex("AA 07 AB");
  tooLong.insert(tooLong.end(), next.begin(), next.end());
  Message t = Fresh();
  EXPECT_EQ(t->Deframe(tooLong.data(), static_cast<int32_t>(tooLong.size()), &consumed), KTX_RC_OK);
  EXPECT_EQ(consumed, static_cast<int32_t>(tooLong.size()));
  EXPECT_EQ(ToHex(Bytes(t->GetBuffer(), t->GetBuffer() + t->GetReceivedLength())), "07");
}

TEST_F(MessageSupervisorTest, ReceivedAnswersDecode) {
  for (const char *answer : {kFileOpenAnswer, kFileOpenAnswerPlainCrc}) {
    SCOPED_TRACE(answer);
    Message m = Fresh();
    ASSERT_EQ(DecodeBytes(*m, Hex(answer)), KTX_RC_OK);
    EXPECT_EQ(m->GetProtocol(), 0xB2);
    EXPECT_EQ(m->GetSequence(), 0x1234);
    EXPECT_EQ(m->GetMessageId(), KTX_SMI_FILE_OPEN);
    EXPECT_EQ(m->GetResult(), KTX_RC_OK);
    EXPECT_EQ(m->GetHeaderLength(), 17);
    uint32_t file = 0;
    EXPECT_EQ(m->GetUint32(&file), KTX_RC_OK);
    EXPECT_EQ(file, 0xABCDu);
    EXPECT_EQ(m->GetMessageLength(), 21);
  }
  Message hello = Fresh();
  ASSERT_EQ(DecodeBytes(*hello, Hex(kHelloAnswer)), KTX_RC_OK);
  EXPECT_EQ(hello->GetMessageId(), KTX_SMI_HELLO);
  EXPECT_EQ(hello->GetPayloadLength(), 0);
}

TEST_F(MessageSupervisorTest, DecodeCarriesTheResultAndTheDeviceIds) {
  // A response with a result code and both device ids.
  const Bytes pre =
      Concat({Hex("B2 C2"), Bytes(kOwnId.begin(), kOwnId.end()), Hex("D2"), Bytes(kSensorId.begin(), kSensorId.end())});
  const Bytes post = Hex("00 21 00 00 02 5A 01 01 00 00");
  Bytes wire = Concat({pre, Hex("00 00 00 00"), post});
  const Bytes crc = Be32(WireCrc(wire, pre.size(), KTX_MessageSupervisor::c_u32CrcStart));
  std::copy(crc.begin(), crc.end(), wire.begin() + static_cast<long>(pre.size()));
  Message m = Fresh();
  ASSERT_EQ(DecodeBytes(*m, wire), KTX_RC_OK);
  EXPECT_EQ(m->GetResult(), 602);
  EXPECT_EQ(m->GetDestination().GetDeviceId(), kOwnId);
  EXPECT_EQ(m->GetSource().GetDeviceId(), kSensorId);

  // The older form: 0x00 and one byte in place of the source, and no CRC at all.
  Message older = Fresh();
  ASSERT_EQ(DecodeBytes(*older, Hex("B2 C1 00 07 00 33 00 00 00 00 01 01 00 01 5A")), KTX_RC_OK);
  EXPECT_EQ(older->GetSequence(), 0x33);
  EXPECT_EQ(ToHex(Payload(*older)), "5A");
}

TEST_F(MessageSupervisorTest, DecodeRefusesMalformedInput) {
  const Bytes answer = Hex(kFileOpenAnswer);
  // One byte more than the payload length says, under a CRC that covers it.
  Bytes longer = answer;
  longer.push_back(0x00);
  const Bytes longerCrc = Be32(WireCrc(longer, 3, KTX_MessageSupervisor::c_u32CrcStart));
  std::copy(longerCrc.begin(), longerCrc.end(), longer.begin() + 3);
  Bytes flipped = answer;
  flipped.back() ^= 0x01;
  struct Case {
    const char *name;
    Bytes bytes;
    int32_t rc;
  } cases[] = {
      {"one byte longer than its payload length says", longer, KTX_RC_MESSAGE_CORRUPTED},
      {"one payload bit flipped", flipped, KTX_RC_MESSAGE_CRC_MISMATCH},
      {"only the protocol byte", Hex("B2"), KTX_RC_BUFFER_EMPTY},
      {"destination id cut short", Hex("B2 C2 01 02 03"), KTX_RC_BUFFER_EMPTY},
      {"no source part", Hex("B2 C1"), KTX_RC_BUFFER_EMPTY},
      {"source id cut short", Hex("B2 C1 D2 01"), KTX_RC_BUFFER_EMPTY},
      {"CRC cut short", Hex("B2 C1 D1 5D 97"), KTX_RC_BUFFER_EMPTY},
      {"option count missing", Hex("B4"), KTX_RC_BUFFER_EMPTY},
      {"option data runs past the end", Hex("B4 01 04 08 01 02 03"), KTX_RC_BUFFER_EMPTY},
      {"option header cut short", Hex("B4 02 03 00 05"), KTX_RC_BUFFER_EMPTY},
      {"unknown protocol", Hex("77 00 00 00 00 00 01 01 01 00 00"), KTX_RC_MESSAGE_CRC_MISMATCH},
  };
  for (const Case &c : cases) {
    Message m = Fresh();
    EXPECT_EQ(DecodeBytes(*m, c.bytes), c.rc) << c.name;
  }
  Message m = Fresh();
  EXPECT_EQ(m->Decode(0), KTX_RC_BUFFER_EMPTY);
  EXPECT_EQ(m->Decode(-5), KTX_RC_BUFFER_EMPTY);
  EXPECT_EQ(m->Decode(KTX_MessageSupervisor::c_i32BufferSize + 1), KTX_RC_MESSAGE_CORRUPTED);

  // Every cut of a valid answer is refused, and so is every single flipped bit.
  for (size_t n = 1; n < answer.size(); ++n) {
    Message cut = Fresh();
    const int32_t rc = DecodeBytes(*cut, Bytes(answer.begin(), answer.begin() + static_cast<long>(n)));
    EXPECT_TRUE(rc == KTX_RC_BUFFER_EMPTY || rc == KTX_RC_MESSAGE_CORRUPTED || rc == KTX_RC_MESSAGE_CRC_MISMATCH)
        << n << ": " << rc;
  }
  for (size_t bit = 0; bit < answer.size() * 8; ++bit) {
    Bytes b = answer;
    b[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    Message f = Fresh();
    EXPECT_NE(DecodeBytes(*f, b), KTX_RC_OK) << "bit " << bit;
  }
}

TEST_F(MessageSupervisorTest, LegacyModeReadsAnswersWithoutACrc) {
  const Bytes noCrc = Hex("B2 C1 D1 12 34 00 00 00 00 01 04 00 04 00 00 AB CD");
  {
    Message m = Fresh();
    EXPECT_EQ(DecodeBytes(*m, noCrc), KTX_RC_MESSAGE_CRC_MISMATCH);
  }
  LegacyModeGuard legacy(true);
  Message m = Fresh();
  ASSERT_EQ(DecodeBytes(*m, noCrc), KTX_RC_OK);
  EXPECT_EQ(m->GetSequence(), 0x1234);
  // A matching CRC is still taken as a CRC.
  Message withCrc = Fresh();
  ASSERT_EQ(DecodeBytes(*withCrc, Hex(kFileOpenAnswer)), KTX_RC_OK);
  EXPECT_EQ(withCrc->GetSequence(), 0x1234);
}

TEST_F(MessageSupervisorTest, AddressOptionsFilterWhatTheWizardAccepts) {
  const KTX_DeviceAddress::DeviceId zeroId{};
  struct Case {
    const char *name;
    Bytes options; // count and options
    int32_t rc;
    const char *logged;
  } cases[] = {
      {"device id include of another node", Concat({Hex("01 04 08"), Bytes(kSensorId.begin(), kSensorId.end())}),
       KTX_RC_MESSAGE_FILTERED, nullptr},
      {"device id include of ours (zero)", Concat({Hex("01 04 08"), Bytes(zeroId.begin(), zeroId.end())}), KTX_RC_OK,
       nullptr},
      {"device id exclude of ours (zero)", Concat({Hex("01 05 08"), Bytes(zeroId.begin(), zeroId.end())}),
       KTX_RC_MESSAGE_FILTERED, nullptr},
      {"device id exclude of another node", Concat({Hex("01 05 08"), Bytes(kSensorId.begin(), kSensorId.end())}),
       KTX_RC_OK, nullptr},
      {"MAC include of another node", Hex("01 01 06 00 1A 2B 3C 4D 5E"), KTX_RC_MESSAGE_FILTERED, nullptr},
      {"MAC exclude of ours (zero)", Hex("01 02 06 00 00 00 00 00 00"), KTX_RC_MESSAGE_FILTERED, nullptr},
      {"MAC exclude of another node", Hex("01 02 06 00 1A 2B 3C 4D 5E"), KTX_RC_OK, nullptr},
      {"MAC include of a wrong length", Hex("01 01 02 01 02"), KTX_RC_OK,
       "MsgSupervisor - MAC include filter contains invalid MAC length 2; ignoring MAC"},
      {"MAC exclude of a wrong length", Hex("01 02 00"), KTX_RC_OK,
       "MsgSupervisor - Mac exclude filter contains invalid MAC length 0; ignoring MAC"},
      {"device id include of a wrong length", Hex("01 04 01 09"), KTX_RC_OK,
       "MsgSupervisor - DeviceID include filter contains invalid length 1; ignoring filter"},
      {"device id exclude of a wrong length", Hex("01 05 02 01 02"), KTX_RC_OK,
       "MsgSupervisor - DeviceID exclude filter contains invalid length 2; ignoring filter"},
      {"unknown option", Hex("01 07 02 01 02"), KTX_RC_OK,
       "MsgSupervisor - Ignoring unknown address option 0x07; Len=0x02"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes pre = Concat({Hex("B4"), c.options});
    Bytes wire = Concat({pre, Hex("00 00 00 00 01 02 00 00 00 00 01 01 00 00")});
    const Bytes crc = Be32(WireCrc(wire, pre.size(), KTX_MessageSupervisor::c_u32CrcStart));
    std::copy(crc.begin(), crc.end(), wire.begin() + static_cast<long>(pre.size()));
    Message m = Fresh();
    EXPECT_EQ(DecodeBytes(*m, wire), c.rc);
    if (c.logged != nullptr) {
      EXPECT_TRUE(LogContains(c.logged));
    }
  }
}

TEST_F(MessageSupervisorTest, BroadcastResponseOptionSendsTheReplyToEveryone) {
  const Bytes pre = Hex("B3 01 03 00");
  Bytes wire = Concat({pre, Hex("00 00 00 00 01 02 01 01 00 00")});
  const Bytes crc = Be32(WireCrc(wire, pre.size(), 0));
  std::copy(crc.begin(), crc.end(), wire.begin() + static_cast<long>(pre.size()));
  Message m = Fresh();
  m->GetSource().Parse("192.168.0.20:6001");
  ASSERT_EQ(DecodeBytes(*m, wire), KTX_RC_OK);
  KTX_StringAscii text;
  text.SetStackVariable();
  m->GetSource().ToString(text);
  EXPECT_STREQ(text.GetText(), "255.255.255.255");
  EXPECT_EQ(m->GetSource().GetPort(), 6001);
  EXPECT_TRUE(m->GetSource().GetBroadcast());
}

TEST_F(MessageSupervisorTest, LogTextNamesTheMessageAndItsFields) {
  struct Case {
    const char *name;
    std::function<void(KTX_MessageSupervisor &)> build; // a request to encode, or bytes to decode
    const char *text;
  };
  auto request = [](const char *p_szAddress, uint16_t p_u16Id, const char *p_szPayload) {
    return [=](KTX_MessageSupervisor &m) {
      m.GetDestination().Parse(p_szAddress);
      m.SetMessageId(p_u16Id);
      const Bytes payload = Hex(p_szPayload);
      m.PutBytes(payload.data(), static_cast<int32_t>(payload.size()));
      ASSERT_EQ(m.Encode(), KTX_RC_OK);
    };
  };
  auto answer = [](uint8_t p_u8Protocol, const char *p_szOptions, uint32_t p_u32Result, uint16_t p_u16Id,
                   const char *p_szPayload) {
    return [=](KTX_MessageSupervisor &m) {
      const Bytes payload = Hex(p_szPayload);
      const Bytes pre = Concat({Bytes{p_u8Protocol}, Hex(p_szOptions)});
      Bytes wire =
          Concat({pre, Hex("00 00 00 00 01 01"), Be32(p_u32Result), Be16(p_u16Id), Be16(payload.size()), payload});
      const Bytes crc = Be32(WireCrc(wire, pre.size(), KTX_MessageSupervisor::c_u32CrcStart));
      std::copy(crc.begin(), crc.end(), wire.begin() + static_cast<long>(pre.size()));
      ASSERT_EQ(DecodeBytes(m, wire), KTX_RC_OK);
    };
  };
  const Case cases[] = {
      {"GET request", request("COM4", KTX_SMI_GET, "00 01 00 57"),
       "-->> KTX_SMI_GET(KTX_SMIG_HARDWARE_MODEL,KTX_SMIG_SOFTWARE_VERSION)"},
      {"GET of an unknown item", request("COM4", KTX_SMI_GET, "00 FF"), "-->> KTX_SMI_GET(->KTX_SMIG_00FF)"},
      {"options of an Ethernet request",
       [](KTX_MessageSupervisor &m) {
         m.GetDestination().Parse("10.0.0.2");
         m.GetDestination().AddExcludedDeviceId(kSensorId);
         m.GetDestination().SetBroadcastResponse(true);
         m.SetMessageId(KTX_SMI_HELLO);
         ASSERT_EQ(m.Encode(), KTX_RC_OK);
       },
       "-->> (AdrOpts=2; DevIDExc=0123456789ABCDEF, BCastResp) KTX_SMI_HELLO"},
      {"no options", request("10.0.0.2", KTX_SMI_HELLO, ""), "-->> (AdrOpts=0) KTX_SMI_HELLO"},
      {"FILE_OPEN request", request("COM4", KTX_SMI_FILE_OPEN, "00000004 00000001 00000000 00000010 0000FFFF"),
       "-->> KTX_SMI_FILE_OPEN(Type=4, R/W=1, Addr=0, Min=10, Max=FFFF)"},
      {"FILE_OPEN answer", answer(0xB2, "C1 D1", 0, KTX_SMI_FILE_OPEN, "0000ABCD"),
       "KTX_RC_OK <<-- KTX_SMI_FILE_OPEN(File=0000ABCD)"},
      {"FILE_CLOSE request", request("COM4", KTX_SMI_FILE_CLOSE, "0000ABCD"), "-->> KTX_SMI_FILE_CLOSE(File=ABCD)"},
      {"FILE_WRITE_DIRECT request", request("COM4", KTX_SMI_FILE_WRITE_DIRECT, "00000001 00000200 00000002 55 66"),
       "-->> KTX_SMI_FILE_WRITE_DIRECT(File=1, Addr=200, ByteCount=2)"},
      {"FILE_READ_DIRECT answer",
       answer(0xB4, "01 03 00", 602, KTX_SMI_FILE_READ_DIRECT, "00000001 00000000 00000400 00000200 00000200 01"),
       "KTX_RC_FILE_TOO_MANY_FILES_ALREADY_OPEN <<-- (AdrOpts=1; BCastResp) "
       "KTX_SMI_FILE_READ_DIRECT(File=1, StartAddr=0, EndAddr=400, Addr=200, ByteCount=200, Status=1)"},
      {"FILE_WRITE_FLASH answer", answer(0xB2, "C1 D1", 207, KTX_SMI_FILE_WRITE_FLASH, "00000002 0000000C 00000000"),
       "KTX_RC_207 <<-- KTX_SMI_FILE_WRITE_FLASH(File=2, CountDown=12, ErrorCount=0)"},
      {"SET request", request("COM4", KTX_SMI_SET, "00 09 03"), "-->> KTX_SMI_SET(KTX_SMIS_VIDEO_DISPLAY_FORMAT)"},
      {"SET of an unknown item", request("COM4", KTX_SMI_SET, "00 63"), "-->> KTX_SMI_SET(->KTX_SMIS_0063)"},
      {"SET_MODE request", request("COM4", KTX_SMI_SET_MODE, "000003E8 0000002A 00000003"),
       "-->> KTX_SMI_SET_MODE(Delay=1000, ProgramID=2A, Mode=3)"},
      {"LEARN request", request("COM4", KTX_SMI_LEARN, "000001F4"), "-->> KTX_SMI_LEARN"},
      {"unknown message", request("COM4", 0x0300, "00 01 02 03 04 05 06 07 08 09 0A 0B"),
       "-->> KTX_SMI_0x0300 00 01 02 03 04 05 06 07 08 09"},
      {"short FILE_OPEN answer", answer(0xB2, "C1 D1", 0, KTX_SMI_FILE_OPEN, "00AB"),
       "KTX_RC_OK <<-- KTX_SMI_FILE_OPEN"},
      {"unknown protocol", [](KTX_MessageSupervisor &m) { m.SetMessageId(KTX_SMI_ECHO); }, "-?\?-KTX_SMI_ECHO"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Message m = Fresh();
    c.build(*m);
    KTX_StringAscii text;
    text.SetStackVariable();
    m->FormatText(text);
    EXPECT_STREQ(text.GetText(), c.text);
  }
}
