#pragma once
// What the sensor watches and how it drives its outputs: the detectors with
// their regions, and the settings they share: call delay and extend times, the
// operation mode with its on times, the output contact behaviour and the
// detection sensitivity. Times are in milliseconds.

#include "config/Config.h"

class KTX_Detector;

enum KTX_DetectorType : int32_t {
  KTX_DETECTOR_PED_CALL = 1,
  KTX_DETECTOR_PED_EXTEND = 2,
  KTX_DETECTOR_VEHICLE_CALL = 3,
};

enum KTX_TriggerMode : int32_t {
  KTX_TRIGGER_MODE_NORMAL = 0,
  KTX_TRIGGER_MODE_LANE_LIGHT = 1,
};

class KTX_ConfigDetection : public KTX_Config {
public:
  static constexpr uint32_t c_u32MaxDetectors = 32;
  static constexpr int32_t c_i32MinSensitivity = 1; // the highest sensitivity
  static constexpr int32_t c_i32MaxSensitivity = 4; // the lowest sensitivity

  KTX_ConfigDetection();
  ~KTX_ConfigDetection() override;

  int32_t WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) override;
  // Replaces all detectors by the ones read.
  int32_t ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) override;
  int32_t Finalize() override;

  // Appends a new detector of a type (1 or 2) owned by this node; it is also
  // handed out through p_ppoDetector when that is given. KTX_RC_INTERNAL_OVERFLOW
  // when 32 exist, KTX_RC_MALLOC_FAILED for type 3 (not available) or when
  // memory runs out, KTX_RC_INVALID_PARAMETER for other types.
  int32_t CreateDetector(int32_t p_i32Type, KTX_Detector **p_ppoDetector);
  // The detector in a slot (none for an empty slot; an index of 32 or more is
  // logged and gives none).
  KTX_Detector *GetDetector(uint32_t p_u32Index) const;
  uint32_t GetDetectorCount() const { return c_u32DetectorCount; }
  // Removes the given detector, closes the gap behind it, destroys it and
  // empties the caller's reference. KTX_RC_UNEXPECTED_NULL_POINTER without a
  // reference; KTX_RC_OK with nothing changed when the node has no detectors;
  // KTX_RC_ITEM_NOT_FOUND when the detector is not one of this node's.
  int32_t RemoveDetector(KTX_Detector **p_ppoDetector);

  uint32_t GetDelay() const { return c_u32Delay; }
  void SetDelay(uint32_t p_u32Milliseconds) { c_u32Delay = p_u32Milliseconds; }
  uint32_t GetExtend() const { return c_u32Extend; }
  void SetExtend(uint32_t p_u32Milliseconds) { c_u32Extend = p_u32Milliseconds; }
  int32_t GetInitialStateOff() const { return c_i32InitialStateOff; }
  void SetInitialStateOff(int32_t p_i32Off) { c_i32InitialStateOff = p_i32Off; }
  int32_t GetFailsafeMode() const { return c_i32FailsafeMode; }
  void SetFailsafeMode(int32_t p_i32Mode) { c_i32FailsafeMode = p_i32Mode; }
  int32_t GetOnState() const { return c_i32OnState; }
  void SetOnState(int32_t p_i32State) { c_i32OnState = p_i32State; }
  int32_t GetSensitivity() const { return c_i32Sensitivity; }
  // Clamped to 1..4.
  void SetSensitivity(int32_t p_i32Sensitivity);
  int32_t GetTriggerMode() const { return c_i32TriggerMode; }
  void SetTriggerMode(int32_t p_i32Mode) { c_i32TriggerMode = p_i32Mode; }
  uint32_t GetMinOnTime() const { return c_u32MinOnTime; }
  void SetMinOnTime(uint32_t p_u32Milliseconds) { c_u32MinOnTime = p_u32Milliseconds; }
  uint32_t GetMaxOnTime() const { return c_u32MaxOnTime; }
  void SetMaxOnTime(uint32_t p_u32Milliseconds) { c_u32MaxOnTime = p_u32Milliseconds; }

private:
  void DestroyDetectors();

  KTX_Detector *c_apoDetectors[c_u32MaxDetectors];
  uint32_t c_u32DetectorCount;
  uint32_t c_u32Delay;
  uint32_t c_u32Extend;
  int32_t c_i32InitialStateOff;
  int32_t c_i32FailsafeMode;
  int32_t c_i32OnState;
  int32_t c_i32Sensitivity;
  int32_t c_i32TriggerMode;
  uint32_t c_u32MinOnTime;
  uint32_t c_u32MaxOnTime;
};
