#pragma once
// The program's object builder. It creates exactly one class, the message reactor
// (class type 37), through a factory the reactor's module registers; every other
// type is refused with a log line.

#include "runtime/ActiveObjectBuilder.h"

#include <cstdint>

class KTX_ActiveObjectBuilderSupervisor : public KTX_ActiveObjectBuilder {
public:
  // Makes a new object of a type; null when that fails.
  using Factory = KTX_ActiveObject *(*)();

  // Registers (or, with null, removes) the factory of a type. Only the reactor
  // type can be built: any other type gives KTX_RC_INVALID_PARAMETER.
  static int32_t RegisterFactory(int32_t p_i32ClassType, Factory p_pfnFactory);
  // True when a factory for the type is registered.
  static bool HasFactory(int32_t p_i32ClassType);

  KTX_ActiveObject *Create(int32_t p_i32ClassType) override;
  KTX_ActiveObject *CreateSingleton(int32_t p_i32ClassType) override;
};
