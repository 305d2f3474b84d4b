#include "runtime/BaseClass.h"

#include "runtime/DebugLog.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// Slot 77 holds the name (and, for safety, a lock) of every type id above 76.
constexpr int32_t kSlots = KTX_CLASS_TYPE_COUNT + 1;

const char *const kClassNames[KTX_CLASS_TYPE_COUNT] = {
    "BUFFER", "BUFFER_CIRCULAR", "BUFFER_DISK_FILE", "BUFFER_DRAM", "BUFFER_FIXED", "BUFFER_FLASH",
    "BUFFER_HEAP", "BUFFER_OPLOG", "BUFFER_POOL", "BUFFER_RESOURCE", "BUFFER_SNAPSHOT", "BUFFER_TOKEN",
    "CHANNEL", "CLIENT_DIAGNOSTICS", "CLOCK", "CLOCK_RTC", "COM_BASE", "COM_CENTRAL", "COM_ERASE_CONFIG",
    "COM_FILE_READER", "COM_FILE_READER_GUI", "COM_FILE_WRITER", "COM_FILE_WRITER_GUI",
    "COM_FLASH_FILE_WRITER", "COM_LEARN_CHANNEL", "COM_LEARN", "COM_MESSAGE_WRAPPED", "COM_SET_MODE",
    "COM_WATCHDOG_REBOOT", "DEBUG_LOG", "DEBUG_STRING", "DEVICE_ADDRESS", "DEVICE_STATE",
    "DEVICE_STATE_READER", "MEMORY_MANAGER", "MESSAGE_DIAGNOSTICS", "MESSAGE_QUEUE", "MESSAGE_REACTOR",
    "MESSAGE_SUPERVISOR", "OPERATION_LOG_READER", "PROTOCOL_DIAGNOSTICS_MASTER", "PROTOCOL_DIAGNOSTICS_SLAVE",
    "PROTOCOL_SUPERVISOR_MASTER", "PROTOCOL_SUPERVISOR_SLAVE", "SAFE_STORAGE", "SENSOR", "SENSOR_HANDLE",
    "SENSOR_DIAGNOSTICS", "SERVER_DIAGNOSTICS", "SOFTWARE_DISK_FILE", "SOFTWARE_FLASH_FILE",
    "SOFTWARE_UPDATER", "STATE_BLOCK", "STATE_MACHINE", "STRING_ASCII", "STRING_UNICODE", "TEST_DIAGNOSTICS",
    "THREAD", nullptr, "TRANSLATOR", "TRANSLATOR_SREC_TO_ZERO_BINARY", "TRANSLATOR_AIS_TO_LOADABLE_IMAGE",
    "TRANSLATOR_APPLICATION_HEADER", "TRANSLATOR_BINARY_TO_INTEL_HEX", "TRANSPORT_LIST", "TRANSPORT_RS485",
    "TRANSPORT_RS485_DM6437_POLLED", "TRANSPORT_UDP", "UART", "VIDEO_INPUT", "VIDEO_OUTPUT", "VIDEO_PROCESS",
    "VIDEO_RESIZE", "VIDEO_SNAPSHOT", "WORLD_BUILDER", "DOWNLOAD_MODE_LIMIT", nullptr,
};

struct Registry {
  // Counted with atomics rather than under the class lock: every message is an
  // object, and the counts are only ever added to, taken from and read.
  std::atomic<int32_t> newCount[kSlots];
  std::atomic<int32_t> current[kSlots];
  std::atomic<int32_t> peak[kSlots];
  std::atomic<OsalThreadMutex *> locks[kSlots];
  char names[kSlots][64];
  bool initialised;
  bool allLocksCreated;
  bool released;
};

// Zero-initialised static storage; g_setup guards initialisation and the
// creation and deletion of class locks (the counts are under the class locks).
Registry g_registry;
std::mutex g_setup;
std::atomic<bool> g_bInitialised{false};
std::atomic<bool> g_bReleased{false};

int32_t Slot(int32_t p_i32Type) {
  if (p_i32Type < 0 || p_i32Type >= KTX_CLASS_TYPE_COUNT) {
    return KTX_CLASS_TYPE_COUNT;
  }
  return p_i32Type;
}

void InitialiseLocked() {
  if (g_registry.initialised) {
    return;
  }
  for (int32_t i = 0; i < kSlots; ++i) {
    g_registry.newCount[i].store(0, std::memory_order_relaxed);
    g_registry.current[i].store(0, std::memory_order_relaxed);
    g_registry.peak[i].store(0, std::memory_order_relaxed);
    std::snprintf(g_registry.names[i], sizeof g_registry.names[i], "Unknown(%d)", i);
    if (i < KTX_CLASS_TYPE_COUNT && kClassNames[i] != nullptr) {
      std::snprintf(g_registry.names[i], sizeof g_registry.names[i], "%s", kClassNames[i]);
    }
  }
  g_registry.initialised = true;
  g_bInitialised.store(true, std::memory_order_release);
}

