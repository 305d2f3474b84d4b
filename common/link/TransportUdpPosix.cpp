#include "link/TransportUdp.h"

#include "link/MessageSupervisor.h"
#include "link/Protocol.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

KTX_TransportUdp::KTX_TransportUdp()
    : KTX_Transport(KTX_BASE_CLASS_TRANSPORT_UDP, KTX_TRANSPORT_ETHERNET), c_iSocket(c_iNoHandle),
      c_bBroadcastEnabled(false) {}

KTX_TransportUdp::~KTX_TransportUdp() {
  if (c_iSocket >= 0) {
    ::close(c_iSocket);
  }
}

int32_t KTX_TransportUdp::Open(KTX_Protocol *p_poProtocol) {
  const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock < 0) {
    return KTX_RC_SOCKET_CREATE_FAILED;
  }
  const int32_t port = p_poProtocol != nullptr ? p_poProtocol->GetLocalPort() : 0;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<uint16_t>(port));
  KTX_LOG(KTX_DBG4, "KTX_TransportUdp::Open  %d.%d.%d.%d   %d", 0, 0, 0, 0, port);
  if (::bind(sock, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
    KTX_LOG(KTX_ERROR, "KTX_TransportUdp::Open -- bind failed ");
    ::close(sock);
    return KTX_RC_SOCKET_BIND_FAILED;
  }
  // The own address: any interface and the port the platform chose.
  socklen_t length = sizeof local;
  ::getsockname(sock, reinterpret_cast<sockaddr *>(&local), &length);
  const uint8_t any[4] = {0, 0, 0, 0};
  KTX_DeviceAddress own;
  own.SetStackVariable();
  own.SetIpv4(any, ntohs(local.sin_port));
  StoreOwnAddress(own);
  {
    KTX_ObjectLockGuard guard(*this);
    if (c_iSocket >= 0) {
      ::close(c_iSocket);
    }
    c_iSocket = sock;
    c_bBroadcastEnabled = false;
  }
  return KTX_Transport::Open(p_poProtocol);
}

int32_t KTX_TransportUdp::Close() {
  KTX_Transport::Close();
  KTX_ObjectLockGuard guard(*this);
  if (c_iSocket >= 0) {
    ::close(c_iSocket);
    c_iSocket = c_iNoHandle;
  }
  return KTX_RC_OK;
}

int32_t KTX_TransportUdp::SetAddress(const KTX_DeviceAddress &) { return KTX_RC_OPERATION_NOT_IMPLEMENTED_YET; }

int KTX_TransportUdp::GetReadHandle() {
  KTX_ObjectLockGuard guard(*this);
  return c_iSocket;
}

int KTX_TransportUdp::GetExceptHandle() { return GetReadHandle(); }

uint16_t KTX_TransportUdp::GetLocalPort() {
  KTX_DeviceAddress own;
  own.SetStackVariable();
  CopyOwnAddress(own);
  return own.GetPort();
}

int32_t KTX_TransportUdp::GetTimeOutMs(uint32_t p_u32Now) {
  KTX_Protocol *protocol = AcquireProtocol();
  if (protocol == nullptr) {
    return 0;
  }
  const int32_t wait = protocol->GetTimeOutMs(p_u32Now);
  protocol->DecReferenceCount();
  return wait;
}

int32_t KTX_TransportUdp::SendMessage(KTX_Message *p_poMessage) {
  KTX_ObjectLockGuard guard(*this);
  if (c_iSocket < 0) {
    return KTX_RC_INTERNAL_ERROR;
  }
  KTX_DeviceAddress &destination = p_poMessage->GetDestination();
  const sockaddr_in &to = destination.GetSocketAddress();
  if (destination.GetKind() != KTX_ADDRESS_ETHERNET || to.sin_family != AF_INET) {
    return KTX_RC_INTERNAL_ERROR;
  }
  int32_t rc = KTX_RC_OK;
  const bool broadcast = to.sin_addr.s_addr == htonl(INADDR_BROADCAST) || destination.GetBroadcast();
  if (broadcast && !c_bBroadcastEnabled) {
    const int on = 1;
    if (::setsockopt(c_iSocket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
      KTX_LOG(KTX_ASSERT, "Socket could not be set to broadcast: %d", errno);
      rc = KTX_RC_OPERATION_FAILED;
    } else {
      c_bBroadcastEnabled = true;
    }
  }
  // A failed send is not reported: the request runs into its time-out.
  (void)::sendto(c_iSocket, p_poMessage->GetMessageData(), static_cast<size_t>(p_poMessage->GetMessageLength()),
                 MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&to), sizeof to);
  return rc;
}

int32_t KTX_TransportUdp::ReadReady() {
  KTX_Protocol *protocol = GetProtocol();
  const int sock = GetReadHandle();
  if (protocol == nullptr || sock < 0) {
    return KTX_RC_OK;
  }
  KTX_MessageSupervisor *message = protocol->NewMessage();
  if (message == nullptr) {
    // Take the datagram off the socket all the same, or it would be reported ready for ever.
    uint8_t discard[1];
    (void)::recv(sock, discard, sizeof discard, MSG_DONTWAIT);
    return KTX_RC_MALLOC_FAILED;
  }
  sockaddr_in from{};
  iovec iov{message->GetBuffer(), static_cast<size_t>(message->GetBufferSize())};
  msghdr header{};
  header.msg_name = &from;
  header.msg_namelen = sizeof from;
  header.msg_iov = &iov;
  header.msg_iovlen = 1;
  const ssize_t n = ::recvmsg(sock, &header, MSG_DONTWAIT);
  // A datagram longer than a message can be is cut by the receive: drop it whole.
  if (n <= 0 || (header.msg_flags & MSG_TRUNC) != 0) {
    message->Delete();
    return KTX_RC_OK;
  }
  const uint8_t *ip = reinterpret_cast<const uint8_t *>(&from.sin_addr.s_addr);
  const uint8_t octets[4] = {ip[0], ip[1], ip[2], ip[3]};
  message->GetSource().SetIpv4(octets, ntohs(from.sin_port));
  const int32_t rc = message->Decode(static_cast<int32_t>(n));
  if (rc != KTX_RC_OK) {
    message->Delete();
    return rc;
  }
  return protocol->Receive(message);
}
