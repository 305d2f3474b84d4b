#pragma once
// Receives the problems the configuration validator finds, one call per
// problem, and decides whether checking goes on.

#include <cstdint>

// What a validation problem is about.
enum KTX_ValidationCode : int32_t {
  KTX_VALIDATION_START_FAILED = 1, // the validator could not be started
  KTX_VALIDATION_NO_CONFIGURATION = 2,
  KTX_VALIDATION_NETWORK_INVALID = 3,
  KTX_VALIDATION_NO_IMAGE = 4,       // never raised by the checks; the wizard needs an image earlier
  KTX_VALIDATION_TOO_FEW_POINTS = 5, // fewer than three calibration points
  KTX_VALIDATION_NO_SEED_POINT = 6,
  KTX_VALIDATION_NO_DETECTOR = 7,
  KTX_VALIDATION_NO_REGION = 8, // a detector without regions
  KTX_VALIDATION_NO_OUTPUT = 9, // a region without outputs
};

class KTX_ValidationHandler {
public:
  virtual ~KTX_ValidationHandler() = default;
  // p_i32Code is a KTX_ValidationCode, p_i32ReturnCode KTX_RC_OPERATION_FAILED
  // for the checks or the failing code for KTX_VALIDATION_START_FAILED. True
  // lets validation go on with the next check; false stops it.
  virtual bool OnValidationError(int32_t p_i32Code, int32_t p_i32ReturnCode) = 0;
};
