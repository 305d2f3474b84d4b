#include "link/MessageSupervisor.h"

#include "buffers/Crc32.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

std::atomic<bool> g_bLegacyMode{false};
// Advanced under the class lock of KTX_BASE_CLASS_MESSAGE_SUPERVISOR.
uint32_t g_u32SequenceCounter = 0;

// Serial framing.
constexpr uint8_t kFrameStart = 0xAA;
constexpr uint8_t kFrameEnd = 0xAB;
constexpr uint8_t kEscape = 0xA0;
constexpr uint8_t kEscapeOffset = 0x70;

// Device-id addressing.
constexpr uint8_t kNoDestinationId = 0xC1;
constexpr uint8_t kDestinationId = 0xC2;
constexpr uint8_t kNoSourceId = 0xD1;
constexpr uint8_t kSourceId = 0xD2;
constexpr uint8_t kOlderFormNoCrc = 0x00;

// Address options.
constexpr uint8_t kOptionMacInclude = 1;
constexpr uint8_t kOptionMacExclude = 2;
constexpr uint8_t kOptionBroadcastResponse = 3;
constexpr uint8_t kOptionDeviceIdInclude = 4;
constexpr uint8_t kOptionDeviceIdExclude = 5;

// Protocol byte, the largest address part and CRC, sequence, result (responses), id and length.
constexpr int32_t kMaxHeaderLength = 1 + 1 + KTX_MessageSupervisor::c_i32MaxAddressOptions * (2 + 8) + 4 + 10;

constexpr uint8_t kPackedThreeBytes = 0xFD;

void StoreBe16(uint8_t *p_pu8Out, uint16_t p_u16Value) {
  p_pu8Out[0] = static_cast<uint8_t>(p_u16Value >> 8);
  p_pu8Out[1] = static_cast<uint8_t>(p_u16Value);
}

void StoreBe32(uint8_t *p_pu8Out, uint32_t p_u32Value) {
  p_pu8Out[0] = static_cast<uint8_t>(p_u32Value >> 24);
  p_pu8Out[1] = static_cast<uint8_t>(p_u32Value >> 16);
  p_pu8Out[2] = static_cast<uint8_t>(p_u32Value >> 8);
  p_pu8Out[3] = static_cast<uint8_t>(p_u32Value);
}

uint16_t LoadBe16(const uint8_t *p_pu8In) { return static_cast<uint16_t>((p_pu8In[0] << 8) | p_pu8In[1]); }

uint32_t LoadBe32(const uint8_t *p_pu8In) {
  return (static_cast<uint32_t>(p_pu8In[0]) << 24) | (static_cast<uint32_t>(p_pu8In[1]) << 16) |
         (static_cast<uint32_t>(p_pu8In[2]) << 8) | p_pu8In[3];
}

bool IsResponse(int32_t p_i32Protocol) {
  return p_i32Protocol == KTX_PROTOCOL_RESPONSE_DEVICE_ID || p_i32Protocol == KTX_PROTOCOL_RESPONSE_OPTIONS;
}

struct ItemName {
  uint16_t u16Id;
  const char *szName;
};

constexpr ItemName kGetItemNames[] = {
    {KTX_SMIG_HARDWARE_MODEL, "KTX_SMIG_HARDWARE_MODEL"},
    {KTX_SMIG_HARDWARE_VERSION, "KTX_SMIG_HARDWARE_VERSION"},
    {KTX_SMIG_DEVICE_ID, "KTX_SMIG_DEVICE_ID"},
    {KTX_SMIG_MANUFACTURE_DATE, "KTX_SMIG_MANUFACTURE_DATE"},
    {KTX_SMIG_RTC_SERIAL_NUMBER, "KTX_SMIG_RTC_SERIAL_NUMBER"},
    {KTX_SMIG_FLASH_SERIAL_NUMBER, "KTX_SMIG_FLASH_SERIAL_NUMBER"},
    {KTX_SMIG_DRAM_BYTE_COUNT, "KTX_SMIG_DRAM_BYTE_COUNT"},
    {KTX_SMIG_ANALOG_VIDEO_OUTPUT, "KTX_SMIG_ANALOG_VIDEO_OUTPUT"},
    {KTX_SMIG_LENS_SIZE, "KTX_SMIG_LENS_SIZE"},
    {KTX_SMIG_CONNECTOR_PIN_OUT, "KTX_SMIG_CONNECTOR_PIN_OUT"},
    {KTX_SMIG_ETHERNET_MAC_ADDRESS, "KTX_SMIG_ETHERNET_MAC_ADDRESS"},
    {KTX_SMIG_DESCRIPTION_1, "KTX_SMIG_DESCRIPTION_1"},
    {KTX_SMIG_DESCRIPTION_2, "KTX_SMIG_DESCRIPTION_2"},
    {KTX_SMIG_DESCRIPTION_3, "KTX_SMIG_DESCRIPTION_3"},
    {KTX_SMIG_DESCRIPTION_4, "KTX_SMIG_DESCRIPTION_4"},
    {KTX_SMIG_DESCRIPTION_5, "KTX_SMIG_DESCRIPTION_5"},
    {KTX_SMIG_DESCRIPTION_6, "KTX_SMIG_DESCRIPTION_6"},
    {KTX_SMIG_DESCRIPTION_7, "KTX_SMIG_DESCRIPTION_7"},
    {KTX_SMIG_DESCRIPTION_8, "KTX_SMIG_DESCRIPTION_8"},
    {KTX_SMIG_TIME_LAST_BOOT, "KTX_SMIG_TIME_LAST_BOOT"},
    {KTX_SMIG_TIME_LAST_MODE_CHANGE, "KTX_SMIG_TIME_LAST_MODE_CHANGE"},
    {KTX_SMIG_PROGRAM_ID, "KTX_SMIG_PROGRAM_ID"},
    {KTX_SMIG_PROGRAM_MODE, "KTX_SMIG_PROGRAM_MODE"},
    {KTX_SMIG_BOOT_LOADER_VERSION, "KTX_SMIG_BOOT_LOADER_VERSION"},
    {KTX_SMIG_OPERATING_SYSTEM_VERSION, "KTX_SMIG_OPERATING_SYSTEM_VERSION"},
    {KTX_SMIG_SOFTWARE_VERSION, "KTX_SMIG_SOFTWARE_VERSION"},
    {KTX_SMIG_TIME_OF_COMPILE, "KTX_SMIG_TIME_OF_COMPILE"},
    {KTX_SMIG_CURRENT_SOFTWARE, "KTX_SMIG_CURRENT_SOFTWARE"},
    {KTX_SMIG_TICK_MS, "KTX_SMIG_TICK_MS"},
    {KTX_SMIG_TICK_US, "KTX_SMIG_TICK_US"},
    {KTX_SMIG_TIME, "KTX_SMIG_TIME"},
    {KTX_SMIG_LOAD_INDEX_BASIC, "KTX_SMIG_LOAD_INDEX_BASIC"},
    {KTX_SMIG_BURN_IN_LOOP_COUNT, "KTX_SMIG_BURN_IN_LOOP_COUNT"},
    {KTX_SMIG_BURN_IN_TOTAL_TIME_SECONDS, "KTX_SMIG_BURN_IN_TOTAL_TIME_SECONDS"},
    {KTX_SMIG_VIDEO_SIGNAL_INTEGRITY, "KTX_SMIG_VIDEO_SIGNAL_INTEGRITY"},
    {KTX_SMIG_STATISTICS, "KTX_SMIG_STATISTICS"},
    {KTX_SMIG_CAMERA_REGISTER, "KTX_SMIG_CAMERA_REGISTER"},
};

