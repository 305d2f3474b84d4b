// Feeds arbitrary bytes to the message decoder and to the serial deframer.
// Whatever decodes must also frame, deframe and decode again to the same bytes,
// and its payload readers and log text must stay inside the message.

#include "link/MessageSupervisor.h"
#include "runtime/DebugLog.h"
#include "runtime/StringAscii.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Deleter {
  void operator()(KTX_MessageSupervisor *p_poMessage) const { p_poMessage->Delete(); }
};
using Message = std::unique_ptr<KTX_MessageSupervisor, Deleter>;

void ReadEverything(KTX_MessageSupervisor &p_roMessage) {
  KTX_StringAscii text;
  text.SetStackVariable();
  p_roMessage.FormatText(text);
  p_roMessage.RewindPayload();
  uint32_t value = 0;
  for (int32_t guard = 0; guard < KTX_MessageSupervisor::c_i32BufferSize && p_roMessage.GetPackedUint32(&value) == 0;
       ++guard) {
  }
  p_roMessage.RewindPayload();
  uint16_t u16 = 0;
  for (int32_t guard = 0; guard < KTX_MessageSupervisor::c_i32BufferSize && p_roMessage.GetUint16(&u16) == 0; ++guard) {
  }
}

// A decoded message goes out framed and comes back as the same bytes.
void RoundTrip(KTX_MessageSupervisor &p_roMessage) {
  const int32_t length = p_roMessage.GetMessageLength();
  const std::vector<uint8_t> original(p_roMessage.GetMessageData(), p_roMessage.GetMessageData() + length);
  std::vector<uint8_t> framed(static_cast<size_t>(2 * length + 2));
  int32_t framedLength = 0;
  if (p_roMessage.Frame(framed.data(), static_cast<int32_t>(framed.size()), &framedLength) != 0) {
    std::abort();
  }
  Message again(KTX_MessageSupervisor::NewMessage());
  int32_t consumed = 0;
  if (again->Deframe(framed.data(), framedLength, &consumed) != 0 || consumed != framedLength ||
      again->GetReceivedLength() != length ||
      std::memcmp(again->GetBuffer(), original.data(), static_cast<size_t>(length)) != 0) {
    std::abort();
  }
  if (again->Decode(length) != 0 || again->GetPayloadLength() != p_roMessage.GetPayloadLength()) {
    std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool once = [] {
    SetLogFileName("/dev/null");
    return true;
  }();
  (void)once;
  if (size < 1) {
    return 0;
  }
  // The first byte chooses the mode and how the serial line cuts the rest.
  const uint8_t control = data[0];
  KTX_MessageSupervisor::SetLegacyMode((control & 0x80) != 0);
  const int32_t piece = 1 + (control & 0x3F);
  const uint8_t *bytes = data + 1;
  const int32_t count = static_cast<int32_t>(size - 1);

  // As a datagram.
  {
    Message m(KTX_MessageSupervisor::NewMessage());
    const int32_t copied = count < m->GetBufferSize() ? count : m->GetBufferSize();
    std::memcpy(m->GetBuffer(), bytes, static_cast<size_t>(copied));
    if (m->Decode(count) == 0) {
      ReadEverything(*m);
      RoundTrip(*m);
    }
  }

  // As a serial byte stream, delivered in pieces.
  Message m(KTX_MessageSupervisor::NewMessage());
  int32_t at = 0;
  int32_t held = 0;
  for (int32_t guard = 0; guard < 4 * count + 4 && at < count; ++guard) {
    const int32_t available = (count - at < piece + held ? count - at : piece + held);
    int32_t consumed = 0;
    const int32_t rc = m->Deframe(bytes + at, available, &consumed);
    if (consumed < 0 || consumed > available) {
      std::abort();
    }
    at += consumed;
    // An escape left at the end of a piece comes again with the next one.
    held = available - consumed;
    if (rc == 0) {
      if (m->Decode(m->GetReceivedLength()) == 0) {
        ReadEverything(*m);
      }
      m.reset(KTX_MessageSupervisor::NewMessage());
      held = 0;
    } else if (consumed == 0 && available == count - at) {
      break;
    }
  }
  KTX_MessageSupervisor::SetLegacyMode(false);
  return 0;
}
