#include "link/DeviceAddress.h"

#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

namespace {

bool IsDigit(char p_cChar) { return p_cChar >= '0' && p_cChar <= '9'; }

int32_t HexValue(char p_cChar) {
  if (p_cChar >= '0' && p_cChar <= '9') {
    return p_cChar - '0';
  }
  if (p_cChar >= 'a' && p_cChar <= 'f') {
    return p_cChar - 'a' + 10;
  }
  if (p_cChar >= 'A' && p_cChar <= 'F') {
    return p_cChar - 'A' + 10;
  }
  return -1;
}

// Decimal digits at p_rszText, advancing past them. Reading stops at the first
// non-digit or once the value exceeds p_u32Limit, so a long run of digits can
// never overflow. Returns false when there is no digit at all.
bool ReadDecimal(const char *&p_rszText, uint32_t p_u32Limit, uint32_t &p_ru32Value) {
  if (!IsDigit(*p_rszText)) {
    return false;
  }
  uint32_t value = 0;
  while (IsDigit(*p_rszText) && value <= p_u32Limit) {
    value = value * 10 + static_cast<uint32_t>(*p_rszText - '0');
    ++p_rszText;
  }
  p_ru32Value = value;
  return true;
}

} // namespace

KTX_DeviceAddress::KTX_DeviceAddress()
    : KTX_BaseClass(KTX_BASE_CLASS_DEVICE_ADDRESS), c_i32Kind(KTX_ADDRESS_NONE), c_au8Ip{}, c_oSocketAddress{},
      c_i32FirstPort(0), c_i32LastPort(0), c_i32CurrentPort(0), c_bBroadcast(false),
      c_bBroadcastResponse(false), c_au8Mac{}, c_au8DeviceId{} {}

KTX_DeviceAddress::~KTX_DeviceAddress() = default;

void KTX_DeviceAddress::Clear() {
  c_i32Kind = KTX_ADDRESS_NONE;
  std::memset(c_au8Ip, 0, sizeof c_au8Ip);
  std::memset(&c_oSocketAddress, 0, sizeof c_oSocketAddress);
  c_i32FirstPort = 0;
  c_i32LastPort = 0;
  c_i32CurrentPort = 0;
  c_bBroadcast = false;
  c_bBroadcastResponse = false;
  c_vExcludedMacs.clear();
  c_au8DeviceId.fill(0);
  c_vExcludedDeviceIds.clear();
}

void KTX_DeviceAddress::CopyFrom(const KTX_DeviceAddress &p_roOther) {
  if (&p_roOther == this) {
    return;
  }
  c_i32Kind = p_roOther.c_i32Kind;
  std::memcpy(c_au8Ip, p_roOther.c_au8Ip, sizeof c_au8Ip);
  c_oSocketAddress = p_roOther.c_oSocketAddress;
  c_i32FirstPort = p_roOther.c_i32FirstPort;
  c_i32LastPort = p_roOther.c_i32LastPort;
  c_i32CurrentPort = p_roOther.c_i32CurrentPort;
  c_bBroadcast = p_roOther.c_bBroadcast;
  c_bBroadcastResponse = p_roOther.c_bBroadcastResponse;
  c_au8Mac = p_roOther.c_au8Mac;
  c_vExcludedMacs = p_roOther.c_vExcludedMacs;
  c_au8DeviceId = p_roOther.c_au8DeviceId;
  c_vExcludedDeviceIds = p_roOther.c_vExcludedDeviceIds;
}

