#include "runtime/ActiveObjectBuilder.h"

#include "runtime/ActiveObject.h"
#include "runtime/ActiveObjectBuilderSupervisor.h"

#include <mutex>

namespace {

// Both singletons are created and dropped on the user-interface thread in this
// program; the mutex keeps them sound should another thread ask.
std::recursive_mutex g_oSingletons;
KTX_ActiveObjectBuilder *g_poBuilder = nullptr;
KTX_ActiveObject *g_poReactor = nullptr;

} // namespace

KTX_ActiveObjectBuilder *GetActiveObjectBuilder() {
  std::lock_guard<std::recursive_mutex> lock(g_oSingletons);
  if (g_poBuilder == nullptr) {
    g_poBuilder = new KTX_ActiveObjectBuilderSupervisor();
  }
  return g_poBuilder;
}

void DeleteActiveObjectBuilder() {
  std::lock_guard<std::recursive_mutex> lock(g_oSingletons);
  delete g_poBuilder;
  g_poBuilder = nullptr;
}

KTX_ActiveObject *GetMessageReactor() {
  std::lock_guard<std::recursive_mutex> lock(g_oSingletons);
  if (g_poReactor == nullptr) {
    g_poReactor = GetActiveObjectBuilder()->Create(KTX_BASE_CLASS_MESSAGE_REACTOR);
  }
  return g_poReactor;
}

void ForgetMessageReactor(const KTX_ActiveObject *p_poReactor) {
  std::lock_guard<std::recursive_mutex> lock(g_oSingletons);
  if (p_poReactor != nullptr && p_poReactor == g_poReactor) {
    g_poReactor = nullptr;
  }
}
