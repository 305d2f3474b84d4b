#include "app/RuntimeDriver.h"

#include "app/ProgramSettingsWizard.h"
#include "link/MessageReactor.h"
#include "runtime/ActiveObject.h"
#include "runtime/ActiveObjectBuilder.h"
#include "runtime/BaseClass.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"
#include "runtime/SocketLayerPosix.h"

KTX_RuntimeDriver::KTX_RuntimeDriver(Hooks p_oHooks)
    : c_oHooks(std::move(p_oHooks)), c_bStarted(false), c_bSocketsStarted(false), c_bReactorStarted(false),
      c_bShutDown(false), c_poReactor(nullptr) {}

KTX_Version KTX_RuntimeDriver::GetProgramVersion() {
  return KTX_Version(1, 9, 0, "b  ", KTX_DateTime(2017, 8, 10, 21, 9, 14));
}

std::string KTX_RuntimeDriver::GetMainWindowTitle() {
  return std::string(c_szApplicationTitle) + " - " + GetProgramVersion().GetDisplay();
}

int32_t KTX_RuntimeDriver::StartUp() {
  c_bStarted = true;
  GetProgramSettings();
  KTX_BaseClass::InitClassRegistry(KTX_CLASS_TYPE_ALL);
  if (c_oHooks.createModel) {
    c_oHooks.createModel();
  }
  SetLogFileName(c_szLogFileName);
  KTX_LOG(KTX_INFO, "%s", GetMainWindowTitle().c_str());

  if (StartSockets() != KTX_RC_OK) {
    c_strErrorText = c_szSocketsFailed;
    KTX_LOG(KTX_ERROR, "%s", c_szSocketsFailed);
    return KTX_RC_SOCKET_ERROR;
  }
  c_bSocketsStarted = true;

  if (c_oHooks.makeSerializer) {
    GetProgramSettings()->SetSerializer(c_oHooks.makeSerializer());
    GetProgramSettings()->Read();
  }

  // The communication engine: the reactor's threads run from here on.
  KTX_MessageReactor::RegisterWithBuilder();
  {
    c_poReactor = GetMessageReactor();
    if (c_poReactor != nullptr) {
      c_poReactor->DoPreStart();
      c_poReactor->DoStart();
      c_bReactorStarted = c_poReactor->GetState() == KTX_ActiveObject::c_eStarted;
    }
  }
  return KTX_RC_OK;
}

void KTX_RuntimeDriver::ShutDown() {
  if (c_bShutDown || !c_bStarted) {
    return;
  }
  c_bShutDown = true;
  GetProgramSettings()->Write();
  DestroyProgramSettings();
  if (c_oHooks.deleteModel) {
    c_oHooks.deleteModel();
  }
  if (c_poReactor != nullptr) {
    if (c_poReactor->GetState() == KTX_ActiveObject::c_eStarted) {
      c_poReactor->DoPreStop();
      c_poReactor->DoStop();
    }
    c_poReactor->DoDestroy();
    c_poReactor = nullptr;
    c_bReactorStarted = false;
  }
  DeleteActiveObjectBuilder();
  KTX_BaseClass::ReportClasses(true);
  KTX_BaseClass::ReleaseClassRegistry(KTX_CLASS_TYPE_ALL);
  if (c_bSocketsStarted) {
    StopSockets();
    c_bSocketsStarted = false;
  }
  if (KTX_DebugLog *log = GetDebugLog()) {
    log->Delete();
  }
}
