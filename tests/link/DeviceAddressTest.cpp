// Device addresses: the text forms both ways, COM range walks, identities and
// the check of a sensor's network settings.

#include "link/DeviceAddress.h"

#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

namespace {

std::string Text(const KTX_DeviceAddress &p_roAddress) {
  KTX_StringAscii text;
  text.SetStackVariable();
  p_roAddress.ToString(text);
  return text.GetText();
}

std::string CurrentText(const KTX_DeviceAddress &p_roAddress) {
  KTX_StringAscii text;
  text.SetStackVariable();
  p_roAddress.ToCurrentString(text);
  return text.GetText();
}

struct Address : KTX_DeviceAddress {
  Address() { SetStackVariable(); }
};

struct ParseCase {
  const char *text;
  int32_t rc;
  int32_t kind;
  const char *printed;
  int32_t first;
  int32_t last;
  uint16_t port;
};

void PrintTo(const ParseCase &p_roCase, std::ostream *p_poOut) { *p_poOut << '"' << p_roCase.text << '"'; }

class DeviceAddressParseTest : public ::testing::TestWithParam<ParseCase> {};

} // namespace

TEST_P(DeviceAddressParseTest, ParsesAndPrintsBack) {
  const ParseCase c = GetParam();
  Address a;
  a.SetDeviceId({1, 2, 3, 4, 5, 6, 7, 8}); // any earlier content is cleared
  EXPECT_EQ(a.Parse(c.text), c.rc) << c.text;
  EXPECT_EQ(a.GetKind(), c.kind) << c.text;
  EXPECT_EQ(Text(a), c.printed) << c.text;
  EXPECT_EQ(a.GetFirstPort(), c.first) << c.text;
  EXPECT_EQ(a.GetLastPort(), c.last) << c.text;
  EXPECT_EQ(a.GetPort(), c.port) << c.text;
  EXPECT_FALSE(a.HasDeviceId());
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeviceAddressParseTest,
    ::testing::Values(ParseCase{"Offline", KTX_RC_OK, KTX_ADDRESS_OFFLINE, "Offline", 0, 0, 0},
                      ParseCase{"COM5", KTX_RC_OK, KTX_ADDRESS_SERIAL, "COM5", 5, 5, 0},
                      ParseCase{"COM3-255", KTX_RC_OK, KTX_ADDRESS_SERIAL, "COM3-255", 3, 255, 0},
                      ParseCase{"COM", KTX_RC_OK, KTX_ADDRESS_SERIAL, "COM3-255", 3, 255, 0},
                      ParseCase{"com", KTX_RC_OK, KTX_ADDRESS_SERIAL, "COM1-255", 1, 255, 0},
                      ParseCase{"c7", KTX_RC_OK, KTX_ADDRESS_SERIAL, "COM7", 7, 7, 0},
                      ParseCase{"Co12", KTX_RC_OK, KTX_ADDRESS_SERIAL, "COM12", 12, 12, 0},
                      ParseCase{"COM4-9", KTX_RC_OK, KTX_ADDRESS_SERIAL, "COM4-9", 4, 9, 0},
                      ParseCase{"COM255", KTX_RC_OK, KTX_ADDRESS_SERIAL, "COM255", 255, 255, 0},
                      ParseCase{"192.168.0.10", KTX_RC_OK, KTX_ADDRESS_ETHERNET, "192.168.0.10", 0, 0, 0},
                      ParseCase{"192.168.0.10:6000", KTX_RC_OK, KTX_ADDRESS_ETHERNET, "192.168.0.10", 0, 0, 6000},
                      ParseCase{"192.168.0.101:5150", KTX_RC_OK, KTX_ADDRESS_ETHERNET, "192.168.0.101", 0, 0, 5150},
                      ParseCase{"255.255.255.255:65535", KTX_RC_OK, KTX_ADDRESS_ETHERNET, "255.255.255.255", 0, 0,
                                65535},
                      // Not an address of any kind, but not an error either.
                      ParseCase{"sensor", KTX_RC_OK, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"offline", KTX_RC_OK, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      // Refused: the address is left cleared.
                      ParseCase{"", KTX_RC_OPERATION_FAILED, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"COM0", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"COM3-2", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"COM9-3", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"COM256", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"COM3-256", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"COM99999999999999999999", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"COM5-", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"COM5x", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"COMx", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"1.2.3", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"1.2.3.4.5", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"1.2..4", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"1.2.3.256", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"1.2.3.4:99999", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"1.2.3.4:", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"1.2.3.4:80x", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"1.2.3.4x", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0},
                      ParseCase{"a.b.c.d", KTX_RC_INVALID_PARAMETER, KTX_ADDRESS_NONE, "", 0, 0, 0}));

TEST(DeviceAddressTest, AbsentTextIsAnInvalidParameter) {
  Address a;
  EXPECT_EQ(a.Parse(nullptr), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(a.GetKind(), KTX_ADDRESS_NONE);
}

TEST(DeviceAddressTest, EthernetAddressFillsTheSocketAddress) {
  Address a;
  ASSERT_EQ(a.Parse("192.168.0.10:6000"), KTX_RC_OK);
  const sockaddr_in &s = a.GetSocketAddress();
  EXPECT_EQ(s.sin_family, AF_INET);
  EXPECT_EQ(ntohs(s.sin_port), 6000);
  EXPECT_EQ(ntohl(s.sin_addr.s_addr), 0xC0A8000Au);
  EXPECT_EQ(sizeof s, 16u);
  a.SetPort(7000);
  EXPECT_EQ(a.GetPort(), 7000);
  EXPECT_EQ(CurrentText(a), "192.168.0.10");
}

TEST(DeviceAddressTest, ComRangeWalksFromFirstToLast) {
  Address a;
  ASSERT_EQ(a.Parse("COM4-6"), KTX_RC_OK);
  KTX_StringAscii port;
  port.SetStackVariable();
  std::string walked;
  ASSERT_EQ(a.FirstPort(port), KTX_RC_OK);
  for (int i = 0; i < 10 && port.GetLength() > 0; ++i) {
    walked += std::string(port.GetText()) + " ";
    EXPECT_EQ(CurrentText(a), port.GetText());
    a.NextPort(port);
  }
  EXPECT_EQ(walked, "COM4 COM5 COM6 ");
  EXPECT_EQ(Text(a), "COM4-6");
  // Starting again restarts the walk.
  a.FirstPort(port);
  EXPECT_STREQ(port.GetText(), "COM4");

  Address offline;
  offline.SetOffline();
  EXPECT_NE(offline.FirstPort(port), KTX_RC_OK);
  offline.NextPort(port);
  EXPECT_EQ(port.GetLength(), 0);
}

TEST(DeviceAddressTest, CopiesKeepEverythingAndClearKeepsOnlyTheMac) {
  Address a;
  ASSERT_EQ(a.Parse("10.0.0.7:5150"), KTX_RC_OK);
  a.SetBroadcast(true);
  a.SetBroadcastResponse(true);
  a.SetDeviceId({0, 0, 0, 0, 0, 0, 0, 9});
  a.AddExcludedDeviceId({1, 1, 1, 1, 1, 1, 1, 1});
  a.AddExcludedDeviceId({2, 2, 2, 2, 2, 2, 2, 2});
  const uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  ASSERT_EQ(a.SetMacAddress(mac, 6), KTX_RC_OK);

  Address b;
  b.CopyFrom(a);
  EXPECT_EQ(Text(b), "10.0.0.7");
  EXPECT_EQ(b.GetPort(), 5150);
  EXPECT_TRUE(b.GetBroadcast());
  EXPECT_TRUE(b.GetBroadcastResponse());
  EXPECT_TRUE(b.HasDeviceId());
  ASSERT_EQ(b.GetExcludedDeviceIdCount(), 2);
  EXPECT_EQ(b.GetExcludedDeviceIds()[1][0], 2);
  EXPECT_EQ(b.GetMacAddress(), a.GetMacAddress());
  EXPECT_TRUE(b.IsSameLink(a));

  b.Clear();
  EXPECT_EQ(b.GetKind(), KTX_ADDRESS_NONE);
  EXPECT_FALSE(b.HasDeviceId());
  EXPECT_FALSE(b.GetBroadcast());
  EXPECT_EQ(b.GetExcludedDeviceIdCount(), 0);
  EXPECT_EQ(b.GetMacAddress(), a.GetMacAddress());
}

TEST(DeviceAddressTest, SameLinkComparesKindAddressAndPortsOnly) {
  Address a, b;
  a.Parse("10.0.0.7:5150");
  b.Parse("10.0.0.7:6000");
  b.SetDeviceId({1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_TRUE(a.IsSameLink(b));
  b.Parse("10.0.0.8");
  EXPECT_FALSE(a.IsSameLink(b));
  a.Parse("COM3-5");
  b.Parse("COM3");
  EXPECT_FALSE(a.IsSameLink(b));
  b.Parse("COM3-5");
  EXPECT_TRUE(a.IsSameLink(b));
  b.SetOffline();
  EXPECT_FALSE(a.IsSameLink(b));
}

TEST(DeviceAddressTest, DeviceIdAndMacTexts) {
  KTX_StringAscii text;
  text.SetStackVariable();
  const uint8_t id[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  EXPECT_EQ(KTX_DeviceAddress::DeviceIdToText(id, 8, text), KTX_RC_OK);
  EXPECT_STREQ(text.GetText(), "0123456789ABCDEF");
  EXPECT_EQ(KTX_DeviceAddress::DeviceIdToText(id, 6, text), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(text.GetLength(), 0);

  Address a;
  const char *macText = "00-1a-2B:3c.4D 5e";
  ASSERT_EQ(a.SetMacAddress(reinterpret_cast<const uint8_t *>(macText), 17), KTX_RC_OK);
  KTX_DeviceAddress::MacToText(a.GetMacAddress(), text);
  EXPECT_STREQ(text.GetText(), "00-1A-2B-3C-4D-5E");

  const char *bad[] = {"00-1A-2B-3C-4D-5G", "00-1A-2B-3C-4D-5E-", "001A2B3C4D5E"};
  for (const char *b : bad) {
    EXPECT_EQ(a.SetMacAddress(reinterpret_cast<const uint8_t *>(b), static_cast<int32_t>(std::strlen(b))),
              KTX_RC_INVALID_PARAMETER)
        << b;
    EXPECT_EQ(a.GetMacAddress(), KTX_DeviceAddress::MacAddress{}) << b;
  }
}

namespace {

struct NetworkCase {
  const char *ip;
  const char *mask;
  const char *gateway;
  int32_t expected;
};

uint32_t Ip(const char *p_szText) {
  in_addr a{};
  EXPECT_EQ(inet_pton(AF_INET, p_szText, &a), 1) << p_szText;
  return a.s_addr;
}

void PrintTo(const NetworkCase &p_roCase, std::ostream *p_poOut) {
  *p_poOut << p_roCase.ip << " " << p_roCase.mask << " " << p_roCase.gateway;
}

class NetworkSettingsTest : public ::testing::TestWithParam<NetworkCase> {};

} // namespace

TEST_P(NetworkSettingsTest, FirstProblemFound) {
  const NetworkCase c = GetParam();
  EXPECT_EQ(KTX_DeviceAddress::CheckNetworkSettings(Ip(c.ip), Ip(c.mask), Ip(c.gateway)), c.expected)
      << c.ip << " / " << c.mask << " / " << c.gateway;
}

INSTANTIATE_TEST_SUITE_P(
    Table, NetworkSettingsTest,
    ::testing::Values(NetworkCase{"192.168.0.101", "255.255.255.0", "192.168.0.1", 0},
                      NetworkCase{"10.1.2.3", "255.0.0.0", "10.0.0.1", 0},
                      NetworkCase{"192.168.0.101", "255.255.255.252", "192.168.0.102", 0},
                      NetworkCase{"0.0.0.0", "255.255.255.0", "192.168.0.1", KTX_NETWORK_IP_ZERO},
                      // The address is checked before the mask.
                      NetworkCase{"0.0.0.0", "255.0.255.0", "192.168.0.1", KTX_NETWORK_IP_ZERO},
                      NetworkCase{"192.168.0.101", "255.0.255.0", "192.168.0.1", KTX_NETWORK_MASK_INVALID},
                      NetworkCase{"192.168.0.101", "255.255.255.255", "192.168.0.1", KTX_NETWORK_MASK_INVALID},
                      NetworkCase{"192.168.0.101", "255.255.255.1", "192.168.0.1", KTX_NETWORK_MASK_INVALID},
                      NetworkCase{"192.168.0.255", "255.255.255.0", "192.168.0.1", KTX_NETWORK_IP_IS_BROADCAST},
                      NetworkCase{"192.168.0.0", "255.255.255.0", "192.168.0.1", KTX_NETWORK_IP_IS_NETWORK},
                      NetworkCase{"192.168.0.101", "255.255.255.0", "192.168.0.101", KTX_NETWORK_GATEWAY_IS_IP},
                      NetworkCase{"192.168.0.101", "255.255.255.0", "10.0.0.1", KTX_NETWORK_GATEWAY_OUTSIDE_SUBNET},
                      NetworkCase{"192.168.0.101", "255.255.255.0", "192.168.1.1",
                                  KTX_NETWORK_GATEWAY_OUTSIDE_SUBNET}));
