#include "runtime/OsalThread.h"

#include "runtime/ReturnCode.h"

namespace {

struct StartRecord {
  OsalThread::Entry pfnEntry;
  void *poArgument;
};

void *ThreadMain(void *p_poRecord) {
  StartRecord record = *static_cast<StartRecord *>(p_poRecord);
  delete static_cast<StartRecord *>(p_poRecord);
  record.pfnEntry(record.poArgument);
  return nullptr;
}

} // namespace

OsalThread::OsalThread() : c_oHandle(), c_bHeld(false) {}

OsalThread::~OsalThread() {
  // Never block in a destructor: a thread nobody joined is let go.
  Release();
}

int32_t OsalThread::Create(Entry p_pfnEntry, void *p_poArgument) {
  if (c_bHeld) {
    return KTX_RC_OPERATION_FAILED;
  }
  StartRecord *record = new StartRecord{p_pfnEntry, p_poArgument};
  if (pthread_create(&c_oHandle, nullptr, &ThreadMain, record) != 0) {
    delete record;
    return KTX_RC_OPERATION_FAILED;
  }
  c_bHeld = true;
  return KTX_RC_OK;
}

void OsalThread::Join() {
  if (c_bHeld) {
    pthread_join(c_oHandle, nullptr);
    c_bHeld = false;
  }
}

void OsalThread::Release() {
  if (c_bHeld) {
    pthread_detach(c_oHandle);
    c_bHeld = false;
  }
}
