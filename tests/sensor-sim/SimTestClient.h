#pragma once
// A small client of the emulator built on the core message codec only: it
// encodes requests with KTX_MessageSupervisor, sends them as UDP datagrams or as
// frames on a pseudo-terminal, and collects the raw answers. Exchange retries the
// way the wizard's protocol does: the request is encoded afresh (new sequence
// number) for each of 1 + retries sends, each waiting up to a time-out.

#include "link/DeviceAddress.h"
#include "link/MessageSupervisor.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class SimTestClient {
public:
  ~SimTestClient();
  SimTestClient(const SimTestClient &) = delete;
  SimTestClient &operator=(const SimTestClient &) = delete;

  // A UDP client on 0.0.0.0 and an ephemeral port, talking to ip:port (host order).
  static std::unique_ptr<SimTestClient> Udp(uint32_t p_u32Ip, uint16_t p_u16Port);
  // A client on the slave side of a pseudo-terminal bus.
  static std::unique_ptr<SimTestClient> Pty(const std::string &p_strPath);

  bool IsSerial() const { return c_bSerial; }
  uint16_t GetLocalPort() const { return c_u16LocalPort; }
  void SetTarget(uint32_t p_u32Ip, uint16_t p_u16Port) {
    c_u32Ip = p_u32Ip;
    c_u16Port = p_u16Port;
  }

  // A fresh request to the target: Ethernet destination (179) for UDP, a serial
  // one (177) on a bus; p_poDeviceId names the sensor (DevIDInc or 0xC2).
  std::unique_ptr<KTX_MessageSupervisor, void (*)(KTX_MessageSupervisor *)>
  NewRequest(uint16_t p_u16MessageId, const KTX_DeviceAddress::DeviceId *p_poDeviceId = nullptr,
             bool p_bBroadcastResponse = false);

  // Encodes and sends; returns the bytes sent (the framed bytes on a bus).
  std::vector<uint8_t> Send(KTX_MessageSupervisor &p_roRequest);
  // Raw bytes out, for malformed input.
  void SendRaw(const std::vector<uint8_t> &p_rvu8Bytes);

  struct Reply {
    std::vector<uint8_t> vu8Raw; // the message bytes (deframed on a bus)
    uint32_t u32FromIp = 0;
    uint16_t u16FromPort = 0;
  };
  // Every message received until p_i32TimeoutMs passes without a new one, or
  // until p_i32Wanted were received. On a bus the echoes of requests are left out.
  std::vector<Reply> Receive(int32_t p_i32TimeoutMs, int32_t p_i32Wanted = 1);

  // Sends p_roRequest and waits for the response with its sequence number;
  // true with the response when one came within 1 + p_i32Retries sends.
  bool Exchange(KTX_MessageSupervisor &p_roRequest, Reply &p_roReply, int32_t p_i32Retries = 4,
                int32_t p_i32TimeoutMs = 2000, int32_t *p_pi32Sends = nullptr);

  // The echoes seen on a bus (requests as the line gave them back).
  const std::vector<std::vector<uint8_t>> &GetEchoes() const { return c_vvu8Echoes; }

  // Decodes raw bytes into a new message (null when they do not decode).
  static std::unique_ptr<KTX_MessageSupervisor, void (*)(KTX_MessageSupervisor *)>
  Decode(const std::vector<uint8_t> &p_rvu8Raw, int32_t *p_pi32Result = nullptr);

private:
  SimTestClient() = default;
  bool ReadSome(int32_t p_i32TimeoutMs, std::vector<Reply> &p_rvoOut);

  bool c_bSerial = false;
  int c_iFd = -1;
  uint32_t c_u32Ip = 0;
  uint16_t c_u16Port = 0;
  uint16_t c_u16LocalPort = 0;
  KTX_MessageSupervisor *c_poDeframer = nullptr;
  std::vector<std::vector<uint8_t>> c_vvu8Echoes;
};

// The expected bytes of a response, built by hand from the wire format (not by
// the codec): protocol, address part, CRC continued from 0x05DE0312, sequence,
// result, message id, payload length, payload.
std::vector<uint8_t> ExpectedResponse(uint8_t p_u8Protocol, const std::vector<uint8_t> &p_rvu8Address,
                                      uint16_t p_u16Sequence, int32_t p_i32Result, uint16_t p_u16MessageId,
                                      const std::vector<uint8_t> &p_rvu8Payload);
