#include "app/RuntimeDriver.h"

#include "app/ProgramSettingsWizard.h"
#include "runtime/BaseClass.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

KTX_RuntimeDriver::KTX_RuntimeDriver(Hooks p_oHooks)
    : c_oHooks(std::move(p_oHooks)), c_bStarted(false), c_bSocketsStarted(false), c_bReactorStarted(false),
      c_bShutDown(false) {}

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

  // The socket layer and the message reactor join here once they exist.

  if (c_oHooks.makeSerializer) {
    GetProgramSettings()->SetSerializer(c_oHooks.makeSerializer());
    GetProgramSettings()->Read();
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
  KTX_BaseClass::ReportClasses(true);
  KTX_BaseClass::ReleaseClassRegistry(KTX_CLASS_TYPE_ALL);
  if (KTX_DebugLog *log = GetDebugLog()) {
    log->Delete();
  }
}
