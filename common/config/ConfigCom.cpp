#include "config/ConfigCom.h"

#include "buffers/BufferToken.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringUnicode.h"

namespace {

int32_t AssignUnicode(KTX_StringAscii &p_roTarget, const KTX_StringUnicode &p_roText) {
  KTX_StringAscii oText;
  oText.SetStackVariable();
  const int32_t i32Result = oText.AppendUnicode(p_roText);
  if (i32Result != KTX_RC_OK) {
    return i32Result;
  }
  p_roTarget.Assign(oText);
  return KTX_RC_OK;
}

int32_t AssignText(KTX_StringAscii &p_roTarget, const char *p_szText) {
  if (p_szText == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  return p_roTarget.AssignCounted(p_szText, KTX_StringAscii::c_i32MaxLength + 1);
}

} // namespace

KTX_ConfigCom::KTX_ConfigCom() : c_u16LocalPort(c_u16DefaultLocalPort), c_u8NetworkOption(0) {
  c_u32EnumBufferTokenCfgId = KTX_CONFIG_TYPE_COMMUNICATIONS;
  for (KTX_StringAscii *po :
       {&c_oHostName, &c_oIpAddress, &c_oNetworkMask, &c_oGateway, &c_oDomainName, &c_oDnsServer}) {
    po->SetStackVariable();
  }
  c_oHostName.Assign(c_szDefaultHostName);
  c_oIpAddress.Assign(c_szDefaultIpAddress);
  c_oNetworkMask.Assign(c_szDefaultNetworkMask);
  c_oGateway.Assign(c_szDefaultGateway);
  c_oDomainName.Assign(c_szDefaultDomainName);
  c_oDnsServer.Assign(c_szDefaultDnsServer);
}

KTX_ConfigCom::~KTX_ConfigCom() = default;

int32_t KTX_ConfigCom::SetIpAddress(const KTX_StringUnicode &p_roText) { return AssignUnicode(c_oIpAddress, p_roText); }

int32_t KTX_ConfigCom::SetNetworkMask(const KTX_StringUnicode &p_roText) {
  return AssignUnicode(c_oNetworkMask, p_roText);
}

int32_t KTX_ConfigCom::SetGateway(const KTX_StringUnicode &p_roText) { return AssignUnicode(c_oGateway, p_roText); }

int32_t KTX_ConfigCom::SetHostName(const char *p_szText) { return AssignText(c_oHostName, p_szText); }

int32_t KTX_ConfigCom::SetDomainName(const char *p_szText) { return AssignText(c_oDomainName, p_szText); }

int32_t KTX_ConfigCom::SetDnsServer(const char *p_szText) { return AssignText(c_oDnsServer, p_szText); }

// Every token is written whatever became of the ones before: the text encoding
// cannot spell the option byte (id 44 has no keyword) and skips just that one.
int32_t KTX_ConfigCom::WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) {
  if (p_poBuffer == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  WriteBegin(p_poBuffer, p_poToken, 0);
  p_poToken->SetStringAscii(KTX_BTID_HOST_NAME, &c_oHostName).WriteToken(p_poBuffer);
  p_poToken->SetStringAscii(KTX_BTID_IP_ADDRESS, &c_oIpAddress).WriteToken(p_poBuffer);
  p_poToken->SetUint16(KTX_BTID_LOCAL_PORT, c_u16LocalPort).WriteToken(p_poBuffer);
  p_poToken->SetStringAscii(KTX_BTID_NETWORK_MASK, &c_oNetworkMask).WriteToken(p_poBuffer);
  p_poToken->SetStringAscii(KTX_BTID_GATEWAY_IP, &c_oGateway).WriteToken(p_poBuffer);
  p_poToken->SetStringAscii(KTX_BTID_DOMAIN_NAME, &c_oDomainName).WriteToken(p_poBuffer);
  p_poToken->SetStringAscii(KTX_BTID_DNS_SERVER, &c_oDnsServer).WriteToken(p_poBuffer);
  p_poToken->SetUint8(KTX_BTID_NETWORK_OPTION, c_u8NetworkOption).WriteToken(p_poBuffer);
  return WriteEnd(p_poBuffer, p_poToken);
}

int32_t KTX_ConfigCom::ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) {
  return ReadNodeTokens(p_poSource, p_poToken, [&](uint32_t p_u32Id) -> int32_t {
    switch (p_u32Id) {
    case KTX_BTID_HOST_NAME:
      return p_poToken->GetStringAscii(&c_oHostName);
    case KTX_BTID_IP_ADDRESS:
      return p_poToken->GetStringAscii(&c_oIpAddress);
    case KTX_BTID_NETWORK_MASK:
      return p_poToken->GetStringAscii(&c_oNetworkMask);
    case KTX_BTID_GATEWAY_IP:
      return p_poToken->GetStringAscii(&c_oGateway);
    case KTX_BTID_DOMAIN_NAME:
      return p_poToken->GetStringAscii(&c_oDomainName);
    case KTX_BTID_DNS_SERVER:
      return p_poToken->GetStringAscii(&c_oDnsServer);
    case KTX_BTID_LOCAL_PORT:
      return p_poToken->GetUint16(nullptr, &c_u16LocalPort);
    case KTX_BTID_NETWORK_OPTION:
      return p_poToken->GetUint8(&c_u8NetworkOption);
    default:
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
  });
}
