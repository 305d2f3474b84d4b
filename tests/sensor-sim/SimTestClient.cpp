#include "SimTestClient.h"

#include "buffers/Crc32.h"
#include "runtime/ReturnCode.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

void DeleteMessage(KTX_MessageSupervisor *p_poMessage) {
  if (p_poMessage != nullptr) {
    p_poMessage->Delete();
  }
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

} // namespace

SimTestClient::~SimTestClient() {
  if (c_iFd >= 0) {
    close(c_iFd);
  }
  DeleteMessage(c_poDeframer);
}

std::unique_ptr<SimTestClient> SimTestClient::Udp(uint32_t p_u32Ip, uint16_t p_u16Port) {
  std::unique_ptr<SimTestClient> client(new SimTestClient());
  client->c_iFd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(client->c_iFd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  if (bind(client->c_iFd, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0) {
    return nullptr;
  }
  socklen_t length = sizeof any;
  getsockname(client->c_iFd, reinterpret_cast<sockaddr *>(&any), &length);
  client->c_u16LocalPort = ntohs(any.sin_port);
  client->SetTarget(p_u32Ip, p_u16Port);
  return client;
}

std::unique_ptr<SimTestClient> SimTestClient::Pty(const std::string &p_strPath) {
  std::unique_ptr<SimTestClient> client(new SimTestClient());
  client->c_bSerial = true;
  client->c_iFd = open(p_strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (client->c_iFd < 0) {
    return nullptr;
  }
  struct termios settings {};
  tcgetattr(client->c_iFd, &settings);
  cfmakeraw(&settings);
  cfsetspeed(&settings, B115200);
  tcsetattr(client->c_iFd, TCSANOW, &settings);
  client->c_poDeframer = KTX_MessageSupervisor::NewMessage();
  return client;
}

std::unique_ptr<KTX_MessageSupervisor, void (*)(KTX_MessageSupervisor *)>
SimTestClient::NewRequest(uint16_t p_u16MessageId, const KTX_DeviceAddress::DeviceId *p_poDeviceId,
                          bool p_bBroadcastResponse) {
  std::unique_ptr<KTX_MessageSupervisor, void (*)(KTX_MessageSupervisor *)> message(
      KTX_MessageSupervisor::NewMessage(), DeleteMessage);
  KTX_DeviceAddress destination;
  destination.SetStackVariable();
  if (c_bSerial) {
    destination.Parse("COM1");
  } else {
    const uint8_t octets[4] = {static_cast<uint8_t>(c_u32Ip >> 24), static_cast<uint8_t>(c_u32Ip >> 16),
                               static_cast<uint8_t>(c_u32Ip >> 8), static_cast<uint8_t>(c_u32Ip)};
    destination.SetIpv4(octets, c_u16Port);
  }
  if (p_poDeviceId != nullptr) {
    destination.SetDeviceId(*p_poDeviceId);
  }
  destination.SetBroadcastResponse(p_bBroadcastResponse);
  message->SetDestination(destination);
  message->SetMessageId(p_u16MessageId);
  return message;
}

std::vector<uint8_t> SimTestClient::Send(KTX_MessageSupervisor &p_roRequest) {
  if (p_roRequest.Encode() != KTX_RC_OK) {
    return {};
  }
  std::vector<uint8_t> bytes(p_roRequest.GetMessageData(),
                             p_roRequest.GetMessageData() + p_roRequest.GetMessageLength());
  if (c_bSerial) {
    std::vector<uint8_t> framed(2 * bytes.size() + 2);
    int32_t length = 0;
    p_roRequest.Frame(framed.data(), static_cast<int32_t>(framed.size()), &length);
    framed.resize(static_cast<size_t>(length));
    bytes.swap(framed);
  }
  SendRaw(bytes);
  return bytes;
}

void SimTestClient::SendRaw(const std::vector<uint8_t> &p_rvu8Bytes) {
  if (c_bSerial) {
    size_t done = 0;
    for (int attempt = 0; attempt < 1000 && done < p_rvu8Bytes.size(); ++attempt) {
      const ssize_t n = write(c_iFd, p_rvu8Bytes.data() + done, p_rvu8Bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else {
        pollfd out{c_iFd, POLLOUT, 0};
        poll(&out, 1, 10);
      }
    }
    return;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(c_u16Port);
  to.sin_addr.s_addr = htonl(c_u32Ip);
  sendto(c_iFd, p_rvu8Bytes.data(), p_rvu8Bytes.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
}

bool SimTestClient::ReadSome(int32_t p_i32TimeoutMs, std::vector<Reply> &p_rvoOut) {
  pollfd in{c_iFd, POLLIN, 0};
  if (poll(&in, 1, p_i32TimeoutMs) <= 0) {
    return false;
  }
  uint8_t buffer[4096];
  if (!c_bSerial) {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = recvfrom(c_iFd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &length);
    if (n < 0) {
      return false;
    }
    Reply reply;
    reply.vu8Raw.assign(buffer, buffer + n);
    reply.u32FromIp = ntohl(from.sin_addr.s_addr);
    reply.u16FromPort = ntohs(from.sin_port);
    p_rvoOut.push_back(std::move(reply));
    return true;
  }
  const ssize_t n = read(c_iFd, buffer, sizeof buffer);
  if (n <= 0) {
    return false;
  }
  int32_t offset = 0;
  while (offset < n) {
    int32_t consumed = 0;
    const int32_t rc = c_poDeframer->Deframe(buffer + offset, static_cast<int32_t>(n) - offset, &consumed);
    offset += consumed;
    if (rc != KTX_RC_OK) {
      if (consumed == 0) {
        break;
      }
      continue;
    }
    std::vector<uint8_t> frame(c_poDeframer->GetBuffer(), c_poDeframer->GetBuffer() + c_poDeframer->GetReceivedLength());
    c_poDeframer->Reset();
    if (!frame.empty() && (frame[0] == 0xB1 || frame[0] == 0xB3)) {
      c_vvu8Echoes.push_back(std::move(frame));
    } else {
      Reply reply;
      reply.vu8Raw = std::move(frame);
      p_rvoOut.push_back(std::move(reply));
    }
  }
  return true;
}

std::vector<SimTestClient::Reply> SimTestClient::Receive(int32_t p_i32TimeoutMs, int32_t p_i32Wanted) {
  std::vector<Reply> replies;
  int64_t deadline = NowMs() + p_i32TimeoutMs;
  while (static_cast<int32_t>(replies.size()) < p_i32Wanted) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) {
      break;
    }
    const size_t before = replies.size();
    if (!ReadSome(static_cast<int32_t>(left), replies)) {
      continue;
    }
    if (replies.size() != before) {
      deadline = NowMs() + p_i32TimeoutMs;
    }
  }
  return replies;
}

bool SimTestClient::Exchange(KTX_MessageSupervisor &p_roRequest, Reply &p_roReply, int32_t p_i32Retries,
                             int32_t p_i32TimeoutMs, int32_t *p_pi32Sends) {
  for (int32_t attempt = 0; attempt <= p_i32Retries; ++attempt) {
    if (p_pi32Sends != nullptr) {
      *p_pi32Sends = attempt + 1;
    }
    Send(p_roRequest);
    const uint16_t sequence = static_cast<uint16_t>(p_roRequest.GetSequence());
    const int64_t deadline = NowMs() + p_i32TimeoutMs;
    std::vector<Reply> replies;
    while (NowMs() < deadline) {
      replies.clear();
      ReadSome(static_cast<int32_t>(deadline - NowMs()), replies);
      for (Reply &reply : replies) {
        auto decoded = Decode(reply.vu8Raw);
        // Answers to earlier sends (late, duplicated) carry other sequence numbers.
        if (decoded != nullptr && static_cast<uint16_t>(decoded->GetSequence()) == sequence) {
          p_roReply = std::move(reply);
          return true;
        }
      }
    }
  }
  return false;
}

std::unique_ptr<KTX_MessageSupervisor, void (*)(KTX_MessageSupervisor *)>
SimTestClient::Decode(const std::vector<uint8_t> &p_rvu8Raw, int32_t *p_pi32Result) {
  std::unique_ptr<KTX_MessageSupervisor, void (*)(KTX_MessageSupervisor *)> message(
      KTX_MessageSupervisor::NewMessage(), DeleteMessage);
  if (p_rvu8Raw.empty() || p_rvu8Raw.size() > static_cast<size_t>(message->GetBufferSize())) {
    return {nullptr, DeleteMessage};
  }
  std::memcpy(message->GetBuffer(), p_rvu8Raw.data(), p_rvu8Raw.size());
  const int32_t rc = message->Decode(static_cast<int32_t>(p_rvu8Raw.size()));
  if (p_pi32Result != nullptr) {
    *p_pi32Result = message->GetResult();
  }
  if (rc != KTX_RC_OK) {
    return {nullptr, DeleteMessage};
  }
  return message;
}

std::vector<uint8_t> ExpectedResponse(uint8_t p_u8Protocol, const std::vector<uint8_t> &p_rvu8Address,
                                      uint16_t p_u16Sequence, int32_t p_i32Result, uint16_t p_u16MessageId,
                                      const std::vector<uint8_t> &p_rvu8Payload) {
  std::vector<uint8_t> m{p_u8Protocol};
  m.insert(m.end(), p_rvu8Address.begin(), p_rvu8Address.end());
  const size_t crcAt = m.size();
  m.insert(m.end(), 4, 0);
  const uint32_t result = static_cast<uint32_t>(p_i32Result);
  const uint8_t fields[] = {static_cast<uint8_t>(p_u16Sequence >> 8), static_cast<uint8_t>(p_u16Sequence),
                            static_cast<uint8_t>(result >> 24),       static_cast<uint8_t>(result >> 16),
                            static_cast<uint8_t>(result >> 8),        static_cast<uint8_t>(result),
                            static_cast<uint8_t>(p_u16MessageId >> 8), static_cast<uint8_t>(p_u16MessageId),
                            static_cast<uint8_t>(p_rvu8Payload.size() >> 8),
                            static_cast<uint8_t>(p_rvu8Payload.size())};
  m.insert(m.end(), fields, fields + sizeof fields);
  m.insert(m.end(), p_rvu8Payload.begin(), p_rvu8Payload.end());
  uint32_t crc = KTX_Crc32Update(0x05DE0312u, m.data(), static_cast<uint32_t>(crcAt));
  crc = KTX_Crc32Update(crc, m.data() + crcAt + 4, static_cast<uint32_t>(m.size() - crcAt - 4));
  for (int i = 0; i < 4; ++i) {
    m[crcAt + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  }
  return m;
}
