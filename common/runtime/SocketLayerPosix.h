#pragma once
// The process's socket layer: start-up and clean-up around all socket use, and
// thin pass-throughs for waiting on sockets and closing them. Waiting is done
// with poll(); the interface keeps the three kinds of readiness of a select-style
// wait (read, write, exception).

#include <cstdint>

// Start-up of the socket layer. Returns 0, or KTX_RC_SOCKET_ERROR when the
// platform cannot provide IPv4 datagram sockets. Calls nest with StopSockets.
int32_t StartSockets();
// Clean-up matching one StartSockets. Returns 0.
int32_t StopSockets();
// Whether the socket layer is started (for diagnostics and tests).
bool SocketsStarted();

// One socket of a wait: what to wait for, and what it became ready for.
struct KTX_SocketWait {
  int32_t i32Socket;
  bool bWantRead;
  bool bWantWrite;
  bool bWantExcept;
  bool bReadReady;
  bool bWriteReady;
  bool bExceptReady;
};

// Waits until one of the sockets is ready for what is wanted of it, at most
// p_i32TimeoutMs (-1: for ever). Returns the number of sockets that became ready
// (0 when the time ran out), or -1 on a platform error, such as a socket that is
// not open. A socket in an error or hung-up state counts as ready to read, so
// that its error is picked up by the read.
int32_t KTX_SelectSockets(KTX_SocketWait *p_poSockets, int32_t p_i32Count, int32_t p_i32TimeoutMs);
// Closes a socket. Returns 0, or -1 when the platform refused.
int32_t KTX_CloseSocket(int32_t p_i32Socket);