int32_t KTX_DeviceAddress::Parse(const char *p_szText) {
  Clear();
  if (p_szText == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (p_szText[0] == '\0') {
    return KTX_RC_OPERATION_FAILED;
  }
  int32_t rc = KTX_RC_OK;
  if (std::strcmp(p_szText, "Offline") == 0) {
    c_i32Kind = KTX_ADDRESS_OFFLINE;
  } else if (p_szText[0] == 'c' || p_szText[0] == 'C') {
    rc = ParseSerial(p_szText);
  } else if (std::strchr(p_szText, '.') != nullptr) {
    rc = ParseEthernet(p_szText);
  }
  if (rc != KTX_RC_OK) {
    Clear();
  }
  return rc;
}

int32_t KTX_DeviceAddress::ParseSerial(const char *p_szText) {
  const bool lowerCase = p_szText[0] == 'c';
  const char *p = p_szText + 1;
  if (*p == 'o' || *p == 'O') {
    ++p;
    if (*p == 'm' || *p == 'M') {
      ++p;
    }
  }
  uint32_t first = 0;
  uint32_t last = 0;
  if (*p == '\0') {
    // A bare "COM" searches the ports a sensor is usually on; "com" searches all.
    first = lowerCase ? 1 : 3;
    last = c_i32MaxComPort;
  } else {
    if (!ReadDecimal(p, c_i32MaxComPort, first)) {
      return KTX_RC_INVALID_PARAMETER;
    }
    last = first;
    if (*p == '-') {
      ++p;
      if (!ReadDecimal(p, c_i32MaxComPort, last)) {
        return KTX_RC_INVALID_PARAMETER;
      }
    }
    if (*p != '\0') {
      return KTX_RC_INVALID_PARAMETER;
    }
  }
  if (first < 1 || first > static_cast<uint32_t>(c_i32MaxComPort) || last < first ||
      last > static_cast<uint32_t>(c_i32MaxComPort)) {
    return KTX_RC_INVALID_PARAMETER;
  }
  c_i32Kind = KTX_ADDRESS_SERIAL;
  c_i32FirstPort = static_cast<int32_t>(first);
  c_i32LastPort = static_cast<int32_t>(last);
  c_i32CurrentPort = c_i32FirstPort;
  std::memset(&c_oSocketAddress, 0, sizeof c_oSocketAddress);
  return KTX_RC_OK;
}

int32_t KTX_DeviceAddress::ParseEthernet(const char *p_szText) {
  const char *colon = std::strrchr(p_szText, ':');
  uint32_t port = 0;
  if (colon != nullptr) {
    const char *p = colon + 1;
    if (!ReadDecimal(p, 0xFFFF, port) || *p != '\0' || port > 0xFFFF) {
      return KTX_RC_INVALID_PARAMETER;
    }
  }
  const char *end = colon != nullptr ? colon : p_szText + std::strlen(p_szText);
  uint8_t octets[4];
  const char *p = p_szText;
  for (int32_t i = 0; i < 4; ++i) {
    uint32_t value = 0;
    if (!ReadDecimal(p, 255, value) || value > 255) {
      return KTX_RC_INVALID_PARAMETER;
    }
    octets[i] = static_cast<uint8_t>(value);
    const char expected = i < 3 ? '.' : '\0';
    if (i < 3) {
      if (p >= end || *p != expected) {
        return KTX_RC_INVALID_PARAMETER;
      }
      ++p;
    } else if (p != end) {
      return KTX_RC_INVALID_PARAMETER;
    }
  }
  SetIpv4(octets, static_cast<uint16_t>(port));
  return KTX_RC_OK;
}

void KTX_DeviceAddress::SetOffline() {
  Clear();
  c_i32Kind = KTX_ADDRESS_OFFLINE;
}

void KTX_DeviceAddress::SetIpv4(const uint8_t (&p_rau8Octets)[4], uint16_t p_u16Port) {
  Clear();
  c_i32Kind = KTX_ADDRESS_ETHERNET;
  std::memcpy(c_au8Ip, p_rau8Octets, sizeof c_au8Ip);
  c_oSocketAddress.sin_family = AF_INET;
  c_oSocketAddress.sin_port = htons(p_u16Port);
  // The octets in order are the address in network byte order.
  std::memcpy(&c_oSocketAddress.sin_addr, p_rau8Octets, 4);
}

uint16_t KTX_DeviceAddress::GetPort() const { return ntohs(c_oSocketAddress.sin_port); }

void KTX_DeviceAddress::SetPort(uint16_t p_u16Port) { c_oSocketAddress.sin_port = htons(p_u16Port); }

void KTX_DeviceAddress::SetSerialText(int32_t p_i32Port, KTX_StringAscii &p_roText) const {
  char text[16];
  std::snprintf(text, sizeof text, "COM%d", static_cast<int>(p_i32Port));
  p_roText.Assign(text);
}

int32_t KTX_DeviceAddress::ToString(KTX_StringAscii &p_roText) const {
  char text[32];
  switch (c_i32Kind) {
  case KTX_ADDRESS_OFFLINE:
    p_roText.Assign("Offline");
    break;
  case KTX_ADDRESS_ETHERNET:
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", c_au8Ip[0], c_au8Ip[1], c_au8Ip[2], c_au8Ip[3]);
    p_roText.Assign(text);
    break;
  case KTX_ADDRESS_SERIAL:
    if (c_i32LastPort != c_i32FirstPort) {
      std::snprintf(text, sizeof text, "COM%d-%d", static_cast<int>(c_i32FirstPort), static_cast<int>(c_i32LastPort));
      p_roText.Assign(text);
    } else {
      SetSerialText(c_i32FirstPort, p_roText);
    }
    break;
  default:
    p_roText.Assign("");
    break;
  }
  return KTX_RC_OK;
}

int32_t KTX_DeviceAddress::ToCurrentString(KTX_StringAscii &p_roText) const {
  if (c_i32Kind == KTX_ADDRESS_SERIAL) {
    SetSerialText(c_i32CurrentPort, p_roText);
    return KTX_RC_OK;
  }
  return ToString(p_roText);
}

int32_t KTX_DeviceAddress::FirstPort(KTX_StringAscii &p_roText) {
  if (c_i32Kind != KTX_ADDRESS_SERIAL) {
    p_roText.Assign("");
    return KTX_RC_INVALID_PARAMETER;
  }
  c_i32CurrentPort = c_i32FirstPort;
  SetSerialText(c_i32CurrentPort, p_roText);
  return KTX_RC_OK;
}

int32_t KTX_DeviceAddress::NextPort(KTX_StringAscii &p_roText) {
  p_roText.Assign("");
  if (c_i32Kind == KTX_ADDRESS_SERIAL && c_i32CurrentPort < c_i32LastPort) {
    ++c_i32CurrentPort;
    SetSerialText(c_i32CurrentPort, p_roText);
  }
  return KTX_RC_OK;
}

bool KTX_DeviceAddress::IsSameLink(const KTX_DeviceAddress &p_roOther) const {
  return c_i32Kind == p_roOther.c_i32Kind && std::memcmp(c_au8Ip, p_roOther.c_au8Ip, sizeof c_au8Ip) == 0 &&
         c_i32FirstPort == p_roOther.c_i32FirstPort && c_i32LastPort == p_roOther.c_i32LastPort;
}

bool KTX_DeviceAddress::HasDeviceId() const {
  for (uint8_t byte : c_au8DeviceId) {
    if (byte != 0) {
      return true;
    }
  }
  return false;
}

int32_t KTX_DeviceAddress::AddExcludedDeviceId(const DeviceId &p_rau8Id) {
  c_vExcludedDeviceIds.push_back(p_rau8Id);
  return KTX_RC_OK;
}

int32_t KTX_DeviceAddress::AddExcludedMac(const MacAddress &p_rau8Mac) {
  c_vExcludedMacs.push_back(p_rau8Mac);
  return KTX_RC_OK;
}

int32_t KTX_DeviceAddress::SetMacAddress(const uint8_t *p_pu8Data, int32_t p_i32Length) {
  c_au8Mac.fill(0);
  if (p_pu8Data == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (p_i32Length == c_i32MacSize) {
    std::memcpy(c_au8Mac.data(), p_pu8Data, c_i32MacSize);
    return KTX_RC_OK;
  }
  if (p_i32Length != c_i32MacTextLength) {
    return KTX_RC_INVALID_PARAMETER;
  }
  MacAddress mac{};
  for (int32_t i = 0; i < c_i32MacSize; ++i) {
    const int32_t high = HexValue(static_cast<char>(p_pu8Data[i * 3]));
    const int32_t low = HexValue(static_cast<char>(p_pu8Data[i * 3 + 1]));
    if (high < 0 || low < 0) {
      return KTX_RC_INVALID_PARAMETER;
    }
    mac[i] = static_cast<uint8_t>(high * 16 + low);
  }
  c_au8Mac = mac;
  return KTX_RC_OK;
}

int32_t KTX_DeviceAddress::DeviceIdToText(const uint8_t *p_pu8Id, int32_t p_i32Length, KTX_StringAscii &p_roText) {
  if (p_pu8Id == nullptr || p_i32Length != c_i32DeviceIdSize) {
    p_roText.Assign("");
    return KTX_RC_INVALID_PARAMETER;
  }
  char text[2 * c_i32DeviceIdSize + 1];
  for (int32_t i = 0; i < c_i32DeviceIdSize; ++i) {
    std::snprintf(text + 2 * i, 3, "%02X", p_pu8Id[i]);
  }
  p_roText.Assign(text);
  return KTX_RC_OK;
}

void KTX_DeviceAddress::MacToText(const MacAddress &p_rau8Mac, KTX_StringAscii &p_roText) {
  char text[c_i32MacTextLength + 1];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", p_rau8Mac[0], p_rau8Mac[1], p_rau8Mac[2],
                p_rau8Mac[3], p_rau8Mac[4], p_rau8Mac[5]);
  p_roText.Assign(text);
}

int32_t KTX_DeviceAddress::CheckNetworkSettings(uint32_t p_u32Ip, uint32_t p_u32Mask, uint32_t p_u32Gateway) {
  const uint32_t a = ntohl(p_u32Ip);
  const uint32_t m = ntohl(p_u32Mask);
  const uint32_t g = ntohl(p_u32Gateway);
  // A valid mask is a run of one-bits from the top followed only by zero-bits,
  // and never all ones.
  const bool maskValid = (m & 1u) == 0 && ((~m) & ((~m) + 1u)) == 0;
  if (a == 0) {
    return KTX_NETWORK_IP_ZERO;
  }
  if (m == 0xFFFFFFFFu || !maskValid) {
    return KTX_NETWORK_MASK_INVALID;
  }
  if ((a | ~m) == a) {
    return KTX_NETWORK_IP_IS_BROADCAST;
  }
  if ((a & ~m) == 0) {
    return KTX_NETWORK_IP_IS_NETWORK;
  }
  if (a == g) {
    return KTX_NETWORK_GATEWAY_IS_IP;
  }
  if ((g & m) == (a & m)) {
    return KTX_RC_OK;
  }
  return KTX_NETWORK_GATEWAY_OUTSIDE_SUBNET;
}
