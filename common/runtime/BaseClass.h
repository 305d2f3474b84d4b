#pragma once
// The base of every framework object: a class-type id, an instance name, a
// recursive lock of its own, a reference count with a strict ownership protocol
// (the creator calls Delete(), other holders pair IncReferenceCount() with
// DecReferenceCount()), and membership in the process-wide class registry that
// counts instances per type and writes the leak report at exit.

#include "runtime/OsalThreadMutex.h"

#include <atomic>
#include <cstdint>

enum KTX_BaseClassType : int32_t {
  KTX_BASE_CLASS_BUFFER = 0,
  KTX_BASE_CLASS_BUFFER_CIRCULAR = 1,
  KTX_BASE_CLASS_BUFFER_DISK_FILE = 2,
  KTX_BASE_CLASS_BUFFER_DRAM = 3,
  KTX_BASE_CLASS_BUFFER_FIXED = 4,
  KTX_BASE_CLASS_BUFFER_FLASH = 5,
  KTX_BASE_CLASS_BUFFER_HEAP = 6,
  KTX_BASE_CLASS_BUFFER_OPLOG = 7,
  KTX_BASE_CLASS_BUFFER_POOL = 8,
  KTX_BASE_CLASS_BUFFER_RESOURCE = 9,
  KTX_BASE_CLASS_BUFFER_SNAPSHOT = 10,
  KTX_BASE_CLASS_BUFFER_TOKEN = 11,
  KTX_BASE_CLASS_CHANNEL = 12,
  KTX_BASE_CLASS_CLIENT_DIAGNOSTICS = 13,
  KTX_BASE_CLASS_CLOCK = 14,
  KTX_BASE_CLASS_CLOCK_RTC = 15,
  KTX_BASE_CLASS_COM_BASE = 16,
  KTX_BASE_CLASS_COM_CENTRAL = 17,
  KTX_BASE_CLASS_COM_ERASE_CONFIG = 18,
  KTX_BASE_CLASS_COM_FILE_READER = 19,
  KTX_BASE_CLASS_COM_FILE_READER_GUI = 20,
  KTX_BASE_CLASS_COM_FILE_WRITER = 21,
  KTX_BASE_CLASS_COM_FILE_WRITER_GUI = 22,
  KTX_BASE_CLASS_COM_FLASH_FILE_WRITER = 23,
  KTX_BASE_CLASS_COM_LEARN_CHANNEL = 24,
  KTX_BASE_CLASS_COM_LEARN = 25,
  KTX_BASE_CLASS_COM_MESSAGE_WRAPPED = 26,
  KTX_BASE_CLASS_COM_SET_MODE = 27,
  KTX_BASE_CLASS_COM_WATCHDOG_REBOOT = 28,
  KTX_BASE_CLASS_DEBUG_LOG = 29,
  KTX_BASE_CLASS_DEBUG_STRING = 30,
  KTX_BASE_CLASS_DEVICE_ADDRESS = 31,
  KTX_BASE_CLASS_DEVICE_STATE = 32,
  KTX_BASE_CLASS_DEVICE_STATE_READER = 33,
  KTX_BASE_CLASS_MEMORY_MANAGER = 34,
  KTX_BASE_CLASS_MESSAGE_DIAGNOSTICS = 35,
  KTX_BASE_CLASS_MESSAGE_QUEUE = 36,
  KTX_BASE_CLASS_MESSAGE_REACTOR = 37,
  KTX_BASE_CLASS_MESSAGE_SUPERVISOR = 38,
  KTX_BASE_CLASS_OPERATION_LOG_READER = 39,
  KTX_BASE_CLASS_PROTOCOL_DIAGNOSTICS_MASTER = 40,
  KTX_BASE_CLASS_PROTOCOL_DIAGNOSTICS_SLAVE = 41,
  KTX_BASE_CLASS_PROTOCOL_SUPERVISOR_MASTER = 42,
  KTX_BASE_CLASS_PROTOCOL_SUPERVISOR_SLAVE = 43,
  KTX_BASE_CLASS_SAFE_STORAGE = 44,
  KTX_BASE_CLASS_SENSOR = 45,
  KTX_BASE_CLASS_SENSOR_HANDLE = 46,
  KTX_BASE_CLASS_SENSOR_DIAGNOSTICS = 47,
  KTX_BASE_CLASS_SERVER_DIAGNOSTICS = 48,
  KTX_BASE_CLASS_SOFTWARE_DISK_FILE = 49,
  KTX_BASE_CLASS_SOFTWARE_FLASH_FILE = 50,
  KTX_BASE_CLASS_SOFTWARE_UPDATER = 51,
  KTX_BASE_CLASS_STATE_BLOCK = 52,
  KTX_BASE_CLASS_STATE_MACHINE = 53,
  KTX_BASE_CLASS_STRING_ASCII = 54,
  KTX_BASE_CLASS_STRING_UNICODE = 55,
  KTX_BASE_CLASS_TEST_DIAGNOSTICS = 56,
  KTX_BASE_CLASS_THREAD = 57,
  // 58 is the time-zone class; it has no enumerator and reports as Unknown(58).
  KTX_BASE_CLASS_TRANSLATOR = 59,
  KTX_BASE_CLASS_TRANSLATOR_SREC_TO_ZERO_BINARY = 60,
  KTX_BASE_CLASS_TRANSLATOR_AIS_TO_LOADABLE_IMAGE = 61,
  KTX_BASE_CLASS_TRANSLATOR_APPLICATION_HEADER = 62,
  KTX_BASE_CLASS_TRANSLATOR_BINARY_TO_INTEL_HEX = 63,
  KTX_BASE_CLASS_TRANSPORT_LIST = 64,
  KTX_BASE_CLASS_TRANSPORT_RS485 = 65,
  KTX_BASE_CLASS_TRANSPORT_RS485_DM6437_POLLED = 66,
  KTX_BASE_CLASS_TRANSPORT_UDP = 67,
  KTX_BASE_CLASS_UART = 68,
  KTX_BASE_CLASS_VIDEO_INPUT = 69,
  KTX_BASE_CLASS_VIDEO_OUTPUT = 70,
  KTX_BASE_CLASS_VIDEO_PROCESS = 71,
  KTX_BASE_CLASS_VIDEO_RESIZE = 72,
  KTX_BASE_CLASS_VIDEO_SNAPSHOT = 73,
  KTX_BASE_CLASS_WORLD_BUILDER = 74,
  KTX_BASE_CLASS_DOWNLOAD_MODE_LIMIT = 75,
  // 76 has no enumerator.
};

