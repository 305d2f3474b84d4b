#pragma once
// The process-wide meeting point between the threads that open channels and
// the reactor's workers. Channels register (protocol, transport) pairs here;
// the worker of the link's category picks new pairs up and opens them, and
// moves a transport to another address when a sender asks it to.

#include <cstdint>

class KTX_DeviceAddress;
class KTX_Protocol;
class KTX_Transport;

class KTX_TransportList {
public:
  static constexpr int32_t c_i32MaxTransports = 4;
  static constexpr int32_t c_i32MaxRetargets = 5;
  static constexpr int32_t c_i32RetargetWaitMs = 60000;

  // Enters the pair (the transport takes the protocol, no socket is opened).
  // 0, or KTX_RC_INTERNAL_ERROR when the category already holds four.
  static int32_t Register(KTX_Protocol *p_poProtocol, KTX_Transport *p_poTransport);
  // Worker side: opens every transport registered since p_ri32Position and
  // serves pending re-target requests. A failed opening is returned at once;
  // the same transport is tried again on the next call.
  static int32_t StartTransports(int32_t p_i32Category, int32_t &p_ri32Position);
  // Sender side: has the worker move the transport to p_roAddress and waits
  // for it (at most 60 s). Called on the worker itself, it moves it at once.
  static int32_t RetargetTransport(KTX_Transport *p_poTransport, KTX_DeviceAddress &p_roAddress);
  // Worker side: closes each registered transport through its protocol.
  static int32_t CloseTransports(int32_t p_i32Category);
  // Drops every registration of both categories.
  static int32_t ClearTransportList();
  static int32_t GetTransportCount(int32_t p_i32Category);
  // The transport at p_i32Index with a reference the caller releases, or none.
  static KTX_Transport *AcquireTransport(int32_t p_i32Category, int32_t p_i32Index);

  // A wake-up the reactor installs so that a new registration or a re-target
  // request is served at once instead of at the next pass.
  using WakeFunction = void (*)(int32_t p_i32Category);
  static void SetWakeFunction(WakeFunction p_pfnWake);
  // The worker of a category records its thread so that a re-target asked for
  // on that very thread is done in place instead of waited for.
  static void SetWorkerThread(int32_t p_i32Category, uint32_t p_u32ThreadId);
  // True on the worker thread of the category.
  static bool IsWorkerThread(int32_t p_i32Category);
};
