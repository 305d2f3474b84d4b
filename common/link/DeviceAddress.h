#pragma once
// Where a sensor is: the kind of link (offline, Ethernet UDP, RS-485 serial),
// its IPv4 address and port or its COM port (or a range of COM ports to search),
// and the identities that narrow the audience of a message: MAC address, device
// id, exclusion lists and the broadcast flags. Addresses are plain values,
// copied wherever they are needed; every message carries its own copy.

#include "runtime/BaseClass.h"

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <vector>

class KTX_StringAscii;

enum KTX_DeviceAddressKind : int32_t {
  KTX_ADDRESS_NONE = 0,
  KTX_ADDRESS_OFFLINE = 1,
  KTX_ADDRESS_ETHERNET = 2,
  KTX_ADDRESS_SERIAL = 3,
};

// Results of CheckNetworkSettings other than 0 (valid).
enum KTX_NetworkSettingsProblem : int32_t {
  KTX_NETWORK_IP_ZERO = 1,
  KTX_NETWORK_MASK_INVALID = 2,
  KTX_NETWORK_IP_IS_BROADCAST = 4,
  KTX_NETWORK_IP_IS_NETWORK = 5,
  KTX_NETWORK_GATEWAY_IS_IP = 6,
  KTX_NETWORK_GATEWAY_OUTSIDE_SUBNET = 7,
};

class KTX_DeviceAddress : public KTX_BaseClass {
public:
  static constexpr int32_t c_i32DeviceIdSize = 8;
  static constexpr int32_t c_i32MacSize = 6;
  static constexpr int32_t c_i32MacTextLength = 17;
  static constexpr int32_t c_i32MaxComPort = 255;
  using DeviceId = std::array<uint8_t, c_i32DeviceIdSize>;
  using MacAddress = std::array<uint8_t, c_i32MacSize>;

  KTX_DeviceAddress();
  ~KTX_DeviceAddress() override;

  // Every field except the MAC address becomes zero; both lists are emptied.
  void Clear();
  void CopyFrom(const KTX_DeviceAddress &p_roOther);
  // "Offline", "COM5", "COM3-255", "com" (COM1-255), "192.168.0.10",
  // "192.168.0.10:6000"; other texts without "." or a leading "c" give kind 0.
  // On any error the address is left cleared and the error returned.
  int32_t Parse(const char *p_szText);
  void SetOffline();
  void SetIpv4(const uint8_t (&p_rau8Octets)[4], uint16_t p_u16Port);

  int32_t GetKind() const { return c_i32Kind; }
  const uint8_t *GetIpOctets() const { return c_au8Ip; }
  uint16_t GetPort() const;
  void SetPort(uint16_t p_u16Port);
  const sockaddr_in &GetSocketAddress() const { return c_oSocketAddress; }
  int32_t GetFirstPort() const { return c_i32FirstPort; }
  int32_t GetLastPort() const { return c_i32LastPort; }
  int32_t GetCurrentPort() const { return c_i32CurrentPort; }

  int32_t ToString(KTX_StringAscii &p_roText) const;
  int32_t ToCurrentString(KTX_StringAscii &p_roText) const;
  // Walk a COM range: FirstPort gives the first port's name, each NextPort the
  // next one, and an empty text once the range is exhausted.
  int32_t FirstPort(KTX_StringAscii &p_roText);
  int32_t NextPort(KTX_StringAscii &p_roText);

  // Same kind, IP address and COM ports; the UDP port, identities and flags do not count.
  bool IsSameLink(const KTX_DeviceAddress &p_roOther) const;

  bool GetBroadcast() const { return c_bBroadcast; }
  void SetBroadcast(bool p_bBroadcast) { c_bBroadcast = p_bBroadcast; }
  bool GetBroadcastResponse() const { return c_bBroadcastResponse; }
  void SetBroadcastResponse(bool p_bBroadcastResponse) { c_bBroadcastResponse = p_bBroadcastResponse; }

  const DeviceId &GetDeviceId() const { return c_au8DeviceId; }
  void SetDeviceId(const DeviceId &p_rau8Id) { c_au8DeviceId = p_rau8Id; }
  bool HasDeviceId() const;
  int32_t AddExcludedDeviceId(const DeviceId &p_rau8Id);
  const std::vector<DeviceId> &GetExcludedDeviceIds() const { return c_vExcludedDeviceIds; }
  int32_t GetExcludedDeviceIdCount() const { return static_cast<int32_t>(c_vExcludedDeviceIds.size()); }

  const MacAddress &GetMacAddress() const { return c_au8Mac; }
  // Takes the 6 bytes as they are, or the 17-character text form (pairs of
  // hexadecimal digits of either case, one separator between pairs); anything
  // else gives KTX_RC_INVALID_PARAMETER and a zero MAC address.
  int32_t SetMacAddress(const uint8_t *p_pu8Data, int32_t p_i32Length);
  int32_t AddExcludedMac(const MacAddress &p_rau8Mac);
  const std::vector<MacAddress> &GetExcludedMacs() const { return c_vExcludedMacs; }

  // 16 upper-case hexadecimal digits; an id of any length but 8 gives
  // KTX_RC_INVALID_PARAMETER and an empty text.
  static int32_t DeviceIdToText(const uint8_t *p_pu8Id, int32_t p_i32Length, KTX_StringAscii &p_roText);
  // "00-1A-2B-3C-4D-5E".
  static void MacToText(const MacAddress &p_rau8Mac, KTX_StringAscii &p_roText);

  // The check of a sensor's network settings; the three addresses are IPv4
  // addresses in network byte order. 0 when valid, else the first problem found
  // (KTX_NetworkSettingsProblem).
  static int32_t CheckNetworkSettings(uint32_t p_u32Ip, uint32_t p_u32Mask, uint32_t p_u32Gateway);

private:
  int32_t ParseSerial(const char *p_szText);
  int32_t ParseEthernet(const char *p_szText);
  void SetSerialText(int32_t p_i32Port, KTX_StringAscii &p_roText) const;

  int32_t c_i32Kind;
  uint8_t c_au8Ip[4];
  sockaddr_in c_oSocketAddress;
  int32_t c_i32FirstPort;
  int32_t c_i32LastPort;
  int32_t c_i32CurrentPort;
  bool c_bBroadcast;
  bool c_bBroadcastResponse;
  MacAddress c_au8Mac;
  std::vector<MacAddress> c_vExcludedMacs;
  DeviceId c_au8DeviceId;
  std::vector<DeviceId> c_vExcludedDeviceIds;
};
