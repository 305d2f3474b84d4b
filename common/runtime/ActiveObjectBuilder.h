#pragma once
// Creates active objects by class type, so that code which needs one does not
// depend on the concrete class. A process-wide singleton, created on first use
// and deleted at program exit.

#include <cstdint>

class KTX_ActiveObject;

class KTX_ActiveObjectBuilder {
public:
  virtual ~KTX_ActiveObjectBuilder() = default;
  // A new active object of that type, or null (logged).
  virtual KTX_ActiveObject *Create(int32_t p_i32ClassType) = 0;
  // The single instance of that type, or null (logged).
  virtual KTX_ActiveObject *CreateSingleton(int32_t p_i32ClassType) = 0;
};

// The builder singleton, created on first use.
KTX_ActiveObjectBuilder *GetActiveObjectBuilder();
// Deletes the builder singleton at exit; the next GetActiveObjectBuilder makes a new one.
void DeleteActiveObjectBuilder();

// The message reactor singleton: on the first call, and after the reactor was
// forgotten, asks the builder to Create the reactor type and keeps the result.
// Null when that fails (the builder has logged why).
KTX_ActiveObject *GetMessageReactor();
// Called by the reactor as it is destroyed: the next GetMessageReactor builds a
// new one. Only the reactor the singleton holds is forgotten.
void ForgetMessageReactor(const KTX_ActiveObject *p_poReactor);
