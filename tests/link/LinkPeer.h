#pragma once
// Test support for the device link: a running message reactor, an emulated
// sensor as the peer, and an operation that records what it is told.

#include "link/MessageIds.h"
#include "link/MessageReactor.h"
#include "link/MessageSupervisor.h"
#include "operations/StateMachine.h"
#include "runtime/ActiveObjectBuilder.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

// The reactor of the program, started for a test and stopped with it.
class ReactorUnderTest {
public:
  ReactorUnderTest() {
    KTX_MessageReactor::RegisterWithBuilder();
    c_poReactor = static_cast<KTX_MessageReactor *>(GetMessageReactor());
    c_poReactor->DoPreStart();
    c_poReactor->DoStart();
  }
  ~ReactorUnderTest() { Stop(); }
  void Stop() {
    if (c_poReactor == nullptr) return;
    if (c_poReactor->GetState() == KTX_ActiveObject::c_eStarted) {
      c_poReactor->DoPreStop();
      c_poReactor->DoStop();
    }
    c_poReactor->DoDestroy();
    c_poReactor = nullptr;
    DeleteActiveObjectBuilder();
  }
  KTX_MessageReactor *Get() { return c_poReactor; }

private:
  KTX_MessageReactor *c_poReactor;
};

// An operation that sends requests and records each notification of them.
class RecordingOperation : public KTX_StateMachine {
public:
  struct Outcome {
    KTX_Message *poRequest;
    int32_t i32RequestResult;
    int32_t i32Retries;
    bool bAnswered;
    int32_t i32ResponseResult;
    int32_t i32ResponseProtocol;
    uint16_t u16ResponseId;
    std::vector<uint8_t> vu8Payload;
  };

  RecordingOperation() : KTX_StateMachine(KTX_BASE_CLASS_COM_BASE) {}

  void ChildNotificationOfEvent(KTX_StateMachine *p_poChild) override {
    Outcome o{};
    KTX_Message *request = static_cast<KTX_Message *>(p_poChild);
    o.poRequest = request;
    o.i32RequestResult = request->GetResult();
    o.i32Retries = request->GetRetries();
    if (KTX_StateMachine *child = request->GetNextChild(nullptr)) {
      auto *response = static_cast<KTX_MessageSupervisor *>(child);
      o.bAnswered = true;
      o.i32ResponseResult = response->GetResult();
      o.i32ResponseProtocol = response->GetProtocol();
      o.u16ResponseId = response->GetMessageId();
      o.vu8Payload.resize(static_cast<size_t>(response->GetRemaining()));
      if (!o.vu8Payload.empty()) response->GetBytes(o.vu8Payload.data(), static_cast<int32_t>(o.vu8Payload.size()));
    }
    std::lock_guard<std::mutex> lock(c_oMutex);
    c_voOutcomes.push_back(std::move(o));
    c_oChanged.notify_all();
  }

  // A new request to p_roDestination, this operation its parent.
  KTX_MessageSupervisor *NewRequest(const KTX_DeviceAddress &p_roDestination, uint16_t p_u16Id) {
    KTX_MessageSupervisor *m = KTX_MessageSupervisor::NewMessage();
    m->SetMessageId(p_u16Id);
    m->SetDestination(p_roDestination);
    m->RegisterParent(this);
    return m;
  }

  // Releases a request and its response.
  void Release(KTX_Message *p_poRequest) {
    p_poRequest->DeregisterParent(this);
    p_poRequest->Delete();
  }

  bool WaitForCount(size_t p_szCount, int p_iTimeoutMs = 20000) {
    std::unique_lock<std::mutex> lock(c_oMutex);
    return c_oChanged.wait_for(lock, std::chrono::milliseconds(p_iTimeoutMs),
                               [&] { return c_voOutcomes.size() >= p_szCount; });
  }
  std::vector<Outcome> Outcomes() {
    std::lock_guard<std::mutex> lock(c_oMutex);
    return c_voOutcomes;
  }

private:
  std::mutex c_oMutex;
  std::condition_variable c_oChanged;
  std::vector<Outcome> c_voOutcomes;
};