// Class type of KTX_TimeZone, which has no enumerator of its own.
constexpr int32_t KTX_CLASS_TYPE_TIME_ZONE = 58;
// Number of real class types (0..76).
constexpr int32_t KTX_CLASS_TYPE_COUNT = 77;
// Stands for every class type in the registry operations.
constexpr int32_t KTX_CLASS_TYPE_ALL = 77;

class KTX_BaseClass {
public:
  explicit KTX_BaseClass(int32_t p_i32ClassType);
  virtual ~KTX_BaseClass();
  KTX_BaseClass(const KTX_BaseClass &) = delete;
  KTX_BaseClass &operator=(const KTX_BaseClass &) = delete;

  // The creator's way to give up an object it made with new.
  virtual void Delete();

  void IncReferenceCount();
  void DecReferenceCount();
  // Marks an object that lives on the stack or inside another object: its scope
  // destroys it, never Delete().
  void SetStackVariable() { c_bStackVariable.store(true, std::memory_order_relaxed); }

  const char *GetName() const { return c_szName; }
  int32_t GetClassType() const { return c_i32ClassType; }
  int32_t GetReferenceCount() const;
  int32_t GetInstanceNumber() const { return c_i32InstanceNumber; }

  void LockObject(int32_t &p_ri32Key);
  void UnlockObject(int32_t p_i32Key);
  void LockClass(int32_t &p_ri32Key) { LockClass(c_i32ClassType, p_ri32Key); }
  void UnlockClass(int32_t p_i32Key) { UnlockClass(c_i32ClassType, p_i32Key); }
  static void LockClass(int32_t p_i32ClassType, int32_t &p_ri32Key);
  static void UnlockClass(int32_t p_i32ClassType, int32_t p_i32Key);

  // Registry operations (process-wide). p_i32Id 77 stands for every type.
  static void InitClassRegistry(int32_t p_i32Id);
  static void ReleaseClassRegistry(int32_t p_i32Id);
  // Writes the leak report to the debug log.
  static void ReportClasses(bool p_bAll);

  // Counts of one type, for the leak report and for tests.
  struct ClassCounts {
    int32_t i32New;
    int32_t i32Current;
    int32_t i32Peak;
  };
  static ClassCounts GetClassCounts(int32_t p_i32ClassType);
  // The registry name of a type ("THREAD", "Unknown(58)").
  static const char *GetClassName(int32_t p_i32ClassType);

protected:
  // For process infrastructure that outlives the leak report by design (the
  // debug log itself): the object stops counting as alive for its type.
  void ExcludeFromLeakReport();

private:
  const int32_t c_i32ClassType;
  // The object's own lock, part of the object (no allocation of its own).
  OsalThreadMutex c_oObjectLock;
  std::atomic<bool> c_bDeleteCalled;
  std::atomic<bool> c_bDestroying;
  std::atomic<bool> c_bStackVariable;
  bool c_bExcluded;
  // Atomic rather than under the object lock: releasing a reference must never
  // wait for whoever holds the object's lock (a sender holding a transport's
  // lock while the worker that serves it drops its reference would deadlock).
  std::atomic<int32_t> c_i32ReferenceCount;
  int32_t c_i32InstanceNumber;
  char c_szName[64];
};

// Holds an object's own lock for a scope.
class KTX_ObjectLockGuard {
public:
  explicit KTX_ObjectLockGuard(KTX_BaseClass &p_roObject) : c_roObject(p_roObject), c_i32Key(0) {
    c_roObject.LockObject(c_i32Key);
  }
  ~KTX_ObjectLockGuard() { c_roObject.UnlockObject(c_i32Key); }
  KTX_ObjectLockGuard(const KTX_ObjectLockGuard &) = delete;
  KTX_ObjectLockGuard &operator=(const KTX_ObjectLockGuard &) = delete;

private:
  KTX_BaseClass &c_roObject;
  int32_t c_i32Key;
};

// Holds the class lock of a type for a scope.
class KTX_ClassLockGuard {
public:
  explicit KTX_ClassLockGuard(int32_t p_i32ClassType) : c_i32ClassType(p_i32ClassType), c_i32Key(0) {
    KTX_BaseClass::LockClass(c_i32ClassType, c_i32Key);
  }
  ~KTX_ClassLockGuard() { KTX_BaseClass::UnlockClass(c_i32ClassType, c_i32Key); }
  KTX_ClassLockGuard(const KTX_ClassLockGuard &) = delete;
  KTX_ClassLockGuard &operator=(const KTX_ClassLockGuard &) = delete;

private:
  int32_t c_i32ClassType;
  int32_t c_i32Key;
};
