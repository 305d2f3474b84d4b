#include "link/TransportRs485.h"

#include "link/MessageSupervisor.h"
#include "link/Protocol.h"
#include "link/TransportList.h"
#include "operations/StateMachine.h"
#include "runtime/DebugLog.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"

#include <cstring>

namespace {

// How long a write may wait for the port to take all bytes.
constexpr int32_t kWriteTimeoutMs = 2000;

} // namespace

KTX_TransportRs485::KTX_TransportRs485()
    : KTX_Transport(KTX_BASE_CLASS_TRANSPORT_RS485, KTX_TRANSPORT_SERIAL), c_i32OpenPort(0), c_au8SendBuffer{},
      c_au8ReceiveBuffer{}, c_i32ReceivedCount(0), c_poUnderConstruction(nullptr) {}

KTX_TransportRs485::~KTX_TransportRs485() {
  if (c_poUnderConstruction != nullptr) {
    c_poUnderConstruction->Delete();
  }
}

int32_t KTX_TransportRs485::Open(KTX_Protocol *p_poProtocol) {
  OpenPorts();
  return KTX_Transport::Open(p_poProtocol);
}

void KTX_TransportRs485::OpenPorts() {
  KTX_DeviceAddress own;
  own.SetStackVariable();
  CopyOwnAddress(own);
  KTX_StringAscii portName;
  portName.SetStackVariable();
  int32_t lastError = ENOENT;
  if (own.GetKind() == KTX_ADDRESS_SERIAL) {
    for (own.FirstPort(portName); portName.GetLength() > 0; own.NextPort(portName)) {
      const int32_t port = own.GetCurrentPort();
      lastError = c_oPort.Open(OsalSerialPort::ResolveComPort(port));
      if (lastError == 0) {
        c_i32OpenPort = port;
        KTX_LOG(KTX_INFO, "%s opened %s.", GetName(), portName.GetText());
        break;
      }
    }
  }
  if (!c_oPort.IsOpen()) {
    KTX_LOG(KTX_WARNING, "%s CreateFile failed with error %d.", GetName(), lastError);
    return;
  }
  int32_t err = 0;
  const int32_t step = c_oPort.Configure(err);
  if (step == 1) {
    KTX_LOG(KTX_WARNING, "GetCommState failed with error %d.", err);
    return;
  }
  if (step == 2) {
    KTX_LOG(KTX_WARNING, "SetCommState failed with error %d.", err);
    return;
  }
  c_i32ReceivedCount = 0;
  // From now on the own address is the single port opened, with the address's device id.
  KTX_DeviceAddress opened;
  opened.SetStackVariable();
  opened.CopyFrom(own);
  KTX_StringAscii text;
  text.SetStackVariable();
  text.Assign("COM");
  text.AppendDecimal(static_cast<uint32_t>(c_i32OpenPort), false);
  if (opened.Parse(text.GetText()) == KTX_RC_OK) {
    opened.SetDeviceId(own.GetDeviceId());
    StoreOwnAddress(opened);
  }
}

void KTX_TransportRs485::ClosePort() {
  if (c_oPort.IsOpen()) {
    KTX_LOG(KTX_INFO, "%s closed COM%d.", GetName(), c_i32OpenPort);
    c_oPort.Close();
  }
  c_i32OpenPort = 0;
  c_i32ReceivedCount = 0;
  KTX_DeviceAddress none;
  none.SetStackVariable();
  StoreOwnAddress(none);
}

int32_t KTX_TransportRs485::Close() {
  KTX_Transport::Close();
  ClosePort();
  if (c_poUnderConstruction != nullptr) {
    c_poUnderConstruction->Delete();
    c_poUnderConstruction = nullptr;
  }
  return KTX_RC_OK;
}

int32_t KTX_TransportRs485::SetAddress(const KTX_DeviceAddress &p_roAddress) {
  ClosePort();
  KTX_Transport::SetAddress(p_roAddress);
  OpenPorts();
  return KTX_RC_OK;
}

int KTX_TransportRs485::GetReadHandle() { return c_oPort.IsOpen() ? c_oPort.GetFd() : c_iNoHandle; }

int32_t KTX_TransportRs485::GetTimeOutMs(uint32_t p_u32Now) {
  KTX_Protocol *protocol = AcquireProtocol();
  if (protocol == nullptr) {
    return 0;
  }
  const int32_t wait = protocol->GetTimeOutMs(p_u32Now);
  protocol->DecReferenceCount();
  return wait;
}

