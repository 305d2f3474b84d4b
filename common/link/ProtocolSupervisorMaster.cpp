#include "link/ProtocolSupervisorMaster.h"

#include "link/MessageSupervisor.h"
#include "link/Transport.h"
#include "runtime/DebugLog.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"

namespace {

constexpr int32_t kRcEchoed = 801;
constexpr int32_t kRcUnexpected = 805;

// The message bytes as upper-case hexadecimal pairs, only when the line is written.
void LogHex(int32_t p_i32Level, const char *p_szFormat, KTX_Message *p_poMessage) {
  if (!DebugLevelEnabled(p_i32Level)) {
    return;
  }
  KTX_StringAscii hex;
  hex.SetStackVariable();
  hex.AppendHexBytes(p_poMessage->GetMessageData(), p_poMessage->GetMessageLength());
  DebugPrint(KTX_DebugLocation{__FILE__, __LINE__, 0}, p_i32Level, p_szFormat, hex.GetText());
}

} // namespace

KTX_ProtocolSupervisorMaster::KTX_ProtocolSupervisorMaster()
    : KTX_Protocol(KTX_BASE_CLASS_PROTOCOL_SUPERVISOR_MASTER) {}

KTX_MessageSupervisor *KTX_ProtocolSupervisorMaster::NewMessage() { return KTX_MessageSupervisor::NewMessage(); }

int32_t KTX_ProtocolSupervisorMaster::SendMessage(KTX_Message *p_poMessage) {
  if (p_poMessage == nullptr || p_poMessage->GetClassType() != KTX_BASE_CLASS_MESSAGE_SUPERVISOR) {
    return KTX_RC_INVALID_PARAMETER;
  }
  KTX_ObjectLockGuard guard(*this);
  if (p_poMessage->GetState() == KTX_SM_STATE_ABORT_REQUESTED) {
    p_poMessage->SetState(KTX_SM_STATE_ABORTED, 100, KTX_RC_ABORTED);
    p_poMessage->NotifyParentOfEvent();
    return KTX_RC_ABORTING;
  }
  if (p_poMessage->c_i32SendDelay != 0 || c_i32PendingCount > 0) {
    return HoldBack(p_poMessage);
  }
  if (c_poTransport == nullptr) {
    KTX_LOG(KTX_ERROR, "SendMessageOrResponse(%s) Failed.  No Transport", p_poMessage->GetName());
    Settle(p_poMessage, KTX_RC_OPERATION_FAILED);
    return KTX_RC_OPERATION_FAILED;
  }
  c_poTransport->CopyOwnAddress(p_poMessage->GetSource());
  int32_t rc = p_poMessage->Encode();
  if (rc != KTX_RC_OK) {
    return rc;
  }
  static_cast<KTX_MessageSupervisor *>(p_poMessage)->ToText();
  LogHex(KTX_MSG_WRP, "SentMess -->> %s", p_poMessage);
  rc = c_poTransport->SendMessage(p_poMessage);
  if (rc != KTX_RC_OK) {
    return rc;
  }
  int32_t wait = p_poMessage->c_i32TimeOut + c_i32DeadlineExtraMs;
  if (wait > c_i32DeadlineCapMs || wait < 0) {
    wait = c_i32DeadlineCapMs;
  }
  p_poMessage->c_u32Deadline = OsalGetTickCount() + static_cast<uint32_t>(wait);
  return AddPending(p_poMessage);
}

int32_t KTX_ProtocolSupervisorMaster::Receive(KTX_Message *p_poMessage) {
  KTX_MessageSupervisor *response = static_cast<KTX_MessageSupervisor *>(p_poMessage);
  const int32_t protocol = response->GetProtocol();
  if (protocol < 177 || protocol > 180) {
    KTX_LOG(KTX_WARNING, "KTX_Protocol::GetTimeOutMs -- Throwing away unknown Message");
    response->Delete();
    return KTX_RC_MESSAGE_CORRUPTED;
  }
  if (protocol == 177) {
    KTX_LOG(KTX_WARNING, "KTX_Protocol::GetTimeOutMs -- Throwing away echoed Message");
    response->Delete();
    return kRcEchoed;
  }
  if (protocol == 179) {
    KTX_LOG(KTX_WARNING, "KTX_Protocol::GetTimeOutMs -- Throwing away echoed MessageEx");
    response->Delete();
    return kRcEchoed;
  }
  LogHex(KTX_MSG_WRP, "RecvMess <<-- %s", response);
  response->ToText();

  KTX_Message *request = TakePending(response->GetSequence());
  if (request == nullptr) {
    KTX_LOG(KTX_INFO, "Discarding unexpected message %s", response->GetName());
    response->Delete();
    return kRcUnexpected;
  }
  // The response becomes a child of its request, which from then on holds it.
  // Our own (the creator's) reference is kept until we are done with it, so an
  // operation releasing the request meanwhile cannot free it under us.
  if (response->RegisterParent(request) != KTX_RC_OK) {
    KTX_LOG(KTX_INFO, "Discarding unexpected message %s", response->GetName());
    response->Delete();
    AddPending(request);
    request->DecReferenceCount();
    return kRcUnexpected;
  }
  if (request->c_i32ExpectedResponses > 0) {
    --request->c_i32ExpectedResponses;
  }
  if (request->c_i32ExpectedResponses > 0) {
    // Collect further responses until the deadline; the list keeps the reference.
    AddPending(request);
    request->DecReferenceCount();
    response->Delete();
    return KTX_RC_OK;
  }
  response->RewindPayload();
  response->NotifyParentOfEvent();
  response->Delete();
  request->DecReferenceCount();
  return KTX_RC_OK;
}
