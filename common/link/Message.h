#pragma once
// One message of a link together with what the protocol needs to send it and
// wait for its answer. A message is a state machine: the operation that sends a
// request registers as its parent and is notified when the response arrives or
// the request times out. The codec is the subclass's.

#include "link/DeviceAddress.h"
#include "operations/StateMachine.h"

#include <cstdint>

class KTX_Message : public KTX_StateMachine {
public:
  static constexpr int32_t c_i32DefaultRetries = 4;

  explicit KTX_Message(int32_t p_i32ClassType);
  ~KTX_Message() override;

  // The first byte of the message (the protocol byte once encoded or decoded).
  virtual uint8_t *GetMessageData() = 0;
  virtual int32_t GetMessageLength() const = 0;
  // The receive buffer: where a transport puts the bytes it received.
  virtual uint8_t *GetBuffer() = 0;
  virtual int32_t GetBufferSize() const = 0;
  virtual int32_t Encode() = 0;
  virtual int32_t Frame(uint8_t *p_pu8Out, int32_t p_i32Capacity, int32_t *p_pi32Length) = 0;
  virtual int32_t Decode(int32_t p_i32Length) = 0;
  virtual int32_t Deframe(const uint8_t *p_pu8Data, int32_t p_i32Count, int32_t *p_pi32Consumed) = 0;

  void SetDestination(const KTX_DeviceAddress &p_roAddress) { c_oDestination.CopyFrom(p_roAddress); }
  void SetSource(const KTX_DeviceAddress &p_roAddress) { c_oSource.CopyFrom(p_roAddress); }
  KTX_DeviceAddress &GetDestination() { return c_oDestination; }
  KTX_DeviceAddress &GetSource() { return c_oSource; }
  int32_t GetSequence() const { return c_i32Sequence; }
  void SetRetries(int32_t p_i32Retries) { c_i32Retries = p_i32Retries; }
  int32_t GetRetries() const { return c_i32Retries; }

  // Set directly by the protocol and the operations that send the message.
  // Extra waiting time for the response, ms.
  int32_t c_i32TimeOut;
  // Tick (ms) at which the response is due.
  uint32_t c_u32Deadline;
  int32_t c_i32ExpectedResponses;
  // When non-zero the protocol holds the message back this long before sending.
  int32_t c_i32SendDelay;
  // Tick (ms) at which a held-back message is due.
  uint32_t c_u32SendTime;

protected:
  KTX_DeviceAddress c_oDestination;
  KTX_DeviceAddress c_oSource;
  int32_t c_i32Sequence;
  int32_t c_i32Retries;
};