int32_t KTX_TransportRs485::ReadReady() {
  if (!c_oPort.IsOpen()) {
    return KTX_RC_OK;
  }
  const ssize_t n = c_oPort.ReadBurst(c_au8ReceiveBuffer + c_i32ReceivedCount,
                                      static_cast<size_t>(c_i32BufferSize - c_i32ReceivedCount), c_i32InterByteGapMs);
  if (n < 0) {
    KTX_LOG(KTX_ERROR, "%s::ReadSocketReady failed GetOverlappedResult", GetName());
    // A port whose line went away keeps reporting ready; do not spin on it.
    OsalSleep(100);
    return KTX_RC_INTERNAL_ERROR;
  }
  if (n == 0) {
    OsalSleep(100);
  }
  c_i32ReceivedCount += static_cast<int32_t>(n);
  KTX_Protocol *protocol = GetProtocol();
  int32_t rc = KTX_RC_BUFFER_EMPTY;
  while (c_i32ReceivedCount > 0 && protocol != nullptr) {
    if (c_poUnderConstruction == nullptr) {
      c_poUnderConstruction = protocol->NewMessage();
      if (c_poUnderConstruction == nullptr) {
        return KTX_RC_MALLOC_FAILED;
      }
    }
    int32_t consumed = 0;
    rc = c_poUnderConstruction->Deframe(c_au8ReceiveBuffer, c_i32ReceivedCount, &consumed);
    if (consumed > 0) {
      std::memmove(c_au8ReceiveBuffer, c_au8ReceiveBuffer + consumed, static_cast<size_t>(c_i32ReceivedCount - consumed));
      c_i32ReceivedCount -= consumed;
    }
    if (rc != KTX_RC_OK) {
      if (consumed == 0) {
        // Nothing taken: drop the held bytes rather than loop on them.
        c_i32ReceivedCount = 0;
      }
      break;
    }
    KTX_MessageSupervisor *message = c_poUnderConstruction;
    c_poUnderConstruction = nullptr;
    CopyOwnAddress(message->GetSource());
    message->Decode(message->GetReceivedLength());
    protocol->Receive(message);
  }
  return rc;
}

int32_t KTX_TransportRs485::SendMessage(KTX_Message *p_poMessage) {
  KTX_ObjectLockGuard guard(*this);
  KTX_DeviceAddress &destination = p_poMessage->GetDestination();
  if (IsOnSameLink(destination)) {
    const KTX_DeviceAddress::DeviceId id = destination.GetDeviceId();
    CopyOwnAddress(destination);
    destination.SetDeviceId(id);
  } else if (KTX_TransportList::IsWorkerThread(KTX_TRANSPORT_SERIAL)) {
    // A send from the worker itself (a re-send, a held-back request) moves the
    // transport in place. Other senders had the channel move it before they
    // took the protocol's lock; waiting for the worker here could deadlock.
    KTX_TransportList::RetargetTransport(this, destination);
  }
  if (!c_oPort.IsOpen()) {
    KTX_LOG(KTX_ERROR, "%s::SendTheMessage called but no Open Handle", GetName());
    return KTX_RC_COM_OPEN_FAILED;
  }
  if (p_poMessage->GetState() == KTX_SM_STATE_ABORT_REQUESTED) {
    p_poMessage->SetState(KTX_SM_STATE_ABORTED, 100, KTX_RC_ABORTED);
    return KTX_RC_ABORTING;
  }
  if (p_poMessage->GetState() == KTX_SM_STATE_ABORTED) {
    return KTX_RC_ABORTED;
  }
  int32_t length = 0;
  const int32_t rc = p_poMessage->Frame(c_au8SendBuffer, c_i32BufferSize, &length);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  if (DebugLevelEnabled(KTX_MSG_RAW)) {
    KTX_StringAscii hex;
    hex.SetStackVariable();
    hex.AppendHexBytes(c_au8SendBuffer, length);
    KTX_LOG(KTX_MSG_RAW, "SentRaw  -->> %s", hex.GetText());
  }
  // The write's completion is not awaited beyond handing the bytes to the port.
  (void)c_oPort.WriteAll(c_au8SendBuffer, static_cast<size_t>(length), kWriteTimeoutMs);
  return rc;
}
