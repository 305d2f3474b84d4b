#pragma once
// One request sent through the device link and waited for: the command line's
// way to drive the link in lock-step. The operation is the request's parent and
// hears of the answer (or the time-out) on the reactor's worker.

#include "operations/StateMachine.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class KTX_Channel;
class KTX_DeviceAddress;
class KTX_MessageSupervisor;

class CCliRequest : public KTX_StateMachine {
public:
  struct Answer {
    int32_t i32Result;       // KTX_RC_OK when answered, else why not (KTX_RC_TIME_OUT, ...)
    int32_t i32SensorResult; // the code the sensor put into its answer
    uint16_t u16MessageId;
    std::vector<uint8_t> vu8Payload;
  };

  CCliRequest();

  // Sends the message (its parent becomes this operation) and waits for it to
  // be settled, at most p_i32TimeoutMs.
  int32_t Exchange(KTX_Channel &p_roChannel, KTX_MessageSupervisor *p_poMessage, int32_t p_i32TimeoutMs,
                   Answer &p_roAnswer);

  void ChildNotificationOfEvent(KTX_StateMachine *p_poChild) override;

private:
  std::mutex c_oMutex;
  std::condition_variable c_oSettled;
  bool c_bSettled;
  Answer c_oAnswer;
};
