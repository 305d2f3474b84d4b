#include "runtime/ReturnCode.h"
#include "runtime/SocketLayerPosix.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A UDP socket bound to an ephemeral port on the loopback address.
int OpenLoopbackSocket(sockaddr_in &p_roAddress) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  p_roAddress = sockaddr_in{};
  p_roAddress.sin_family = AF_INET;
  p_roAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  p_roAddress.sin_port = 0;
  socklen_t length = sizeof p_roAddress;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&p_roAddress), sizeof p_roAddress) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr *>(&p_roAddress), &length) != 0) {
    return -1;
  }
  return fd;
}

KTX_SocketWait WaitFor(int p_iSocket, bool p_bRead, bool p_bWrite, bool p_bExcept) {
  return KTX_SocketWait{p_iSocket, p_bRead, p_bWrite, p_bExcept, true, true, true};
}

TEST(SocketLayer, StartAndStopNest) {
  EXPECT_FALSE(SocketsStarted());
  EXPECT_EQ(StartSockets(), KTX_RC_OK);
  EXPECT_EQ(StartSockets(), KTX_RC_OK);
  EXPECT_EQ(StopSockets(), KTX_RC_OK);
  EXPECT_TRUE(SocketsStarted());
  EXPECT_EQ(StopSockets(), KTX_RC_OK);
  EXPECT_FALSE(SocketsStarted());
  // An unmatched stop changes nothing and still succeeds.
  EXPECT_EQ(StopSockets(), KTX_RC_OK);
  EXPECT_FALSE(SocketsStarted());
}

TEST(SocketLayer, WaitReportsEachKindOfReadiness) {
  ASSERT_EQ(StartSockets(), KTX_RC_OK);
  sockaddr_in addressA{}, addressB{};
  const int a = OpenLoopbackSocket(addressA);
  const int b = OpenLoopbackSocket(addressB);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);

  // Nothing to read yet: the wait runs out and clears every flag.
  KTX_SocketWait idle[2] = {WaitFor(a, true, false, true), WaitFor(b, true, false, true)};
  EXPECT_EQ(KTX_SelectSockets(idle, 2, 0), 0);
  for (const KTX_SocketWait &w : idle) {
    EXPECT_FALSE(w.bReadReady || w.bWriteReady || w.bExceptReady);
  }

  // A datagram socket can always be written to.
  KTX_SocketWait writable = WaitFor(a, false, true, false);
  EXPECT_EQ(KTX_SelectSockets(&writable, 1, 0), 1);
  EXPECT_TRUE(writable.bWriteReady);
  EXPECT_FALSE(writable.bReadReady);

  const char payload[] = "ping";
  ASSERT_EQ(::sendto(a, payload, sizeof payload, 0, reinterpret_cast<sockaddr *>(&addressB), sizeof addressB),
            static_cast<ssize_t>(sizeof payload));
  KTX_SocketWait incoming[2] = {WaitFor(a, true, false, false), WaitFor(b, true, false, false)};
  EXPECT_EQ(KTX_SelectSockets(incoming, 2, 10000), 1);
  EXPECT_FALSE(incoming[0].bReadReady);
  EXPECT_TRUE(incoming[1].bReadReady);
  // A socket nobody asks about is not reported.
  KTX_SocketWait unasked[2] = {WaitFor(b, false, false, false), WaitFor(a, true, false, false)};
  EXPECT_EQ(KTX_SelectSockets(unasked, 2, 0), 0);
  EXPECT_FALSE(unasked[0].bReadReady);

  EXPECT_EQ(KTX_CloseSocket(a), 0);
  EXPECT_EQ(KTX_CloseSocket(b), 0);
  // Closed sockets are a platform error, for the wait and for a second close.
  KTX_SocketWait closed = WaitFor(b, true, false, false);
  EXPECT_EQ(KTX_SelectSockets(&closed, 1, 0), -1);
  EXPECT_EQ(KTX_CloseSocket(b), -1);
  EXPECT_EQ(KTX_SelectSockets(nullptr, 1, 0), -1);
  EXPECT_EQ(StopSockets(), KTX_RC_OK);
}

} // namespace
