#pragma once
// System-wide result codes. Every operation that can fail returns one of these as
// a signed 32-bit value; 0 is success. Codes are grouped by hundreds and also
// travel on the wire inside sensor responses, so the values are fixed.

#include <cstdint>

enum KTX_ReturnCode : int32_t {
  KTX_RC_OK = 0,
  KTX_RC_INTERNAL_ERROR = 100,
  KTX_RC_STATE_MACHINE_INDEX_OUT_OF_RANGE = 101,
  KTX_RC_INVALID_PARAMETER = 200,
  KTX_RC_VALUE_ALREADY_SET = 201,
  KTX_RC_INTERNAL_OVERFLOW = 202,
  KTX_RC_OPERATION_FAILED = 203,
  KTX_RC_OPERATION_NOT_PERMITTED = 204,
  // 205 is returned by a few start operations when already started; it has no name.
  KTX_RC_OPERATION_NOT_IMPLEMENTED_YET = 206,
  KTX_RC_TIME_OUT = 207,
  KTX_RC_IN_PROGRESS = 208,
  KTX_RC_MALLOC_FAILED = 209,
  KTX_RC_ACCESS_DENIED = 210,
  KTX_RC_ABORTING = 211,
  KTX_RC_ABORTED = 212,
  KTX_RC_INVALID_CALL = 213,
  KTX_RC_STATE_BLOCK_OWNER_MISMATCH = 214,
  KTX_RC_CRC_FAILED = 215,
  KTX_RC_ITEM_NOT_FOUND = 216,
  KTX_RC_UNEXPECTED_NULL_POINTER = 217,
  KTX_RC_BUFFER_GENERIC_ERROR = 500,
  KTX_RC_BUFFER_OVERFLOW = 501,
  KTX_RC_BUFFER_EMPTY = 502,
  KTX_RC_FILE_GENERIC_ERROR = 600,
  KTX_RC_FILE_TOO_BIG = 601,
  KTX_RC_FILE_TOO_MANY_FILES_ALREADY_OPEN = 602,
  KTX_RC_FILE_CONFLICTING_FILE_ALREADY_OPEN = 603,
  KTX_RC_FILE_ACCESS_NOT_SUPPORTED = 604,
  KTX_RC_FILE_OPEN_FAILED = 605,
  KTX_RC_FILE_NOT_FOUND = 606,
  KTX_RC_FILE_INVALID_FORMAT = 607,
  KTX_RC_FILE_END = 608,
  KTX_RC_SOCKET_ERROR = 700,
  KTX_RC_SOCKET_CREATE_FAILED = 701,
  KTX_RC_SOCKET_BIND_FAILED = 702,
  KTX_RC_SOCKET_CLOSED = 703,
  KTX_RC_SOCKET_CONNECTION_RESET = 704,
  KTX_RC_COM_OPEN_FAILED = 705,
  KTX_RC_MESSAGE_CORRUPTED = 800,
  KTX_RC_MAINTENANCE_CHECK_MISTUNED = 900,
  KTX_RC_MAINTENANCE_CHECK_ERROR = 901,
  KTX_RC_MAINTENANCE_CHECK_FAILED = 902,
  KTX_RC_STATE_MACHINE_IN_PROGRESS = 1000,
  KTX_RC_FLASH_ERASE_ERROR = 1100,
  KTX_RC_FLASH_WRITE_ERROR = 1101,
  KTX_RC_CAL_FINE_ADJUST_COLUMN_FAILED = 3000,
  KTX_RC_CAL_FINE_ADJUST_ROW_FAILED = 3001,
  KTX_RC_CAL_FINE_ADJUST_CONTRAST_FAILED = 3002,
};

// The already-started answer of some start operations.
constexpr int32_t KTX_RC_ALREADY_STARTED_UNNAMED = 205;

// The enumerator name of a code ("KTX_RC_SOCKET_BIND_FAILED"), or
// "Unknown ErrorCode_" and the code modulo 10000 in four digits. The text of an
// unknown code lives in a per-thread buffer that the next unknown code on the
// same thread overwrites: copy it at once.
const char *GetReturnCodeText(int32_t p_i32Code);
