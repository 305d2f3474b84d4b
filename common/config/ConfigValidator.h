#pragma once
// Checks, before a download, that a configuration is complete enough to run:
// it exists, its network settings are consistent, the stereo calibration has
// enough points and a seed point, and there is a detector whose regions each
// drive an output. Problems go to the handler in a fixed order; the wizard's
// handler shows the message of the first one and stops.

#include "config/ValidationHandler.h"

#include <cstddef>
#include <cstdint>

class KTX_ConfigDevice;

// Shared by the caller and the validator.
struct KTX_ValidationContext {
  int32_t i32ErrorCode = 0;                    // the code that stopped the validation
  KTX_ConfigDevice *poConfiguration = nullptr; // the root, or none
};

class KTX_ConfigValidator {
public:
  // The handler may be absent: the first problem then stops the validation.
  KTX_ConfigValidator(KTX_ValidationHandler *p_poHandler, KTX_ValidationContext *p_poContext);

  // KTX_RC_OK when every check passed or the handler let every problem go;
  // KTX_RC_OPERATION_FAILED when a problem stopped it (its code is then in the
  // context). The configuration is not changed.
  int32_t Validate();

  // The message the wizard shows for a validation code; p_i32ReturnCode fills
  // in the message of KTX_VALIDATION_START_FAILED.
  static void FormatMessage(int32_t p_i32Code, int32_t p_i32ReturnCode, char *p_szText, size_t p_uSize);
  // The string-table id of that message.
  static int32_t GetMessageId(int32_t p_i32Code);

  // Four decimal numbers 0 to 255 joined by "."; the first in the most
  // significant byte. False for any other text.
  static bool ParseIpv4(const char *p_szText, uint32_t *p_pu32Address);

private:
  // True when validation goes on after the problem.
  bool Report(int32_t p_i32Code);

  KTX_ValidationHandler *c_poHandler;
  KTX_ValidationContext *c_poContext;
};
