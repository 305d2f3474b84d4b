#include "CliRequest.h"

#include "link/Channel.h"
#include "link/MessageSupervisor.h"
#include "runtime/ReturnCode.h"

#include <chrono>

CCliRequest::CCliRequest() : KTX_StateMachine(KTX_BASE_CLASS_COM_BASE), c_bSettled(false), c_oAnswer{} {}

void CCliRequest::ChildNotificationOfEvent(KTX_StateMachine *p_poChild) {
  Answer answer{};
  answer.i32Result = p_poChild->GetResult();
  if (KTX_StateMachine *child = p_poChild->GetNextChild(nullptr)) {
    auto *response = static_cast<KTX_MessageSupervisor *>(child);
    answer.i32Result = KTX_RC_OK;
    answer.i32SensorResult = response->GetResult();
    answer.u16MessageId = response->GetMessageId();
    answer.vu8Payload.resize(static_cast<size_t>(response->GetRemaining()));
    if (!answer.vu8Payload.empty()) {
      response->GetBytes(answer.vu8Payload.data(), static_cast<int32_t>(answer.vu8Payload.size()));
    }
  } else if (answer.i32Result == KTX_RC_OK) {
    answer.i32Result = KTX_RC_OPERATION_FAILED;
  }
  std::lock_guard<std::mutex> lock(c_oMutex);
  c_oAnswer = std::move(answer);
  c_bSettled = true;
  c_oSettled.notify_all();
}

int32_t CCliRequest::Exchange(KTX_Channel &p_roChannel, KTX_MessageSupervisor *p_poMessage, int32_t p_i32TimeoutMs,
                              Answer &p_roAnswer) {
  {
    std::lock_guard<std::mutex> lock(c_oMutex);
    c_bSettled = false;
  }
  int32_t rc = p_poMessage->RegisterParent(this);
  if (rc == KTX_RC_OK) {
    rc = p_roChannel.Submit(p_poMessage);
  }
  if (rc == KTX_RC_OK) {
    std::unique_lock<std::mutex> lock(c_oMutex);
    if (c_oSettled.wait_for(lock, std::chrono::milliseconds(p_i32TimeoutMs), [&] { return c_bSettled; })) {
      p_roAnswer = c_oAnswer;
    } else {
      rc = KTX_RC_TIME_OUT;
    }
  }
  p_poMessage->DeregisterParent(this);
  p_poMessage->Delete();
  return rc != KTX_RC_OK ? rc : p_roAnswer.i32Result;
}
