#include "runtime/ActiveObjectBuilderSupervisor.h"

#include "runtime/ActiveObject.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

#include <atomic>

namespace {

// Kept outside the builder so that a registration outlives the builder's deletion.
std::atomic<KTX_ActiveObjectBuilderSupervisor::Factory> g_pfnReactorFactory{nullptr};

} // namespace

int32_t KTX_ActiveObjectBuilderSupervisor::RegisterFactory(int32_t p_i32ClassType, Factory p_pfnFactory) {
  if (p_i32ClassType != KTX_BASE_CLASS_MESSAGE_REACTOR) {
    return KTX_RC_INVALID_PARAMETER;
  }
  g_pfnReactorFactory.store(p_pfnFactory, std::memory_order_release);
  return KTX_RC_OK;
}

bool KTX_ActiveObjectBuilderSupervisor::HasFactory(int32_t p_i32ClassType) {
  return p_i32ClassType == KTX_BASE_CLASS_MESSAGE_REACTOR &&
         g_pfnReactorFactory.load(std::memory_order_acquire) != nullptr;
}

KTX_ActiveObject *KTX_ActiveObjectBuilderSupervisor::Create(int32_t p_i32ClassType) {
  Factory factory = g_pfnReactorFactory.load(std::memory_order_acquire);
  KTX_ActiveObject *object = nullptr;
  if (p_i32ClassType == KTX_BASE_CLASS_MESSAGE_REACTOR && factory != nullptr) {
    object = factory();
  }
  if (object == nullptr) {
    KTX_LOG(KTX_ASSERT, "{ ACT} KTX_ActiveObject Error %d -- Create failed on object type %d", 0, p_i32ClassType);
    return nullptr;
  }
  // The reactor is its own thread body and the body's user.
  object->SetRunObject(object);
  object->SetUser(object);
  object->SetParameter(0);
  if (object->OnCreate() != KTX_RC_OK) {
    object->Delete();
    KTX_LOG(KTX_ASSERT, "{ ACT} KTX_ActiveObject Error %d -- DoCreate failed on object type %d",
            KTX_RC_OPERATION_FAILED, KTX_BASE_CLASS_MESSAGE_REACTOR);
    return nullptr;
  }
  return object;
}

KTX_ActiveObject *KTX_ActiveObjectBuilderSupervisor::CreateSingleton(int32_t p_i32ClassType) {
  if (p_i32ClassType == KTX_BASE_CLASS_MESSAGE_REACTOR) {
    if (KTX_ActiveObject *reactor = GetMessageReactor()) {
      return reactor;
    }
  }
  KTX_LOG(KTX_ASSERT, "{ ACT} KTX_ActiveObject Error %d -- CreateSingleton failed on object type %d",
          KTX_RC_INVALID_PARAMETER, p_i32ClassType);
  return nullptr;
}