constexpr ItemName kSetItemNames[] = {
    {KTX_SMIS_INVALID, "KTX_SMIS_INVALID"},
    {KTX_SMIS_TIME, "KTX_SMIS_TIME"},
    {KTX_SMIS_SRAM_CLEAR_USER, "KTX_SMIS_SRAM_CLEAR_USER"},
    {KTX_SMIS_SRAM_CLEAR_EXTENDED, "KTX_SMIS_SRAM_CLEAR_EXTENDED"},
    {KTX_SMIS_VIDEO_STATS_RESET, "KTX_SMIS_VIDEO_STATS_RESET"},
    {KTX_SMIS_ZERO_FLASH_CONFIG, "KTX_SMIS_ZERO_FLASH_CONFIG"},
    {KTX_SMIS_ZERO_FLASH_CONFIG_AND_SRAM, "KTX_SMIS_ZERO_FLASH_CONFIG_AND_SRAM"},
    {KTX_SMIS_VIDEO_APPLY_CAMERA_DEFAULTS, "KTX_SMIS_VIDEO_APPLY_CAMERA_DEFAULTS"},
    {KTX_SMIS_VIDEO_DISPLAY_FORMAT, "KTX_SMIS_VIDEO_DISPLAY_FORMAT"},
    {KTX_SMIS_CAMERA_REGISTER, "KTX_SMIS_CAMERA_REGISTER"},
};

constexpr ItemName kMessageNames[] = {
    {KTX_SMI_HELLO, "KTX_SMI_HELLO"},
    {KTX_SMI_ECHO, "KTX_SMI_ECHO"},
    {KTX_SMI_GET, "KTX_SMI_GET"},
    {KTX_SMI_FILE_OPEN, "KTX_SMI_FILE_OPEN"},
    {KTX_SMI_FILE_CLOSE, "KTX_SMI_FILE_CLOSE"},
    {KTX_SMI_FILE_WRITE_DIRECT, "KTX_SMI_FILE_WRITE_DIRECT"},
    {KTX_SMI_FILE_READ_DIRECT, "KTX_SMI_FILE_READ_DIRECT"},
    {KTX_SMI_FILE_WRITE_FLASH, "KTX_SMI_FILE_WRITE_FLASH"},
    {KTX_SMI_LEARN, "KTX_SMI_LEARN"},
    {KTX_SMI_SET, "KTX_SMI_SET"},
    {KTX_SMI_SET_MODE, "KTX_SMI_SET_MODE"},
};

template <size_t N> const char *FindName(const ItemName (&p_raoTable)[N], uint16_t p_u16Id) {
  for (const ItemName &item : p_raoTable) {
    if (item.u16Id == p_u16Id) {
      return item.szName;
    }
  }
  return nullptr;
}

// The results a log line names; any other shows as its number.
const char *ResultName(int32_t p_i32Code) {
  switch (p_i32Code) {
  case KTX_RC_OK:
  case KTX_RC_INVALID_PARAMETER:
  case KTX_RC_OPERATION_FAILED:
  case KTX_RC_OPERATION_NOT_PERMITTED:
  case KTX_RC_OPERATION_NOT_IMPLEMENTED_YET:
  case KTX_RC_ABORTING:
  case KTX_RC_ABORTED:
  case KTX_RC_BUFFER_EMPTY:
  case KTX_RC_FILE_TOO_MANY_FILES_ALREADY_OPEN:
  case KTX_RC_FILE_CONFLICTING_FILE_ALREADY_OPEN:
  case KTX_RC_STATE_MACHINE_IN_PROGRESS:
    return GetReturnCodeText(p_i32Code);
  default:
    return nullptr;
  }
}

// Reads big-endian fields from a byte range without ever passing its end.
class FieldReader {
public:
  FieldReader(const uint8_t *p_pu8Data, int32_t p_i32Count)
      : c_pu8Data(p_pu8Data), c_i32Left(p_i32Count > 0 ? p_i32Count : 0) {}
  bool Has(int32_t p_i32Count) const { return c_i32Left >= p_i32Count; }
  uint8_t U8() { return Has(1) ? Take(1)[0] : 0; }
  uint16_t U16() { return Has(2) ? LoadBe16(Take(2)) : 0; }
  uint32_t U32() { return Has(4) ? LoadBe32(Take(4)) : 0; }
  const uint8_t *Take(int32_t p_i32Count) {
    const uint8_t *p = c_pu8Data;
    c_pu8Data += p_i32Count;
    c_i32Left -= p_i32Count;
    return p;
  }
  int32_t Left() const { return c_i32Left; }

private:
  const uint8_t *c_pu8Data;
  int32_t c_i32Left;
};

void AppendField(KTX_StringAscii &p_roText, const char *p_szLabel, uint32_t p_u32Value, bool p_bDecimal = false) {
  p_roText.Append(p_szLabel);
  if (p_bDecimal) {
    p_roText.AppendDecimal(p_u32Value, false);
  } else {
    p_roText.AppendHex32(p_u32Value, false);
  }
}

} // namespace

