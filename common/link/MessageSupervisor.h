#pragma once
// One supervisor message and its codec. Operations append typed payload
// fields; Encode puts the header in front of the payload (protocol byte,
// device-id addressing or address options, CRC, sequence number, message id,
// payload length); Frame wraps the result for a serial line; Deframe collects a
// message from serial bytes; Decode parses a received header and applies the
// address-option filters; ToText renders the message for the log.
//
// Every number in the header and in fixed payload fields is big-endian. Each
// message carries its own fixed buffer, so nothing here allocates. A message is
// used by one thread at a time; only the sequence counter is shared, under the
// class lock of KTX_BASE_CLASS_MESSAGE_SUPERVISOR.

#include "buffers/BufferFixed.h"
#include "link/Message.h"
#include "link/MessageIds.h"

#include <cstdint>

class KTX_StringAscii;

class KTX_MessageSupervisor : public KTX_Message {
public:
  // Header and payload together.
  static constexpr int32_t c_i32BufferSize = 1652;
  // Where the payload of a fresh message starts, leaving room for the header in front.
  static constexpr int32_t c_i32FreshPayloadStart = 44;
  // The payload may reach this many bytes short of the buffer's end.
  static constexpr int32_t c_i32PayloadReserve = 8;
  // The header moves towards the buffer's end in steps of this size when it needs room.
  static constexpr int32_t c_i32MoveStep = 32;
  static constexpr int32_t c_i32MaxAddressOptions = 255;
  // The CRC of a message continues from this value as a previous CRC-32.
  static constexpr uint32_t c_u32CrcStart = 0x05DE0312u;

  KTX_MessageSupervisor();
  ~KTX_MessageSupervisor() override;

  // Detaches all children first.
  void Delete() override;

  // A new message after Reset, or none when memory is exhausted.
  static KTX_MessageSupervisor *NewMessage();
  void Reset();

  // The process-wide sequence counter: add 1, and 1 more when the low byte of
  // the result is 0. Returns the low 16 bits, never with a zero low byte.
  static uint16_t NextSequence();
  // Legacy communication: requests go without address part and CRC, and
  // received messages without a matching CRC are read as having none.
  static void SetLegacyMode(bool p_bLegacy);
  static bool GetLegacyMode();

  uint8_t *GetMessageData() override { return c_au8Buffer + c_i32MessageStart; }
  int32_t GetMessageLength() const override { return c_i32HeaderLength + c_i32PayloadLength + c_i32TrailingLength; }
  uint8_t *GetBuffer() override { return c_au8Buffer; }
  int32_t GetBufferSize() const override { return c_i32BufferSize; }
  int32_t Encode() override;
  int32_t Frame(uint8_t *p_pu8Out, int32_t p_i32Capacity, int32_t *p_pi32Length) override;
  int32_t Decode(int32_t p_i32Length) override;

  // The sensor side. EncodeResponse puts the header of the response to a request
  // of protocol p_i32RequestProtocol in front of the payload: 178 after 177, with
  // device-id addressing from the destination and source device ids; 180 after
  // 179, with the address options of the destination (none for a plain address);
  // the request's sequence number and p_i32Result as the result field. Other
  // protocols: KTX_RC_INVALID_PARAMETER.
  int32_t EncodeResponse(int32_t p_i32RequestProtocol, uint16_t p_u16Sequence, int32_t p_i32Result);
  // The MAC address and device id Decode compares address options with (zeros
  // until set: the wizard has neither). Kept across Reset.
  void SetLocalIdentity(const KTX_DeviceAddress::MacAddress &p_rau8Mac, const KTX_DeviceAddress::DeviceId &p_rau8Id) {
    c_au8LocalMac = p_rau8Mac;
    c_au8LocalId = p_rau8Id;
  }
  int32_t Deframe(const uint8_t *p_pu8Data, int32_t p_i32Count, int32_t *p_pi32Consumed) override;

  void SetMessageId(uint16_t p_u16Id) { c_u16MessageId = p_u16Id; }
  uint16_t GetMessageId() const { return c_u16MessageId; }
  int32_t GetProtocol() const { return c_i32Protocol; }
  int32_t GetHeaderLength() const { return c_i32HeaderLength; }
  int32_t GetPayloadLength() const { return c_i32PayloadLength; }
  // Bytes Deframe has collected for the frame under way or just ended.
  int32_t GetReceivedLength() const { return c_i32Received; }

