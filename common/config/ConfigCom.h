#pragma once
// The sensor's network settings. Addresses are kept as dotted 8-bit texts, as
// they travel in the configuration.

#include "config/Config.h"
#include "runtime/StringAscii.h"

class KTX_StringUnicode;

class KTX_ConfigCom : public KTX_Config {
public:
  static constexpr const char *c_szDefaultHostName = "QelSensor";
  static constexpr const char *c_szDefaultIpAddress = "192.168.0.101";
  static constexpr uint16_t c_u16DefaultLocalPort = 5150;
  static constexpr const char *c_szDefaultNetworkMask = "0.0.0.0";
  static constexpr const char *c_szDefaultGateway = "0.0.0.0";
  static constexpr const char *c_szDefaultDomainName = "sensor.tarnvel.local";
  static constexpr const char *c_szDefaultDnsServer = "0.0.0.0";

  KTX_ConfigCom();
  ~KTX_ConfigCom() override;

  int32_t WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) override;
  int32_t ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) override;

  const KTX_StringAscii &GetHostName() const { return c_oHostName; }
  const KTX_StringAscii &GetIpAddress() const { return c_oIpAddress; }
  uint16_t GetLocalPort() const { return c_u16LocalPort; }
  const KTX_StringAscii &GetNetworkMask() const { return c_oNetworkMask; }
  const KTX_StringAscii &GetGateway() const { return c_oGateway; }
  const KTX_StringAscii &GetDomainName() const { return c_oDomainName; }
  const KTX_StringAscii &GetDnsServer() const { return c_oDnsServer; }
  uint8_t GetNetworkOption() const { return c_u8NetworkOption; }

  // The sensor object's edits: UTF-16 texts stored as 8-bit (UTF-8) texts.
  int32_t SetIpAddress(const KTX_StringUnicode &p_roText);
  int32_t SetNetworkMask(const KTX_StringUnicode &p_roText);
  int32_t SetGateway(const KTX_StringUnicode &p_roText);
  void SetLocalPort(uint16_t p_u16Port) { c_u16LocalPort = p_u16Port; }
  // Values the wizard itself never edits; they come with a configuration.
  int32_t SetHostName(const char *p_szText);
  int32_t SetDomainName(const char *p_szText);
  int32_t SetDnsServer(const char *p_szText);
  void SetNetworkOption(uint8_t p_u8Option) { c_u8NetworkOption = p_u8Option; }

private:
  KTX_StringAscii c_oHostName;
  KTX_StringAscii c_oIpAddress;
  uint16_t c_u16LocalPort;
  KTX_StringAscii c_oNetworkMask;
  KTX_StringAscii c_oGateway;
  KTX_StringAscii c_oDomainName;
  KTX_StringAscii c_oDnsServer;
  uint8_t c_u8NetworkOption;
};