KTX_MessageSupervisor::KTX_MessageSupervisor()
    : KTX_Message(KTX_BASE_CLASS_MESSAGE_SUPERVISOR), c_i32Protocol(0), c_u16MessageId(KTX_SMI_NONE),
      c_i32MessageStart(0), c_i32PayloadStart(0), c_i32WritePosition(0), c_i32ReadPosition(0), c_i32HeaderLength(0),
      c_i32PayloadLength(0), c_i32TrailingLength(0), c_bWriteOverflow(false), c_bInFrame(false), c_i32Received(0),
      c_oPackedWindow(nullptr, 0), c_au8Buffer{} {
  c_oPackedWindow.SetStackVariable();
  Reset();
}

KTX_MessageSupervisor::~KTX_MessageSupervisor() = default;

void KTX_MessageSupervisor::Delete() {
  DeregisterAllChildren();
  KTX_Message::Delete();
}

KTX_MessageSupervisor *KTX_MessageSupervisor::NewMessage() { return new (std::nothrow) KTX_MessageSupervisor(); }

void KTX_MessageSupervisor::Reset() {
  std::memset(c_au8Buffer, 0, sizeof c_au8Buffer);
  c_i32HeaderLength = 0;
  c_i32PayloadLength = 0;
  c_i32TrailingLength = 0;
  c_i32PayloadStart = c_i32FreshPayloadStart;
  c_i32MessageStart = c_i32PayloadStart;
  c_i32WritePosition = c_i32PayloadStart;
  c_i32ReadPosition = c_i32PayloadStart;
  c_bWriteOverflow = false;
  c_i32Protocol = 0;
  c_i32Sequence = 0;
  c_i32SendDelay = 0;
  c_i32Retries = c_i32DefaultRetries;
  c_u16MessageId = KTX_SMI_NONE;
  c_bInFrame = false;
  c_i32Received = 0;
}

uint16_t KTX_MessageSupervisor::NextSequence() {
  KTX_ClassLockGuard guard(KTX_BASE_CLASS_MESSAGE_SUPERVISOR);
  ++g_u32SequenceCounter;
  if ((g_u32SequenceCounter & 0xFFu) == 0) {
    ++g_u32SequenceCounter;
  }
  return static_cast<uint16_t>(g_u32SequenceCounter);
}

void KTX_MessageSupervisor::SetLegacyMode(bool p_bLegacy) { g_bLegacyMode.store(p_bLegacy); }

bool KTX_MessageSupervisor::GetLegacyMode() { return g_bLegacyMode.load(); }

// ---------------------------------------------------------------- payload writers

int32_t KTX_MessageSupervisor::WriteSpace(int32_t p_i32Count) {
  const int32_t limit = c_i32BufferSize - c_i32PayloadReserve;
  if (c_bWriteOverflow || p_i32Count < 0 || c_i32WritePosition > limit || p_i32Count > limit - c_i32WritePosition) {
    c_bWriteOverflow = true;
    c_i32WritePosition = c_i32BufferSize;
    return KTX_RC_BUFFER_OVERFLOW;
  }
  return KTX_RC_OK;
}

uint8_t *KTX_MessageSupervisor::ReservePayload(int32_t p_i32Count) {
  if (WriteSpace(p_i32Count) != KTX_RC_OK) {
    return nullptr;
  }
  uint8_t *space = c_au8Buffer + c_i32WritePosition;
  c_i32WritePosition += p_i32Count;
  c_i32PayloadLength = c_i32WritePosition - c_i32PayloadStart;
  return space;
}

int32_t KTX_MessageSupervisor::PutUint8(uint8_t p_u8Value) { return PutBytes(&p_u8Value, 1); }

int32_t KTX_MessageSupervisor::PutUint16(uint16_t p_u16Value) {
  uint8_t bytes[2];
  StoreBe16(bytes, p_u16Value);
  return PutBytes(bytes, 2);
}

int32_t KTX_MessageSupervisor::PutUint32(uint32_t p_u32Value) {
  uint8_t bytes[4];
  StoreBe32(bytes, p_u32Value);
  return PutBytes(bytes, 4);
}

int32_t KTX_MessageSupervisor::PutBytes(const uint8_t *p_pu8Data, int32_t p_i32Count) {
  if (p_pu8Data == nullptr && p_i32Count > 0) {
    return KTX_RC_INVALID_PARAMETER;
  }
  uint8_t *space = ReservePayload(p_i32Count);
  if (space == nullptr) {
    return KTX_RC_BUFFER_OVERFLOW;
  }
  if (p_i32Count > 0) {
    std::memcpy(space, p_pu8Data, static_cast<size_t>(p_i32Count));
  }
  return KTX_RC_OK;
}

int32_t KTX_MessageSupervisor::PutPackedUint32(uint32_t p_u32Value) {
  if (WriteSpace(0) != KTX_RC_OK) {
    return KTX_RC_BUFFER_OVERFLOW;
  }
  const int32_t limit = c_i32BufferSize - c_i32PayloadReserve;
  c_oPackedWindow.Attach(c_au8Buffer + c_i32WritePosition, static_cast<uint32_t>(limit - c_i32WritePosition));
  const int32_t rc = c_oPackedWindow.WritePackedUint32(p_u32Value);
  const int32_t written = static_cast<int32_t>(c_oPackedWindow.GetWritePosition());
  c_oPackedWindow.Attach(nullptr, 0);
  if (rc != KTX_RC_OK) {
    c_bWriteOverflow = true;
    c_i32WritePosition = c_i32BufferSize;
    return KTX_RC_BUFFER_OVERFLOW;
  }
  c_i32WritePosition += written;
  c_i32PayloadLength = c_i32WritePosition - c_i32PayloadStart;
  return KTX_RC_OK;
}

int32_t KTX_MessageSupervisor::PutPackedPair(uint32_t p_u32First, uint32_t p_u32Second) {
  const int32_t rc = PutPackedUint32(p_u32First);
  return rc != KTX_RC_OK ? rc : PutPackedUint32(p_u32Second);
}

// ---------------------------------------------------------------- payload readers

const uint8_t *KTX_MessageSupervisor::ReadSpace(int32_t p_i32Count) {
  const int32_t end = c_i32PayloadStart + c_i32PayloadLength;
  if (p_i32Count < 0 || c_i32ReadPosition > end || p_i32Count > end - c_i32ReadPosition) {
    c_i32ReadPosition = end;
    return nullptr;
  }
  const uint8_t *data = c_au8Buffer + c_i32ReadPosition;
  c_i32ReadPosition += p_i32Count;
  return data;
}

