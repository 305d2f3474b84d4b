#include "runtime/SocketLayerPosix.h"

#include "runtime/ReturnCode.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <netinet/in.h>
#include <vector>

namespace {

std::atomic<int32_t> g_i32StartCount{0};

} // namespace

int32_t StartSockets() {
  // The platform needs no start-up call; check instead that IPv4 datagram sockets,
  // the only kind this program uses, can be had at all.
  const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (probe < 0) {
    return KTX_RC_SOCKET_ERROR;
  }
  ::close(probe);
  g_i32StartCount.fetch_add(1, std::memory_order_acq_rel);
  return KTX_RC_OK;
}

int32_t StopSockets() {
  int32_t count = g_i32StartCount.load(std::memory_order_acquire);
  while (count > 0 && !g_i32StartCount.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel)) {
  }
  return KTX_RC_OK;
}

bool SocketsStarted() { return g_i32StartCount.load(std::memory_order_acquire) > 0; }

int32_t KTX_SelectSockets(KTX_SocketWait *p_poSockets, int32_t p_i32Count, int32_t p_i32TimeoutMs) {
  if (p_i32Count < 0 || (p_i32Count > 0 && p_poSockets == nullptr)) {
    return -1;
  }
  std::vector<pollfd> fds(static_cast<size_t>(p_i32Count));
  for (int32_t i = 0; i < p_i32Count; ++i) {
    KTX_SocketWait &s = p_poSockets[i];
    s.bReadReady = s.bWriteReady = s.bExceptReady = false;
    short events = 0;
    events |= s.bWantRead ? POLLIN : 0;
    events |= s.bWantWrite ? POLLOUT : 0;
    events |= s.bWantExcept ? POLLPRI : 0;
    // A socket nobody waits on is left out, as an empty set entry would be.
    fds[i] = pollfd{events != 0 ? s.i32Socket : -1, events, 0};
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(p_i32TimeoutMs < 0 ? 0 : p_i32TimeoutMs);
  int rc;
  for (;;) {
    int timeout = -1;
    if (p_i32TimeoutMs >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      timeout = left > 0 ? static_cast<int>(left) : 0;
    }
    rc = ::poll(fds.data(), fds.size(), timeout);
    // A signal cuts the wait short: wait again for what is left of the time.
    if (rc >= 0 || errno != EINTR) {
      break;
    }
  }
  if (rc < 0) {
    return -1;
  }
  int32_t ready = 0;
  for (int32_t i = 0; i < p_i32Count; ++i) {
    const short got = fds[i].revents;
    if (got & POLLNVAL) {
      return -1;
    }
    KTX_SocketWait &s = p_poSockets[i];
    s.bReadReady = s.bWantRead && (got & (POLLIN | POLLERR | POLLHUP)) != 0;
    s.bWriteReady = s.bWantWrite && (got & (POLLOUT | POLLERR)) != 0;
    s.bExceptReady = s.bWantExcept && (got & POLLPRI) != 0;
    ready += (s.bReadReady || s.bWriteReady || s.bExceptReady) ? 1 : 0;
  }
  return ready;
}

int32_t KTX_CloseSocket(int32_t p_i32Socket) { return ::close(p_i32Socket) == 0 ? 0 : -1; }
