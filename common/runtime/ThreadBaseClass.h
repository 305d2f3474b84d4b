#pragma once
// Base of an object that is its own thread body: a KTX_Thread given such an
// object as its run object calls Run(user, parameter) on the new thread.

#include "runtime/BaseClass.h"

#include <cstdint>

class KTX_ThreadBaseClass : public KTX_BaseClass {
public:
  explicit KTX_ThreadBaseClass(int32_t p_i32ClassType) : KTX_BaseClass(p_i32ClassType) {}

  // The thread body; its result is the thread's exit code.
  virtual int32_t Run(void *p_poUser, int32_t p_i32Parameter) = 0;
};