int32_t KTX_MessageSupervisor::GetUint8(uint8_t *p_pu8Value) {
  if (p_pu8Value == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint8_t *data = ReadSpace(1);
  if (data == nullptr) {
    return KTX_RC_BUFFER_EMPTY;
  }
  *p_pu8Value = data[0];
  return KTX_RC_OK;
}

int32_t KTX_MessageSupervisor::GetUint16(uint16_t *p_pu16Value) {
  if (p_pu16Value == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint8_t *data = ReadSpace(2);
  if (data == nullptr) {
    return KTX_RC_BUFFER_EMPTY;
  }
  *p_pu16Value = LoadBe16(data);
  return KTX_RC_OK;
}

int32_t KTX_MessageSupervisor::GetUint32(uint32_t *p_pu32Value) {
  if (p_pu32Value == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint8_t *data = ReadSpace(4);
  if (data == nullptr) {
    return KTX_RC_BUFFER_EMPTY;
  }
  *p_pu32Value = LoadBe32(data);
  return KTX_RC_OK;
}

int32_t KTX_MessageSupervisor::GetPackedUint32(uint32_t *p_pu32Value) {
  if (p_pu32Value == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const int32_t available = c_i32PayloadStart + c_i32PayloadLength - c_i32ReadPosition;
  if (available <= 0) {
    ReadSpace(1);
    return KTX_RC_BUFFER_EMPTY;
  }
  if (c_au8Buffer[c_i32ReadPosition] == kPackedThreeBytes) {
    // Messages also carry a 24-bit form that the buffers never write.
    const uint8_t *data = ReadSpace(4);
    if (data == nullptr) {
      return KTX_RC_BUFFER_EMPTY;
    }
    *p_pu32Value = (static_cast<uint32_t>(LoadBe16(data + 1)) << 8) | data[3];
    return KTX_RC_OK;
  }
  c_oPackedWindow.Attach(c_au8Buffer + c_i32ReadPosition, static_cast<uint32_t>(available));
  uint32_t value = 0;
  const int32_t rc = c_oPackedWindow.ReadPackedUint32(&value);
  const int32_t consumed = static_cast<int32_t>(c_oPackedWindow.GetReadPosition());
  c_oPackedWindow.Attach(nullptr, 0);
  if (rc != KTX_RC_OK) {
    ReadSpace(available + 1);
    return KTX_RC_BUFFER_EMPTY;
  }
  ReadSpace(consumed);
  *p_pu32Value = value;
  return KTX_RC_OK;
}

int32_t KTX_MessageSupervisor::ExpectPackedUint32(uint32_t p_u32Value) {
  uint32_t value = 0;
  const int32_t rc = GetPackedUint32(&value);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  return value == p_u32Value ? KTX_RC_OK : KTX_RC_INVALID_PARAMETER;
}

int32_t KTX_MessageSupervisor::GetBytes(uint8_t *p_pu8Out, int32_t p_i32Count) {
  if (p_pu8Out == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint8_t *data = ReadSpace(p_i32Count);
  if (data == nullptr) {
    return KTX_RC_BUFFER_EMPTY;
  }
  if (p_i32Count > 0) {
    std::memcpy(p_pu8Out, data, static_cast<size_t>(p_i32Count));
  }
  return KTX_RC_OK;
}

const uint8_t *KTX_MessageSupervisor::GetPayloadPointer(int32_t p_i32Count) { return ReadSpace(p_i32Count); }

// ---------------------------------------------------------------- encoding

uint32_t KTX_MessageSupervisor::MessageCrc(const uint8_t *p_pu8Message, int32_t p_i32Length, int32_t p_i32CrcAt,
                                           uint32_t p_u32Start) {
  uint32_t crc = KTX_Crc32Update(p_u32Start, p_pu8Message, static_cast<size_t>(p_i32CrcAt));
  return KTX_Crc32Update(crc, p_pu8Message + p_i32CrcAt + 4, static_cast<size_t>(p_i32Length - p_i32CrcAt - 4));
}

int32_t KTX_MessageSupervisor::BuildHeader(uint8_t *p_pu8Header, int32_t *p_pi32Length, int32_t *p_pi32CrcAt,
                                           int32_t *p_pi32SequenceAt, bool p_bResponse, int32_t p_i32Result) {
  // p_pu8Header holds kMaxHeaderLength bytes: the option count is checked
  // before any option is written.
  int32_t n = 0;
  p_pu8Header[n++] = static_cast<uint8_t>(c_i32Protocol);
  *p_pi32CrcAt = -1;
  if (GetLegacyMode()) {
    p_pu8Header[n++] = 0;
    p_pu8Header[n++] = 0;
  } else {
    if (c_i32Protocol == KTX_PROTOCOL_REQUEST_DEVICE_ID || c_i32Protocol == KTX_PROTOCOL_RESPONSE_DEVICE_ID) {
      if (c_oDestination.HasDeviceId()) {
        p_pu8Header[n++] = kDestinationId;
        std::memcpy(p_pu8Header + n, c_oDestination.GetDeviceId().data(), KTX_DeviceAddress::c_i32DeviceIdSize);
        n += KTX_DeviceAddress::c_i32DeviceIdSize;
      } else {
        p_pu8Header[n++] = kNoDestinationId;
      }
      if (c_oSource.HasDeviceId()) {
        p_pu8Header[n++] = kSourceId;
        std::memcpy(p_pu8Header + n, c_oSource.GetDeviceId().data(), KTX_DeviceAddress::c_i32DeviceIdSize);
        n += KTX_DeviceAddress::c_i32DeviceIdSize;
      } else {
        p_pu8Header[n++] = kNoSourceId;
      }
    } else if (c_i32Protocol == KTX_PROTOCOL_REQUEST_OPTIONS || c_i32Protocol == KTX_PROTOCOL_RESPONSE_OPTIONS) {
      const uint32_t count = static_cast<uint32_t>(c_oDestination.GetExcludedDeviceIdCount()) +
                             (c_oDestination.HasDeviceId() ? 1u : 0u) +
                             (c_oDestination.GetBroadcastResponse() ? 1u : 0u);
      if (count > static_cast<uint32_t>(c_i32MaxAddressOptions)) {
        KTX_LOG(KTX_ERROR, "MsgSupervisor - Maximum address option count limit exceeded (%u)", count);
        return KTX_RC_INTERNAL_OVERFLOW;
      }
      p_pu8Header[n++] = static_cast<uint8_t>(count);
      for (const KTX_DeviceAddress::DeviceId &id : c_oDestination.GetExcludedDeviceIds()) {
        p_pu8Header[n++] = kOptionDeviceIdExclude;
        p_pu8Header[n++] = KTX_DeviceAddress::c_i32DeviceIdSize;
        std::memcpy(p_pu8Header + n, id.data(), KTX_DeviceAddress::c_i32DeviceIdSize);
        n += KTX_DeviceAddress::c_i32DeviceIdSize;
      }
      if (c_oDestination.HasDeviceId()) {
        p_pu8Header[n++] = kOptionDeviceIdInclude;
        p_pu8Header[n++] = KTX_DeviceAddress::c_i32DeviceIdSize;
        std::memcpy(p_pu8Header + n, c_oDestination.GetDeviceId().data(), KTX_DeviceAddress::c_i32DeviceIdSize);
        n += KTX_DeviceAddress::c_i32DeviceIdSize;
      }
      if (c_oDestination.GetBroadcastResponse()) {
        p_pu8Header[n++] = kOptionBroadcastResponse;
        p_pu8Header[n++] = 0;
      }
    } else {
      KTX_LOG(KTX_ERROR, "MsgSupervisor - Unknown message protocol 0x%02X", static_cast<unsigned>(c_i32Protocol));
    }
    *p_pi32CrcAt = n;
    n += 4;
  }
  // Sequence (filled in once the message is known to fit), the result of a
  // response, id, payload length.
  *p_pi32SequenceAt = n;
  n += 2;
  if (p_bResponse) {
    StoreBe32(p_pu8Header + n, static_cast<uint32_t>(p_i32Result));
    n += 4;
  }
  StoreBe16(p_pu8Header + n, c_u16MessageId);
  n += 2;
  StoreBe16(p_pu8Header + n, static_cast<uint16_t>(c_i32PayloadLength));
  n += 2;
  *p_pi32Length = n;
  return KTX_RC_OK;
}

int32_t KTX_MessageSupervisor::Encode() {
  return EncodeAs(c_oDestination.GetKind() == KTX_ADDRESS_ETHERNET ? KTX_PROTOCOL_REQUEST_OPTIONS
                                                                   : KTX_PROTOCOL_REQUEST_DEVICE_ID,
                  false, 0, 0);
}

int32_t KTX_MessageSupervisor::EncodeResponse(int32_t p_i32RequestProtocol, uint16_t p_u16Sequence,
                                              int32_t p_i32Result) {
  if (p_i32RequestProtocol != KTX_PROTOCOL_REQUEST_DEVICE_ID && p_i32RequestProtocol != KTX_PROTOCOL_REQUEST_OPTIONS) {
    return KTX_RC_INVALID_PARAMETER;
  }
  return EncodeAs(p_i32RequestProtocol + 1, true, p_u16Sequence, p_i32Result);
}

int32_t KTX_MessageSupervisor::EncodeAs(int32_t p_i32Protocol, bool p_bResponse, uint16_t p_u16Sequence,
                                        int32_t p_i32Result) {
  if (c_bWriteOverflow) {
    // The payload is incomplete; its writer already reported the overflow.
    return KTX_RC_BUFFER_OVERFLOW;
  }
  c_i32Protocol = p_i32Protocol;
  uint8_t header[kMaxHeaderLength];
  int32_t headerLength = 0;
  int32_t crcAt = -1;
  int32_t sequenceAt = 0;
  const int32_t rc = BuildHeader(header, &headerLength, &crcAt, &sequenceAt, p_bResponse, p_i32Result);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  const int32_t total = headerLength + c_i32PayloadLength;
  if (total > c_i32BufferSize) {
    KTX_LOG(KTX_ERROR, "MsgSupervisor - Message size overflow; %u bytes",
            static_cast<unsigned>(total - c_i32BufferSize));
    return KTX_RC_BUFFER_OVERFLOW;
  }
  if (headerLength > c_i32PayloadStart) {
    // Not enough room in front: move the payload towards the buffer's end.
    int32_t start = c_i32PayloadStart;
    while (start < headerLength) {
      start += c_i32MoveStep;
    }
    if (start + c_i32PayloadLength > c_i32BufferSize) {
      start = c_i32BufferSize - c_i32PayloadLength;
    }
    std::memmove(c_au8Buffer + start, c_au8Buffer + c_i32PayloadStart, static_cast<size_t>(c_i32PayloadLength));
    const int32_t shift = start - c_i32PayloadStart;
    c_i32PayloadStart = start;
    c_i32WritePosition += shift;
    c_i32ReadPosition += shift;
  }
  c_i32Sequence = p_bResponse ? p_u16Sequence : NextSequence();
  StoreBe16(header + sequenceAt, static_cast<uint16_t>(c_i32Sequence));
  c_i32MessageStart = c_i32PayloadStart - headerLength;
  std::memcpy(c_au8Buffer + c_i32MessageStart, header, static_cast<size_t>(headerLength));
  c_i32HeaderLength = headerLength;
  c_i32TrailingLength = 0;
  if (crcAt >= 0) {
    uint8_t *message = c_au8Buffer + c_i32MessageStart;
    StoreBe32(message + crcAt, MessageCrc(message, total, crcAt, c_u32CrcStart));
  }
  return KTX_RC_OK;
}

int32_t KTX_MessageSupervisor::Frame(uint8_t *p_pu8Out, int32_t p_i32Capacity, int32_t *p_pi32Length) {
  if (p_pi32Length != nullptr) {
    *p_pi32Length = 0;
  }
  const int32_t length = GetMessageLength();
  if (p_pu8Out == nullptr || p_pi32Length == nullptr || p_i32Capacity < 2 * length + 2) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint8_t *message = GetMessageData();
  int32_t n = 0;
  p_pu8Out[n++] = kFrameStart;
  for (int32_t i = 0; i < length; ++i) {
    const uint8_t b = message[i];
    if (b == kEscape || b == kFrameStart || b == kFrameEnd) {
      p_pu8Out[n++] = kEscape;
      p_pu8Out[n++] = static_cast<uint8_t>(b - kEscapeOffset);
    } else {
      p_pu8Out[n++] = b;
    }
  }
  p_pu8Out[n++] = kFrameEnd;
  *p_pi32Length = n;
  return KTX_RC_OK;
}

// ---------------------------------------------------------------- receiving

int32_t KTX_MessageSupervisor::Deframe(const uint8_t *p_pu8Data, int32_t p_i32Count, int32_t *p_pi32Consumed) {
  if (p_pi32Consumed != nullptr) {
    *p_pi32Consumed = 0;
  }
  if (p_pu8Data == nullptr || p_pi32Consumed == nullptr || p_i32Count < 0) {
    return KTX_RC_INVALID_PARAMETER;
  }
  int32_t i = 0;
  bool ended = false;
  while (i < p_i32Count && !ended) {
    const uint8_t b = p_pu8Data[i];
    if (!c_bInFrame) {
      ++i;
      if (b == kFrameStart) {
        Reset();
        c_bInFrame = true;
      }
      continue;
    }
    uint8_t stored = b;
    if (b == kEscape) {
      if (i + 1 >= p_i32Count) {
        // The escaped byte has not arrived: leave the escape for the next call.
        break;
      }
      stored = static_cast<uint8_t>(p_pu8Data[i + 1] + kEscapeOffset);
      i += 2;
    } else {
      ++i;
      if (b == kFrameStart) {
        Reset();
        c_bInFrame = true;
        continue;
      }
      if (b == kFrameEnd) {
        c_bInFrame = false;
        ended = true;
        continue;
      }
    }
    if (c_i32Received >= c_i32BufferSize) {
      // Longer than any message: drop the frame and wait for the next start.
      Reset();
      continue;
    }
    c_au8Buffer[c_i32Received++] = stored;
  }
  *p_pi32Consumed = i;
  if (i > 0 && DebugLevelEnabled(KTX_MSG_RAW)) {
    KTX_StringAscii hex;
    hex.SetStackVariable();
    hex.AppendHexBytes(p_pu8Data, i);
    KTX_LOG(KTX_MSG_RAW, "RecvRaw[%3d]  <<-- %s", static_cast<int>(i), hex.GetText());
  }
  return ended ? KTX_RC_OK : KTX_RC_BUFFER_EMPTY;
}

int32_t KTX_MessageSupervisor::DecodeDeviceIdAddress(int32_t p_i32Length, int32_t &p_ri32Position, bool &p_rbHasCrc) {
  const uint8_t *m = c_au8Buffer;
  constexpr int32_t idSize = KTX_DeviceAddress::c_i32DeviceIdSize;
  if (p_ri32Position >= p_i32Length) {
    return KTX_RC_BUFFER_EMPTY;
  }
  const uint8_t destination = m[p_ri32Position++];
  if (destination == kNoDestinationId) {
    c_oDestination.SetDeviceId(KTX_DeviceAddress::DeviceId{});
  } else if (destination == kDestinationId) {
    if (p_i32Length - p_ri32Position < idSize) {
      return KTX_RC_BUFFER_EMPTY;
    }
    KTX_DeviceAddress::DeviceId id;
    std::memcpy(id.data(), m + p_ri32Position, idSize);
    c_oDestination.SetDeviceId(id);
    p_ri32Position += idSize;
  } else {
    return KTX_RC_OK;
  }
  if (p_ri32Position >= p_i32Length) {
    return KTX_RC_BUFFER_EMPTY;
  }
  const uint8_t source = m[p_ri32Position++];
  if (source == kSourceId) {
    if (p_i32Length - p_ri32Position < idSize) {
      return KTX_RC_BUFFER_EMPTY;
    }
    KTX_DeviceAddress::DeviceId id;
    std::memcpy(id.data(), m + p_ri32Position, idSize);
    c_oSource.SetDeviceId(id);
    p_ri32Position += idSize;
  } else if (source == kOlderFormNoCrc) {
    if (p_ri32Position >= p_i32Length) {
      return KTX_RC_BUFFER_EMPTY;
    }
    ++p_ri32Position;
    // The older form has no CRC field.
    p_rbHasCrc = false;
  }
  return KTX_RC_OK;
}

int32_t KTX_MessageSupervisor::DecodeAddressOptions(int32_t p_i32Length, int32_t &p_ri32Position) {
  const uint8_t *m = c_au8Buffer;
  if (p_ri32Position >= p_i32Length) {
    return KTX_RC_BUFFER_EMPTY;
  }
  const int32_t count = m[p_ri32Position++];
  // The wizard has no MAC address or device id of its own: both compare as zeros
  // unless a local identity was set (a sensor's).
  for (int32_t i = 0; i < count; ++i) {
    if (p_i32Length - p_ri32Position < 2) {
      return KTX_RC_BUFFER_EMPTY;
    }
    const uint8_t type = m[p_ri32Position];
    const uint8_t length = m[p_ri32Position + 1];
    p_ri32Position += 2;
    if (p_i32Length - p_ri32Position < length) {
      return KTX_RC_BUFFER_EMPTY;
    }
    const uint8_t *data = m + p_ri32Position;
    p_ri32Position += length;
    switch (type) {
    case kOptionMacInclude:
    case kOptionMacExclude: {
      if (length != KTX_DeviceAddress::c_i32MacSize) {
        KTX_LOG(KTX_ERROR,
                type == kOptionMacInclude
                    ? "MsgSupervisor - MAC include filter contains invalid MAC length %u; ignoring MAC"
                    : "MsgSupervisor - Mac exclude filter contains invalid MAC length %u; ignoring MAC",
                static_cast<unsigned>(length));
        break;
      }
      const bool same = std::memcmp(data, c_au8LocalMac.data(), KTX_DeviceAddress::c_i32MacSize) == 0;
      if (type == kOptionMacInclude ? same : !same) {
        break;
      }
      if (DebugLevelEnabled(KTX_DBG1)) {
        KTX_StringAscii own;
        KTX_StringAscii option;
        own.SetStackVariable();
        option.SetStackVariable();
        KTX_DeviceAddress::MacAddress mac = c_au8LocalMac;
        KTX_DeviceAddress::MacToText(mac, own);
        std::memcpy(mac.data(), data, KTX_DeviceAddress::c_i32MacSize);
        KTX_DeviceAddress::MacToText(mac, option);
        KTX_LOG(KTX_DBG1,
                type == kOptionMacInclude ? "MsgSupervisor - MAC include filter ignoring message; %s != %s"
                                          : "MsgSupervisor - MAC exclude filter ignoring message; %s == %s",
                own.GetText(), option.GetText());
      }
      return KTX_RC_MESSAGE_FILTERED;
    }
    case kOptionBroadcastResponse: {
      // The reply goes to everyone, on the port the request came from.
      const uint16_t port = c_oSource.GetPort();
      const uint8_t everyone[4] = {255, 255, 255, 255};
      c_oSource.SetIpv4(everyone, port);
      c_oSource.SetBroadcast(true);
      break;
    }
    case kOptionDeviceIdInclude:
    case kOptionDeviceIdExclude: {
      if (length != KTX_DeviceAddress::c_i32DeviceIdSize) {
        KTX_LOG(KTX_ERROR,
                type == kOptionDeviceIdInclude
                    ? "MsgSupervisor - DeviceID include filter contains invalid length %u; ignoring filter"
                    : "MsgSupervisor - DeviceID exclude filter contains invalid length %u; ignoring filter",
                static_cast<unsigned>(length));
        break;
      }
      const bool same = std::memcmp(data, c_au8LocalId.data(), KTX_DeviceAddress::c_i32DeviceIdSize) == 0;
      if (type == kOptionDeviceIdInclude ? same : !same) {
        break;
      }
      if (DebugLevelEnabled(KTX_DBG1)) {
        KTX_StringAscii own;
        KTX_StringAscii option;
        own.SetStackVariable();
        option.SetStackVariable();
        KTX_DeviceAddress::DeviceIdToText(c_au8LocalId.data(), KTX_DeviceAddress::c_i32DeviceIdSize, own);
        KTX_DeviceAddress::DeviceIdToText(data, length, option);
        KTX_LOG(KTX_DBG1,
                type == kOptionDeviceIdInclude ? "MsgSupervisor - DeviceID include filter ignoring message; %s != %s"
                                               : "MsgSupervisor - DeviceID exclude filter ignoring message; %s == %s",
                own.GetText(), option.GetText());
      }
      return KTX_RC_MESSAGE_FILTERED;
    }
    default:
      KTX_LOG(KTX_INFO, "MsgSupervisor - Ignoring unknown address option 0x%02X; Len=0x%02X",
              static_cast<unsigned>(type), static_cast<unsigned>(length));
      break;
    }
  }
  return KTX_RC_OK;
}

int32_t KTX_MessageSupervisor::Decode(int32_t p_i32Length) {
  if (p_i32Length <= 0) {
    return KTX_RC_BUFFER_EMPTY;
  }
  if (p_i32Length > c_i32BufferSize) {
    Reset();
    return KTX_RC_MESSAGE_CORRUPTED;
  }
  const uint8_t *m = c_au8Buffer;
  c_i32Protocol = m[0];
  int32_t position = 1;
  bool hasCrc = true;
  if (c_i32Protocol == KTX_PROTOCOL_REQUEST_DEVICE_ID || c_i32Protocol == KTX_PROTOCOL_RESPONSE_DEVICE_ID) {
    const int32_t rc = DecodeDeviceIdAddress(p_i32Length, position, hasCrc);
    if (rc != KTX_RC_OK) {
      return rc;
    }
  } else if (c_i32Protocol == KTX_PROTOCOL_REQUEST_OPTIONS || c_i32Protocol == KTX_PROTOCOL_RESPONSE_OPTIONS) {
    const int32_t rc = DecodeAddressOptions(p_i32Length, position);
    if (rc != KTX_RC_OK) {
      return rc;
    }
  }
  if (hasCrc) {
    if (p_i32Length - position < 4) {
      return KTX_RC_BUFFER_EMPTY;
    }
    const uint32_t stored = LoadBe32(m + position);
    if (MessageCrc(m, p_i32Length, position, c_u32CrcStart) == stored ||
        MessageCrc(m, p_i32Length, position, 0) == stored) {
      position += 4;
    } else if (!GetLegacyMode()) {
      return KTX_RC_MESSAGE_CRC_MISMATCH;
    }
    // In legacy mode those four bytes begin the sequence field.
  }
  const int32_t fixedLength = IsResponse(c_i32Protocol) ? 2 + 4 + 2 + 2 : 2 + 2 + 2;
  if (p_i32Length - position < fixedLength) {
    return KTX_RC_BUFFER_EMPTY;
  }
  const int32_t sequence = LoadBe16(m + position);
  position += 2;
  if (IsResponse(c_i32Protocol)) {
    SetResult(static_cast<int32_t>(LoadBe32(m + position)));
    position += 4;
  }
  const uint16_t messageId = LoadBe16(m + position);
  const int32_t payloadLength = LoadBe16(m + position + 2);
  position += 4;
  if (p_i32Length - position - payloadLength != 0) {
    Reset();
    return KTX_RC_MESSAGE_CORRUPTED;
  }
  c_i32Sequence = sequence;
  c_u16MessageId = messageId;
  c_i32MessageStart = 0;
  c_i32HeaderLength = position;
  c_i32PayloadStart = position;
  c_i32PayloadLength = payloadLength;
  c_i32TrailingLength = 0;
  c_i32ReadPosition = position;
  c_i32WritePosition = position + payloadLength;
  return KTX_RC_OK;
}

// ---------------------------------------------------------------- log text

void KTX_MessageSupervisor::ToText() {
  if (!DebugLevelEnabled(KTX_MESSAGE)) {
    return;
  }
  KTX_StringAscii text;
  text.SetStackVariable();
  FormatText(text);
  KTX_LOG(KTX_MESSAGE, "%s", text.GetText());
}

void KTX_MessageSupervisor::FormatOptions(KTX_StringAscii &p_roText) {
  FieldReader options(GetMessageData() + 1, c_i32HeaderLength - 1);
  const uint8_t count = options.U8();
  p_roText.Append("(AdrOpts=");
  p_roText.AppendHex8(count, false);
  for (int32_t i = 0; i < count && options.Has(2); ++i) {
    p_roText.Append(i == 0 ? "; " : ", ");
    const uint8_t type = options.U8();
    const uint8_t length = options.U8();
    const int32_t shown = options.Has(length) ? length : options.Left();
    const uint8_t *data = options.Take(shown);
    switch (type) {
    case kOptionMacInclude:
    case kOptionMacExclude:
      p_roText.Append(type == kOptionMacInclude ? "MacInc=" : "MacExc=");
      if (shown == KTX_DeviceAddress::c_i32MacSize) {
        KTX_DeviceAddress::MacAddress mac;
        std::memcpy(mac.data(), data, KTX_DeviceAddress::c_i32MacSize);
        KTX_StringAscii macText;
        macText.SetStackVariable();
        KTX_DeviceAddress::MacToText(mac, macText);
        p_roText.Append(macText);
      } else if (shown > 0) {
        p_roText.AppendHexBytes(data, shown);
      }
      break;
    case kOptionBroadcastResponse:
      p_roText.Append("BCastResp");
      break;
    case kOptionDeviceIdInclude:
    case kOptionDeviceIdExclude:
      p_roText.Append(type == kOptionDeviceIdInclude ? "DevIDInc=" : "DevIDExc=");
      if (shown > 0) {
        p_roText.AppendHexBytes(data, shown);
      }
      break;
    default:
      p_roText.Append("Unknown_");
      p_roText.AppendHex8(type, true);
      p_roText.Append("_Len_");
      p_roText.AppendHex8(length, true);
      break;
    }
  }
  p_roText.Append(") ");
}

void KTX_MessageSupervisor::FormatPayload(KTX_StringAscii &p_roText, bool p_bRequest) {
  FieldReader payload(c_au8Buffer + c_i32PayloadStart, c_i32PayloadLength);
  const char *name = FindName(kMessageNames, c_u16MessageId);
  if (name == nullptr) {
    p_roText.Append("KTX_SMI_0x");
    p_roText.AppendHex16(c_u16MessageId, true);
    for (int32_t i = 0; i < 10 && payload.Has(1); ++i) {
      p_roText.Append(" ");
      p_roText.AppendHex8(payload.U8(), true);
    }
    return;
  }
  p_roText.Append(name);
  switch (c_u16MessageId) {
  case KTX_SMI_GET:
    if (p_bRequest) {
      p_roText.Append("(");
      for (int32_t i = 0; payload.Has(2); ++i) {
        const uint16_t item = payload.U16();
        if (i > 0) {
          p_roText.Append(",");
        }
        const char *itemName = FindName(kGetItemNames, item);
        if (itemName != nullptr) {
          p_roText.Append(itemName);
        } else {
          p_roText.Append("->KTX_SMIG_");
          p_roText.AppendHex16(item, true);
        }
      }
      p_roText.Append(")");
    }
    break;
  case KTX_SMI_FILE_OPEN:
    if (p_bRequest && payload.Has(20)) {
      AppendField(p_roText, "(Type=", payload.U32());
      AppendField(p_roText, ", R/W=", payload.U32());
      AppendField(p_roText, ", Addr=", payload.U32());
      AppendField(p_roText, ", Min=", payload.U32());
      AppendField(p_roText, ", Max=", payload.U32());
      p_roText.Append(")");
    } else if (!p_bRequest && payload.Has(4)) {
      p_roText.Append("(File=");
      p_roText.AppendHex32(payload.U32(), true);
      p_roText.Append(")");
    }
    break;
  case KTX_SMI_FILE_CLOSE:
    if (p_bRequest && payload.Has(4)) {
      AppendField(p_roText, "(File=", payload.U32());
      p_roText.Append(")");
    }
    break;
  case KTX_SMI_FILE_WRITE_DIRECT:
  case KTX_SMI_FILE_READ_DIRECT:
    if (p_bRequest && payload.Has(12)) {
      AppendField(p_roText, "(File=", payload.U32());
      AppendField(p_roText, ", Addr=", payload.U32());
      AppendField(p_roText, ", ByteCount=", payload.U32());
      p_roText.Append(")");
    } else if (!p_bRequest && c_u16MessageId == KTX_SMI_FILE_READ_DIRECT && payload.Has(21)) {
      AppendField(p_roText, "(File=", payload.U32());
      AppendField(p_roText, ", StartAddr=", payload.U32());
      AppendField(p_roText, ", EndAddr=", payload.U32());
      AppendField(p_roText, ", Addr=", payload.U32());
      AppendField(p_roText, ", ByteCount=", payload.U32());
      AppendField(p_roText, ", Status=", payload.U8());
      p_roText.Append(")");
    }
    break;
  case KTX_SMI_FILE_WRITE_FLASH:
    if (p_bRequest && payload.Has(4)) {
      AppendField(p_roText, "(File=", payload.U32());
      p_roText.Append(")");
    } else if (!p_bRequest && payload.Has(12)) {
      AppendField(p_roText, "(File=", payload.U32());
      AppendField(p_roText, ", CountDown=", payload.U32(), true);
      AppendField(p_roText, ", ErrorCount=", payload.U32(), true);
      p_roText.Append(")");
    }
    break;
  case KTX_SMI_SET:
    if (p_bRequest && payload.Has(2)) {
      const uint16_t item = payload.U16();
      p_roText.Append("(");
      const char *itemName = FindName(kSetItemNames, item);
      if (itemName != nullptr) {
        p_roText.Append(itemName);
      } else {
        p_roText.Append("->KTX_SMIS_");
        p_roText.AppendHex16(item, true);
      }
      p_roText.Append(")");
    }
    break;
  case KTX_SMI_SET_MODE:
    if (p_bRequest && payload.Has(12)) {
      AppendField(p_roText, "(Delay=", payload.U32(), true);
      AppendField(p_roText, ", ProgramID=", payload.U32());
      AppendField(p_roText, ", Mode=", payload.U32());
      p_roText.Append(")");
    }
    break;
  default:
    break;
  }
}

void KTX_MessageSupervisor::FormatText(KTX_StringAscii &p_roText) {
  p_roText.Clear();
  bool request = true;
  switch (c_i32Protocol) {
  case KTX_PROTOCOL_REQUEST_DEVICE_ID:
    p_roText.Append("-->> ");
    break;
  case KTX_PROTOCOL_REQUEST_OPTIONS:
    p_roText.Append("-->> ");
    FormatOptions(p_roText);
    break;
  case KTX_PROTOCOL_RESPONSE_DEVICE_ID:
  case KTX_PROTOCOL_RESPONSE_OPTIONS: {
    request = false;
    const int32_t result = GetResult();
    const char *name = ResultName(result);
    if (name != nullptr) {
      p_roText.Append(name);
    } else {
      char number[24];
      std::snprintf(number, sizeof number, "KTX_RC_%d", static_cast<int>(result));
      p_roText.Append(number);
    }
    p_roText.Append(" <<-- ");
    if (c_i32Protocol == KTX_PROTOCOL_RESPONSE_OPTIONS) {
      FormatOptions(p_roText);
    }
    break;
  }
  default:
    p_roText.Append("-?\?-"); // "-??-", written so it is no trigraph
    break;
  }
  FormatPayload(p_roText, request);
}
