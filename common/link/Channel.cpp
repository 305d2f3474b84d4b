#include "link/Channel.h"

#include "link/DeviceAddress.h"
#include "link/Message.h"
#include "link/Protocol.h"
#include "link/Transport.h"
#include "link/TransportList.h"
#include "runtime/ActiveObjectBuilder.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

KTX_Channel::KTX_Channel(KTX_DeviceAddress *p_poAddress)
    : KTX_BaseClass(KTX_BASE_CLASS_CHANNEL), c_poAddress(p_poAddress), c_poProtocol(nullptr), c_poTransport(nullptr) {
  if (c_poAddress != nullptr) {
    c_poAddress->IncReferenceCount();
  }
}

KTX_Channel::~KTX_Channel() {
  ReleaseLink();
  if (c_poAddress != nullptr) {
    c_poAddress->DecReferenceCount();
  }
}

void KTX_Channel::ReleaseLink() {
  // The channel made both: its references are the creator's, given up with Delete.
  if (c_poProtocol != nullptr) {
    c_poProtocol->Delete();
    c_poProtocol = nullptr;
  }
  if (c_poTransport != nullptr) {
    c_poTransport->Delete();
    c_poTransport = nullptr;
  }
}

int32_t KTX_Channel::Open() {
  KTX_ObjectLockGuard guard(*this);
  if (c_poProtocol != nullptr || c_poTransport != nullptr) {
    KTX_LOG(KTX_ASSERT, "KTX_Channel::Open: Channel already open");
    return KTX_RC_INVALID_CALL;
  }
  if (GetMessageReactor() == nullptr) {
    return KTX_RC_MALLOC_FAILED;
  }
  KTX_Protocol *protocol = nullptr;
  int32_t rc = CreateProtocol(protocol);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  KTX_Transport *transport = nullptr;
  rc = CreateTransport(transport);
  if (rc != KTX_RC_OK) {
    protocol->Delete();
    return rc;
  }
  // The channel's references are the creators' ones.
  c_poProtocol = protocol;
  c_poTransport = transport;
  rc = KTX_TransportList::Register(c_poProtocol, c_poTransport);
  if (rc == KTX_RC_OK) {
    rc = c_poProtocol->WaitUntilRunning(c_i32RunningWaitMs);
  }
  if (rc != KTX_RC_OK) {
    ReleaseLink();
  }
  return rc;
}

int32_t KTX_Channel::Submit(KTX_StateMachine *p_poMachine) {
  KTX_ObjectLockGuard guard(*this);
  if (c_poProtocol == nullptr || c_poTransport == nullptr) {
    const int32_t rc = Open();
    if (rc != KTX_RC_OK) {
      return rc;
    }
  }
  if (p_poMachine == nullptr || p_poMachine->GetClassType() != KTX_BASE_CLASS_MESSAGE_SUPERVISOR) {
    return KTX_RC_INVALID_PARAMETER;
  }
  KTX_Message *message = static_cast<KTX_Message *>(p_poMachine);
  if (c_poAddress != nullptr) {
    c_poAddress->CopyFrom(message->GetDestination());
  }
  // A serial message for another port has the worker move the transport first,
  // before the protocol's lock is taken: the worker needs that lock for its
  // deadlines while it serves the move.
  if (c_poTransport->GetCategory() == KTX_TRANSPORT_SERIAL && !c_poTransport->IsOnSameLink(message->GetDestination())) {
    KTX_DeviceAddress target;
    target.SetStackVariable();
    target.CopyFrom(message->GetDestination());
    KTX_TransportList::RetargetTransport(c_poTransport, target);
  }
  return c_poProtocol->SendMessage(message);
}