void CreateLockLocked(int32_t p_i32Slot) {
  if (g_registry.locks[p_i32Slot].load(std::memory_order_acquire) == nullptr) {
    g_registry.locks[p_i32Slot].store(new OsalThreadMutex(), std::memory_order_release);
  }
}

// The class lock of a type, created on demand (a type whose lock went away with
// its last object after the release at exit gets a fresh one).
OsalThreadMutex &ClassLock(int32_t p_i32Type) {
  const int32_t slot = Slot(p_i32Type);
  OsalThreadMutex *lock = g_registry.locks[slot].load(std::memory_order_acquire);
  if (lock == nullptr) {
    std::lock_guard<std::mutex> guard(g_setup);
    InitialiseLocked();
    CreateLockLocked(slot);
    lock = g_registry.locks[slot].load(std::memory_order_acquire);
  }
  return *lock;
}

void DeleteLockIfUnusedLocked(int32_t p_i32Slot) {
  if (g_registry.current[p_i32Slot].load(std::memory_order_acquire) != 0) {
    return;
  }
  delete g_registry.locks[p_i32Slot].exchange(nullptr, std::memory_order_acq_rel);
}

} // namespace

KTX_BaseClass::KTX_BaseClass(int32_t p_i32ClassType)
    : c_i32ClassType(p_i32ClassType), c_bDeleteCalled(false),
      c_bDestroying(false), c_bStackVariable(false), c_bExcluded(false), c_i32ReferenceCount(1),
      c_i32InstanceNumber(0), c_szName{} {
  const int32_t slot = Slot(p_i32ClassType);
  // Objects are made all the time (every message is one): the set-up lock is
  // only taken while the registry or this type's class lock does not exist yet.
  if (!g_bInitialised.load(std::memory_order_acquire) ||
      g_registry.locks[slot].load(std::memory_order_acquire) == nullptr) {
    std::lock_guard<std::mutex> guard(g_setup);
    if (!g_registry.initialised) {
      InitialiseLocked();
      for (int32_t i = 0; i < kSlots; ++i) {
        CreateLockLocked(i);
      }
      g_registry.allLocksCreated = true;
      g_registry.released = false;
    } else {
      CreateLockLocked(slot);
    }
  }
  c_i32InstanceNumber = g_registry.newCount[slot].fetch_add(1, std::memory_order_relaxed) + 1;
  const int32_t current = g_registry.current[slot].fetch_add(1, std::memory_order_acq_rel) + 1;
  int32_t peak = g_registry.peak[slot].load(std::memory_order_relaxed);
  while (current > peak && !g_registry.peak[slot].compare_exchange_weak(peak, current, std::memory_order_relaxed)) {
  }
  // "<class name>_<instance number>"; class names are at most 32 characters,
  // so the name always fits.
  const char *name = g_registry.names[slot];
  size_t n = 0;
  while (name[n] != '\0' && n < 40) {
    c_szName[n] = name[n];
    ++n;
  }
  c_szName[n++] = '_';
  char digits[12];
  int32_t count = 0;
  uint32_t number = static_cast<uint32_t>(c_i32InstanceNumber);
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (count > 0) {
    c_szName[n++] = digits[--count];
  }
  c_szName[n] = '\0';
}

KTX_BaseClass::~KTX_BaseClass() {
  if (!c_bDestroying.load(std::memory_order_relaxed) && !c_bStackVariable.load(std::memory_order_relaxed)) {
    KTX_LOG(KTX_ASSERT, "{ BCL} Class %d {%08x}: delete called rather than method Delete()", c_i32ClassType,
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this)));
  }
  const int32_t slot = Slot(c_i32ClassType);
  if (!c_bExcluded) {
    g_registry.current[slot].fetch_sub(1, std::memory_order_acq_rel);
  }
  // After the release at exit each type's lock goes with its last object.
  if (g_bReleased.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> setup(g_setup);
    if (g_registry.released) {
      DeleteLockIfUnusedLocked(slot);
    }
  }
}

void KTX_BaseClass::Delete() {
  if (c_bDeleteCalled.load(std::memory_order_relaxed)) {
    KTX_LOG(KTX_ASSERT, "%s::Delete() called more than once!", c_szName);
    return;
  }
  if (c_bStackVariable.load(std::memory_order_relaxed)) {
    KTX_LOG(KTX_ASSERT, "%s::Delete() called on a stack variable!", c_szName);
    return;
  }
  c_bDeleteCalled.store(true, std::memory_order_release);
  DecReferenceCount();
}

void KTX_BaseClass::IncReferenceCount() {
  if (c_bStackVariable.load(std::memory_order_relaxed)) {
    KTX_LOG(KTX_ASSERT, "%s::IncReferenceCount() not allowed on Stack Variables!", c_szName);
  }
  c_i32ReferenceCount.fetch_add(1, std::memory_order_relaxed);
}