  // Payload writers. When the bytes do not fit, the write position is parked
  // at the buffer's end (every later write fails too) and they return
  // KTX_RC_BUFFER_OVERFLOW.
  int32_t PutUint8(uint8_t p_u8Value);
  int32_t PutUint16(uint16_t p_u16Value);
  int32_t PutUint32(uint32_t p_u32Value);
  int32_t PutBytes(const uint8_t *p_pu8Data, int32_t p_i32Count);
  int32_t PutPackedUint32(uint32_t p_u32Value);
  int32_t PutPackedPair(uint32_t p_u32First, uint32_t p_u32Second);
  // n payload bytes for the caller to fill, or none.
  uint8_t *ReservePayload(int32_t p_i32Count);

  // Payload readers. Reading past the payload's end parks the read position
  // there and returns KTX_RC_BUFFER_EMPTY.
  int32_t GetUint8(uint8_t *p_pu8Value);
  int32_t GetUint16(uint16_t *p_pu16Value);
  int32_t GetUint32(uint32_t *p_pu32Value);
  // Also takes 0xFD followed by three bytes, a 24-bit value.
  int32_t GetPackedUint32(uint32_t *p_pu32Value);
  int32_t GetBytes(uint8_t *p_pu8Out, int32_t p_i32Count);
  const uint8_t *GetPayloadPointer(int32_t p_i32Count);
  // KTX_RC_INVALID_PARAMETER when the packed integer read is not p_u32Value.
  int32_t ExpectPackedUint32(uint32_t p_u32Value);
  int32_t GetRemaining() const { return c_i32PayloadStart + c_i32PayloadLength - c_i32ReadPosition; }
  void RewindPayload() { c_i32ReadPosition = c_i32PayloadStart; }

  // Logs the message's line at MESSAGE level when that level is written.
  void ToText();
  // The line ToText logs.
  void FormatText(KTX_StringAscii &p_roText);

private:
  int32_t WriteSpace(int32_t p_i32Count);
  const uint8_t *ReadSpace(int32_t p_i32Count);
  int32_t BuildHeader(uint8_t *p_pu8Header, int32_t *p_pi32Length, int32_t *p_pi32CrcAt, int32_t *p_pi32SequenceAt,
                      bool p_bResponse, int32_t p_i32Result);
  int32_t EncodeAs(int32_t p_i32Protocol, bool p_bResponse, uint16_t p_u16Sequence, int32_t p_i32Result);
  int32_t DecodeDeviceIdAddress(int32_t p_i32Length, int32_t &p_ri32Position, bool &p_rbHasCrc);
  int32_t DecodeAddressOptions(int32_t p_i32Length, int32_t &p_ri32Position);
  void FormatOptions(KTX_StringAscii &p_roText);
  void FormatPayload(KTX_StringAscii &p_roText, bool p_bRequest);
  static uint32_t MessageCrc(const uint8_t *p_pu8Message, int32_t p_i32Length, int32_t p_i32CrcAt, uint32_t p_u32Start);

  int32_t c_i32Protocol;
  uint16_t c_u16MessageId;
  int32_t c_i32MessageStart;
  int32_t c_i32PayloadStart;
  int32_t c_i32WritePosition;
  int32_t c_i32ReadPosition;
  int32_t c_i32HeaderLength;
  int32_t c_i32PayloadLength;
  int32_t c_i32TrailingLength;
  // A payload write did not fit: the write position is parked and stays so.
  bool c_bWriteOverflow;
  // Serial reception: inside a frame, and how many bytes it has collected.
  bool c_bInFrame;
  int32_t c_i32Received;
  KTX_DeviceAddress::MacAddress c_au8LocalMac{};
  KTX_DeviceAddress::DeviceId c_au8LocalId{};
  // Packed integers go through the buffer codec, over the payload bytes.
  KTX_BufferFixed c_oPackedWindow;
  uint8_t c_au8Buffer[c_i32BufferSize];
};
