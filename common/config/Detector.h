#pragma once
// A detector: a small set of regions drawn on the camera image. Each region is
// a quadrilateral whose four sides and interior can each be switched on as an
// output towards the signal controller, or which can be marked as an excluded
// region. Corners are kept in normalised order: corner 0 top left, the others
// clockwise on the screen (x to the right, y downwards), so side outputs keep
// their meaning (0 top, 1 right, 2 bottom, 3 left).
//
// Coordinates are working-image pixels of one camera: x from 0 to the image
// width, y from 0 to half the stacked frame's height.

#include <cstdint>

class KTX_Buffer;
class KTX_BufferToken;
class KTX_ConfigDetection;

struct KTX_RegionPoint {
  int32_t i32X;
  int32_t i32Y;

  bool operator==(const KTX_RegionPoint &p_roOther) const = default;
};

// Output indices of a region.
enum KTX_RegionOutputIndex : uint32_t {
  KTX_OUTPUT_SIDE_0 = 0, // corner 0 to corner 1: the top side
  KTX_OUTPUT_SIDE_1 = 1, // corner 1 to corner 2: the right side
  KTX_OUTPUT_SIDE_2 = 2, // corner 2 to corner 3: the bottom side
  KTX_OUTPUT_SIDE_3 = 3, // corner 3 to corner 0: the left side
  KTX_OUTPUT_PRESENCE = 4,
  KTX_OUTPUT_EXCLUDED = 5,
};

// One output of a region: when on, its kind is its own index and the pin is the
// one it was switched on with; when switched off both are -1.
struct KTX_RegionOutput {
  int32_t i32Kind;
  int32_t i32Pin;
  bool bOn;
};

class KTX_Detector {
public:
  static constexpr uint32_t c_u32CornerCount = 4;
  static constexpr uint32_t c_u32OutputCount = 6;
  static constexpr uint32_t c_u32RegionSlots = 8;
  // The most regions any detector holds is five (indices 0 to 4): a region
  // index above this in a configuration is malformed whatever the detector's
  // type; below it, the type's own MaxRegions() decides.
  static constexpr uint32_t c_u32HighestRegionIndex = 4;

  explicit KTX_Detector(int32_t p_i32Type);
  virtual ~KTX_Detector();
  KTX_Detector(const KTX_Detector &) = delete;
  KTX_Detector &operator=(const KTX_Detector &) = delete;

  // Appends a region with the corners in any order; they are normalised (when
  // no convex outline can be built they stay as given). KTX_RC_INVALID_CALL when
  // the detector holds MaxRegions() regions.
  virtual int32_t AddRegion(const KTX_RegionPoint (&p_raoCorners)[c_u32CornerCount]);
  // Removes a region; later regions move down one slot.
  virtual int32_t DeleteRegion(uint32_t p_u32Region);
  virtual uint32_t MaxRegions() const;
  virtual int32_t Finalize();
  virtual int32_t FinalizeSelf();
  virtual int32_t WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken);
  // Reads the regions up to the "End" that closes "DetectorBase".
  virtual int32_t ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken);
  // Switches an output that is off on (pin 0), one that is on off.
  virtual int32_t ToggleOutput(uint32_t p_u32Region, uint32_t p_u32Output);
  virtual int32_t ReadRegion(uint32_t p_u32Region, KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken);
  virtual int32_t ReadRegionEdge(uint32_t p_u32Region, uint32_t p_u32Output, KTX_Buffer *p_poSource,
                                 KTX_BufferToken *p_poToken);

  int32_t GetType() const { return c_i32Type; }
  uint32_t GetRegionCount() const { return c_u32RegionCount; }
  KTX_ConfigDetection *GetOwner() const { return c_poOwner; }
  void SetOwner(KTX_ConfigDetection *p_poOwner) { c_poOwner = p_poOwner; }

  // The corners of a region; four points (0, 0) when there is no such region.
  void GetCorners(uint32_t p_u32Region, KTX_RegionPoint (&p_raoCorners)[c_u32CornerCount]) const;
  void GetStoredCorners(uint32_t p_u32Region, KTX_RegionPoint (&p_raoCorners)[c_u32CornerCount]) const;
  // Moves one corner and normalises the region; when that fails the corner
  // returns to where it was. The stored corners then take the corners.
  int32_t MoveCorner(uint32_t p_u32Region, uint32_t p_u32Corner, int32_t p_i32X, int32_t p_i32Y);
  bool HasOutput(uint32_t p_u32Region, uint32_t p_u32Output) const;
  // The output record; none for indices out of range.
  const KTX_RegionOutput *GetOutput(uint32_t p_u32Region, uint32_t p_u32Output) const;
  // Number of outputs that are on.
  uint32_t OutputCount(uint32_t p_u32Region) const;
  int32_t ClearOutputs(uint32_t p_u32Region);
  // An excluded region becomes an ordinary region without outputs; any other
  // region loses its outputs and becomes excluded.
  int32_t ToggleExcluded(uint32_t p_u32Region);

  // The side output between two corners: i for corners i and i + 1 (mod 4) in
  // either order, -1 for any other pair.
  static int32_t SideOutput(uint32_t p_u32CornerA, uint32_t p_u32CornerB);
  // Puts four corners into normalised order: the convex outline they span,
  // walked clockwise on the screen from the top-left corner. Fails with
  // KTX_RC_OPERATION_FAILED, leaving the corners as they were, when no outline
  // can be built (coincident or collinear corners) or the start corner is not
  // on it. When one corner lies inside the triangle of the other three, the
  // triangle fills slots 0 to 2 and that corner slot 3.
  static int32_t NormaliseCorners(KTX_RegionPoint (&p_raoCorners)[c_u32CornerCount]);

protected:
  struct Region {
    KTX_RegionPoint aoCorners[c_u32CornerCount];
    KTX_RegionPoint aoStoredCorners[c_u32CornerCount];
    KTX_RegionOutput aoOutputs[c_u32OutputCount];
  };

  int32_t NormaliseRegion(uint32_t p_u32Region);
  // True for an existing region in a slot that can hold one.
  bool IsRegion(uint32_t p_u32Region) const;
  void SwitchOn(uint32_t p_u32Region, uint32_t p_u32Output, int32_t p_i32Pin);
  void SwitchOff(uint32_t p_u32Region, uint32_t p_u32Output);

  int32_t c_i32Type;
  KTX_ConfigDetection *c_poOwner;
  uint32_t c_u32RegionCount;
  Region c_aoRegions[c_u32RegionSlots];
};