void KTX_BaseClass::DecReferenceCount() {
  if (c_bStackVariable.load(std::memory_order_relaxed)) {
    KTX_LOG(KTX_ASSERT, "%s::DecReferenceCount() not allowed on Stack Variables!", c_szName);
  }
  const int32_t remaining = c_i32ReferenceCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (remaining >= 1) {
    // Another holder may destroy the object from here on: touch nothing more.
    return;
  }
  const bool deleteCalled = c_bDeleteCalled.load(std::memory_order_acquire);
  if (!deleteCalled) {
    KTX_LOG(KTX_ASSERT, "%s::DecReferenceCount() called more than IncReferenceCount!", c_szName);
    return;
  }
  if (c_bStackVariable.load(std::memory_order_relaxed)) {
    // A scope owns this object; it must never free itself.
    return;
  }
  c_bDestroying.store(true, std::memory_order_relaxed);
  delete this;
}

void KTX_BaseClass::ExcludeFromLeakReport() {
  if (c_bExcluded) {
    return;
  }
  c_bExcluded = true;
  g_registry.current[Slot(c_i32ClassType)].fetch_sub(1, std::memory_order_acq_rel);
}

int32_t KTX_BaseClass::GetReferenceCount() const { return c_i32ReferenceCount.load(std::memory_order_acquire); }

void KTX_BaseClass::LockObject(int32_t &p_ri32Key) { c_oObjectLock.Lock(p_ri32Key); }

void KTX_BaseClass::UnlockObject(int32_t p_i32Key) { c_oObjectLock.Unlock(p_i32Key); }

void KTX_BaseClass::LockClass(int32_t p_i32ClassType, int32_t &p_ri32Key) { ClassLock(p_i32ClassType).Lock(p_ri32Key); }

void KTX_BaseClass::UnlockClass(int32_t p_i32ClassType, int32_t p_i32Key) {
  ClassLock(p_i32ClassType).Unlock(p_i32Key);
}

void KTX_BaseClass::InitClassRegistry(int32_t p_i32Id) {
  std::lock_guard<std::mutex> guard(g_setup);
  InitialiseLocked();
  if (p_i32Id == KTX_CLASS_TYPE_ALL) {
    for (int32_t i = 0; i < kSlots; ++i) {
      CreateLockLocked(i);
    }
    g_registry.allLocksCreated = true;
    g_registry.released = false;
    g_bReleased.store(false, std::memory_order_release);
  } else if (p_i32Id >= 0 && p_i32Id < KTX_CLASS_TYPE_COUNT) {
    CreateLockLocked(p_i32Id);
  }
}

void KTX_BaseClass::ReleaseClassRegistry(int32_t p_i32Id) {
  std::lock_guard<std::mutex> guard(g_setup);
  if (p_i32Id != KTX_CLASS_TYPE_ALL) {
    if (p_i32Id < 0 || p_i32Id >= KTX_CLASS_TYPE_COUNT) {
      return;
    }
    DeleteLockIfUnusedLocked(p_i32Id);
    return;
  }
  for (int32_t i = 0; i < kSlots; ++i) {
    DeleteLockIfUnusedLocked(i);
  }
  g_registry.allLocksCreated = false;
  g_registry.released = true;
  g_bReleased.store(true, std::memory_order_release);
}

KTX_BaseClass::ClassCounts KTX_BaseClass::GetClassCounts(int32_t p_i32ClassType) {
  const int32_t slot = Slot(p_i32ClassType);
  return ClassCounts{g_registry.newCount[slot].load(std::memory_order_acquire),
                     g_registry.current[slot].load(std::memory_order_acquire),
                     g_registry.peak[slot].load(std::memory_order_acquire)};
}

const char *KTX_BaseClass::GetClassName(int32_t p_i32ClassType) {
  {
    std::lock_guard<std::mutex> guard(g_setup);
    InitialiseLocked();
  }
  return g_registry.names[Slot(p_i32ClassType)];
}

void KTX_BaseClass::ReportClasses(bool p_bAll) {
  static const char kRule[] = "=============== Base Class =======================";
  KTX_LOG(KTX_INFO, "%s", kRule);
  KTX_LOG(KTX_INFO, "Leaks        New       Peak    Current  ObjectName");
  for (int32_t type = 0; type < KTX_CLASS_TYPE_COUNT; ++type) {
    const ClassCounts counts = GetClassCounts(type);
    if (counts.i32New == 0 || (counts.i32Current == 0 && !p_bAll)) {
      continue;
    }
    const bool leak = counts.i32Current > 0;
    KTX_LOG(leak ? KTX_ASSERT : KTX_INFO, "%5s %10d %10d %10d  %s", leak ? " *** " : "     ", counts.i32New,
            counts.i32Peak, counts.i32Current, GetClassName(type));
  }
  KTX_LOG(KTX_INFO, "%s", kRule);
}
