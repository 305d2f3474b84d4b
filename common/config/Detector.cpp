#include "config/Detector.h"

#include "buffers/BufferToken.h"
#include "config/Config.h"
#include "runtime/DebugLog.h"
#include "runtime/ReturnCode.h"

#include <algorithm>

namespace {

constexpr const char *k_szSource = "Detector";
// Corners and stored corners, x and y each.
constexpr uint32_t k_u32PointValues = 4 * KTX_Detector::c_u32CornerCount;
// Regions live in slots 0 to 6 (a count of at most 7).
constexpr uint32_t k_u32HighestSlot = 6;

using Wide = __int128;

// Twice the signed area of (a, b, c); positive when a, b, c turn clockwise on
// the screen (y downwards).
Wide Turn(const KTX_RegionPoint &a, const KTX_RegionPoint &b, const KTX_RegionPoint &c) {
  const Wide abx = static_cast<Wide>(b.i32X) - a.i32X;
  const Wide aby = static_cast<Wide>(b.i32Y) - a.i32Y;
  const Wide acx = static_cast<Wide>(c.i32X) - a.i32X;
  const Wide acy = static_cast<Wide>(c.i32Y) - a.i32Y;
  return abx * acy - aby * acx;
}

int Sign(Wide p_Value) { return p_Value > 0 ? 1 : p_Value < 0 ? -1 : 0; }

// True when p lies strictly inside the triangle (a, b, c).
bool StrictlyInside(const KTX_RegionPoint &p, const KTX_RegionPoint &a, const KTX_RegionPoint &b,
                    const KTX_RegionPoint &c) {
  const int s1 = Sign(Turn(a, b, p));
  const int s2 = Sign(Turn(b, c, p));
  const int s3 = Sign(Turn(c, a, p));
  return s1 != 0 && s1 == s2 && s2 == s3;
}

// Orders the points of a convex outline (given by their indices into p_paoPoints)
// clockwise on the screen, by their direction from the outline's centroid.
// Every point lies on the outline, so no direction is zero.
void SortClockwise(const KTX_RegionPoint *p_paoPoints, uint32_t *p_pu32Indices, uint32_t p_u32Count) {
  int64_t i64SumX = 0;
  int64_t i64SumY = 0;
  for (uint32_t i = 0; i < p_u32Count; ++i) {
    i64SumX += p_paoPoints[p_pu32Indices[i]].i32X;
    i64SumY += p_paoPoints[p_pu32Indices[i]].i32Y;
  }
  struct Direction {
    int64_t x;
    int64_t y;
  };
  auto DirectionOf = [&](uint32_t p_u32Index) {
    const KTX_RegionPoint &ro = p_paoPoints[p_u32Index];
    return Direction{static_cast<int64_t>(p_u32Count) * ro.i32X - i64SumX,
                     static_cast<int64_t>(p_u32Count) * ro.i32Y - i64SumY};
  };
  // Angles rising from -180 degrees: with y downwards that is clockwise on the screen.
  auto HalfOf = [](const Direction &d) { return d.y < 0 ? 0 : (d.y == 0 && d.x < 0) ? 2 : 1; };
  std::sort(p_pu32Indices, p_pu32Indices + p_u32Count, [&](uint32_t a, uint32_t b) {
    const Direction da = DirectionOf(a);
    const Direction db = DirectionOf(b);
    const int ha = HalfOf(da);
    const int hb = HalfOf(db);
    if (ha != hb) {
      return ha < hb;
    }
    return static_cast<Wide>(da.x) * db.y - static_cast<Wide>(da.y) * db.x > 0;
  });
}

} // namespace

KTX_Detector::KTX_Detector(int32_t p_i32Type)
    : c_i32Type(p_i32Type), c_poOwner(nullptr), c_u32RegionCount(0), c_aoRegions{} {}

KTX_Detector::~KTX_Detector() = default;

uint32_t KTX_Detector::MaxRegions() const { return 0; }

int32_t KTX_Detector::Finalize() { return FinalizeSelf(); }

int32_t KTX_Detector::FinalizeSelf() { return KTX_RC_OK; }

bool KTX_Detector::IsRegion(uint32_t p_u32Region) const {
  return p_u32Region < c_u32RegionCount && p_u32Region <= k_u32HighestSlot;
}

int32_t KTX_Detector::SideOutput(uint32_t p_u32CornerA, uint32_t p_u32CornerB) {
  if (p_u32CornerA >= c_u32CornerCount || p_u32CornerB >= c_u32CornerCount) {
    return -1;
  }
  if ((p_u32CornerA + 1) % c_u32CornerCount == p_u32CornerB) {
    return static_cast<int32_t>(p_u32CornerA);
  }
  if ((p_u32CornerB + 1) % c_u32CornerCount == p_u32CornerA) {
    return static_cast<int32_t>(p_u32CornerB);
  }
  return -1;
}

int32_t KTX_Detector::NormaliseCorners(KTX_RegionPoint (&p_raoCorners)[c_u32CornerCount]) {
  const KTX_RegionPoint *p = p_raoCorners;
  for (uint32_t i = 0; i < c_u32CornerCount; ++i) {
    for (uint32_t j = i + 1; j < c_u32CornerCount; ++j) {
      if (p[i] == p[j]) {
        return KTX_RC_OPERATION_FAILED;
      }
    }
  }
  if (Turn(p[0], p[1], p[2]) == 0 && Turn(p[0], p[1], p[3]) == 0) {
    return KTX_RC_OPERATION_FAILED; // all on one line
  }
  // A corner strictly inside the triangle of the other three is not on the
  // outline; a corner on a side of that triangle is.
  int32_t i32Inner = -1;
  for (uint32_t i = 0; i < c_u32CornerCount && i32Inner < 0; ++i) {
    const KTX_RegionPoint &a = p[(i + 1) % 4];
    const KTX_RegionPoint &b = p[(i + 2) % 4];
    const KTX_RegionPoint &c = p[(i + 3) % 4];
    if (StrictlyInside(p[i], a, b, c)) {
      i32Inner = static_cast<int32_t>(i);
    }
  }
  uint32_t au32Outline[c_u32CornerCount];
  uint32_t u32OutlineCount = 0;
  for (uint32_t i = 0; i < c_u32CornerCount; ++i) {
    if (static_cast<int32_t>(i) != i32Inner) {
      au32Outline[u32OutlineCount++] = i;
    }
  }
  SortClockwise(p, au32Outline, u32OutlineCount);

  // Start corner: of the two highest corners (first found on ties) the one
  // with the smaller x, the second one on equal x.
  uint32_t u32First = 0;
  for (uint32_t i = 1; i < c_u32CornerCount; ++i) {
    if (p[i].i32Y < p[u32First].i32Y) {
      u32First = i;
    }
  }
  uint32_t u32Second = u32First == 0 ? 1 : 0;
  for (uint32_t i = 0; i < c_u32CornerCount; ++i) {
    if (i != u32First && p[i].i32Y < p[u32Second].i32Y) {
      u32Second = i;
    }
  }
  const uint32_t u32Start = p[u32First].i32X < p[u32Second].i32X ? u32First : u32Second;
  uint32_t u32StartPos = u32OutlineCount;
  for (uint32_t k = 0; k < u32OutlineCount; ++k) {
    if (au32Outline[k] == u32Start) {
      u32StartPos = k;
    }
  }
  if (u32StartPos == u32OutlineCount) {
    return KTX_RC_OPERATION_FAILED; // the start corner is not on the outline
  }
  KTX_RegionPoint aoResult[c_u32CornerCount];
  for (uint32_t k = 0; k < u32OutlineCount; ++k) {
    aoResult[k] = p[au32Outline[(u32StartPos + k) % u32OutlineCount]];
  }
  if (u32OutlineCount < c_u32CornerCount) {
    aoResult[c_u32CornerCount - 1] = p[i32Inner];
  }
  for (uint32_t k = 0; k < c_u32CornerCount; ++k) {
    p_raoCorners[k] = aoResult[k];
  }
  return KTX_RC_OK;
}

int32_t KTX_Detector::NormaliseRegion(uint32_t p_u32Region) {
  if (!IsRegion(p_u32Region)) {
    return KTX_RC_INVALID_PARAMETER;
  }
  return NormaliseCorners(c_aoRegions[p_u32Region].aoCorners);
}

int32_t KTX_Detector::AddRegion(const KTX_RegionPoint (&p_raoCorners)[c_u32CornerCount]) {
  if (c_u32RegionCount >= MaxRegions() || c_u32RegionCount > k_u32HighestSlot) {
    return KTX_RC_INVALID_CALL;
  }
  Region &roRegion = c_aoRegions[c_u32RegionCount];
  roRegion = Region{};
  for (uint32_t k = 0; k < c_u32CornerCount; ++k) {
    roRegion.aoCorners[k] = p_raoCorners[k];
    roRegion.aoStoredCorners[k] = p_raoCorners[k];
  }
  ++c_u32RegionCount;
  // A region whose corners span no outline keeps them as given.
  NormaliseRegion(c_u32RegionCount - 1);
  return KTX_RC_OK;
}

int32_t KTX_Detector::DeleteRegion(uint32_t p_u32Region) {
  if (p_u32Region >= c_u32RegionCount) {
    return KTX_RC_INVALID_PARAMETER;
  }
  for (uint32_t r = p_u32Region; r + 1 < c_u32RegionCount; ++r) {
    c_aoRegions[r] = c_aoRegions[r + 1];
  }
  --c_u32RegionCount;
  c_aoRegions[c_u32RegionCount] = Region{};
  return KTX_RC_OK;
}

void KTX_Detector::GetCorners(uint32_t p_u32Region, KTX_RegionPoint (&p_raoCorners)[c_u32CornerCount]) const {
  for (uint32_t k = 0; k < c_u32CornerCount; ++k) {
    p_raoCorners[k] = p_u32Region < c_u32RegionCount && p_u32Region < c_u32RegionSlots
                          ? c_aoRegions[p_u32Region].aoCorners[k]
                          : KTX_RegionPoint{0, 0};
  }
}

void KTX_Detector::GetStoredCorners(uint32_t p_u32Region, KTX_RegionPoint (&p_raoCorners)[c_u32CornerCount]) const {
  for (uint32_t k = 0; k < c_u32CornerCount; ++k) {
    p_raoCorners[k] = p_u32Region < c_u32RegionCount && p_u32Region < c_u32RegionSlots
                          ? c_aoRegions[p_u32Region].aoStoredCorners[k]
                          : KTX_RegionPoint{0, 0};
  }
}

int32_t KTX_Detector::MoveCorner(uint32_t p_u32Region, uint32_t p_u32Corner, int32_t p_i32X, int32_t p_i32Y) {
  if (!IsRegion(p_u32Region) || p_u32Corner >= c_u32CornerCount) {
    return KTX_RC_INVALID_PARAMETER;
  }
  Region &roRegion = c_aoRegions[p_u32Region];
  const KTX_RegionPoint oPrevious = roRegion.aoCorners[p_u32Corner];
  roRegion.aoCorners[p_u32Corner] = KTX_RegionPoint{p_i32X, p_i32Y};
  const int32_t i32Result = NormaliseRegion(p_u32Region);
  if (i32Result != KTX_RC_OK) {
    roRegion.aoCorners[p_u32Corner] = oPrevious;
  }
  for (uint32_t k = 0; k < c_u32CornerCount; ++k) {
    roRegion.aoStoredCorners[k] = roRegion.aoCorners[k];
  }
  return i32Result;
}

bool KTX_Detector::HasOutput(uint32_t p_u32Region, uint32_t p_u32Output) const {
  const KTX_RegionOutput *poOutput = GetOutput(p_u32Region, p_u32Output);
  return poOutput != nullptr && poOutput->bOn;
}

const KTX_RegionOutput *KTX_Detector::GetOutput(uint32_t p_u32Region, uint32_t p_u32Output) const {
  if (!IsRegion(p_u32Region) || p_u32Output >= c_u32OutputCount) {
    return nullptr;
  }
  return &c_aoRegions[p_u32Region].aoOutputs[p_u32Output];
}

uint32_t KTX_Detector::OutputCount(uint32_t p_u32Region) const {
  uint32_t u32Count = 0;
  for (uint32_t k = 0; k < c_u32OutputCount; ++k) {
    u32Count += HasOutput(p_u32Region, k) ? 1 : 0;
  }
  return u32Count;
}

void KTX_Detector::SwitchOn(uint32_t p_u32Region, uint32_t p_u32Output, int32_t p_i32Pin) {
  c_aoRegions[p_u32Region].aoOutputs[p_u32Output] = KTX_RegionOutput{static_cast<int32_t>(p_u32Output), p_i32Pin, true};
}

void KTX_Detector::SwitchOff(uint32_t p_u32Region, uint32_t p_u32Output) {
  c_aoRegions[p_u32Region].aoOutputs[p_u32Output] = KTX_RegionOutput{-1, -1, false};
}

int32_t KTX_Detector::ClearOutputs(uint32_t p_u32Region) {
  if (!IsRegion(p_u32Region)) {
    return KTX_RC_INVALID_PARAMETER;
  }
  for (uint32_t k = 0; k < c_u32OutputCount; ++k) {
    SwitchOff(p_u32Region, k);
  }
  return KTX_RC_OK;
}

int32_t KTX_Detector::ToggleOutput(uint32_t p_u32Region, uint32_t p_u32Output) {
  if (!IsRegion(p_u32Region) || p_u32Output >= c_u32OutputCount) {
    return KTX_RC_INVALID_PARAMETER;
  }
  if (HasOutput(p_u32Region, p_u32Output)) {
    SwitchOff(p_u32Region, p_u32Output);
  } else {
    SwitchOn(p_u32Region, p_u32Output, 0);
  }
  return KTX_RC_OK;
}

int32_t KTX_Detector::ToggleExcluded(uint32_t p_u32Region) {
  if (!IsRegion(p_u32Region)) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const bool bWasExcluded = HasOutput(p_u32Region, KTX_OUTPUT_EXCLUDED);
  ClearOutputs(p_u32Region);
  if (!bWasExcluded) {
    SwitchOn(p_u32Region, KTX_OUTPUT_EXCLUDED, 0);
  }
  return KTX_RC_OK;
}

int32_t KTX_Detector::WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) {
  if (p_poBuffer == nullptr || p_poToken == nullptr) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const uint32_t u32Level = p_poToken->GetIndent();
  int32_t i32Result = p_poToken->SetEmpty(KTX_BTID_DETECTOR_BASE).WriteToken(p_poBuffer);
  p_poToken->SetIndent(u32Level + 1);
  for (uint32_t r = 0; r < c_u32RegionCount && r < c_u32RegionSlots && i32Result == KTX_RC_OK; ++r) {
    const Region &roRegion = c_aoRegions[r];
    i32Result = p_poToken->SetUint16(KTX_BTID_DETECTOR_REGION, static_cast<uint16_t>(r)).WriteToken(p_poBuffer);
    if (i32Result != KTX_RC_OK) {
      break;
    }
    p_poToken->SetIndent(u32Level + 2);
    uint32_t au32Points[k_u32PointValues];
    for (uint32_t k = 0; k < c_u32CornerCount; ++k) {
      au32Points[2 * k] = static_cast<uint32_t>(roRegion.aoCorners[k].i32X);
      au32Points[2 * k + 1] = static_cast<uint32_t>(roRegion.aoCorners[k].i32Y);
      au32Points[8 + 2 * k] = static_cast<uint32_t>(roRegion.aoStoredCorners[k].i32X);
      au32Points[8 + 2 * k + 1] = static_cast<uint32_t>(roRegion.aoStoredCorners[k].i32Y);
    }
    i32Result =
        p_poToken->SetUint32Array(KTX_BTID_DETECTOR_REGION_POINTS, k_u32PointValues, au32Points).WriteToken(p_poBuffer);
    for (uint32_t k = 0; k < c_u32OutputCount && i32Result == KTX_RC_OK; ++k) {
      if (!roRegion.aoOutputs[k].bOn) {
        continue;
      }
      i32Result = p_poToken->SetUint16(KTX_BTID_DETECTOR_REGION_EDGE, static_cast<uint16_t>(k)).WriteToken(p_poBuffer);
      if (i32Result != KTX_RC_OK) {
        break;
      }
      p_poToken->SetIndent(u32Level + 3);
      i32Result =
          p_poToken->SetUint32(KTX_BTID_DETECTOR_REGION_EDGE_PIN, static_cast<uint32_t>(roRegion.aoOutputs[k].i32Pin))
              .WriteToken(p_poBuffer);
      p_poToken->SetIndent(u32Level + 2);
      if (i32Result == KTX_RC_OK) {
        i32Result = p_poToken->SetEmpty(KTX_BTID_END).WriteToken(p_poBuffer);
      }
    }
    p_poToken->SetIndent(u32Level + 1);
    if (i32Result == KTX_RC_OK) {
      i32Result = p_poToken->SetEmpty(KTX_BTID_END).WriteToken(p_poBuffer);
    }
  }
  p_poToken->SetIndent(u32Level);
  if (i32Result == KTX_RC_OK) {
    i32Result = p_poToken->SetEmpty(KTX_BTID_END).WriteToken(p_poBuffer);
  }
  return i32Result;
}

int32_t KTX_Detector::ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) {
  return ReadNodeTokens(p_poSource, p_poToken, [&](uint32_t p_u32Id) -> int32_t {
    if (p_u32Id != KTX_BTID_DETECTOR_REGION) {
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
    uint16_t u16Region = 0;
    int32_t i32Result = p_poToken->GetUint16(nullptr, &u16Region);
    if (i32Result != KTX_RC_OK) {
      return i32Result;
    }
    if (u16Region > c_u32HighestRegionIndex) {
      KTX_LOG_AT(k_szSource, KTX_ASSERT, "KTX_Detector::ReadConfig - KTX_BTID_DETECTOR_REGION");
      return KTX_RC_FILE_INVALID_FORMAT;
    }
    if (u16Region >= MaxRegions()) {
      return KTX_RC_INTERNAL_OVERFLOW;
    }
    i32Result = ReadRegion(u16Region, p_poSource, p_poToken);
    if (i32Result == KTX_RC_OK) {
      c_u32RegionCount = static_cast<uint32_t>(u16Region) + 1;
    }
    return i32Result;
  });
}

int32_t KTX_Detector::ReadRegion(uint32_t p_u32Region, KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) {
  if (p_u32Region > k_u32HighestSlot) {
    return KTX_RC_INVALID_PARAMETER;
  }
  Region &roRegion = c_aoRegions[p_u32Region];
  return ReadNodeTokens(p_poSource, p_poToken, [&](uint32_t p_u32Id) -> int32_t {
    if (p_u32Id == KTX_BTID_DETECTOR_REGION_POINTS) {
      uint32_t au32Points[k_u32PointValues];
      const int32_t i32Result = p_poToken->GetUint32Array(k_u32PointValues, au32Points);
      if (i32Result != KTX_RC_OK) {
        return i32Result;
      }
      for (uint32_t k = 0; k < c_u32CornerCount; ++k) {
        roRegion.aoCorners[k] =
            KTX_RegionPoint{static_cast<int32_t>(au32Points[2 * k]), static_cast<int32_t>(au32Points[2 * k + 1])};
        roRegion.aoStoredCorners[k] = KTX_RegionPoint{static_cast<int32_t>(au32Points[8 + 2 * k]),
                                                      static_cast<int32_t>(au32Points[8 + 2 * k + 1])};
      }
      return KTX_RC_OK;
    }
    if (p_u32Id != KTX_BTID_DETECTOR_REGION_EDGE) {
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
    uint16_t u16Output = 0;
    const int32_t i32Result = p_poToken->GetUint16(nullptr, &u16Output);
    if (i32Result != KTX_RC_OK) {
      return i32Result;
    }
    if (u16Output >= c_u32OutputCount) {
      KTX_LOG_AT(k_szSource, KTX_ASSERT, "KTX_Detector::ReadRegion - KTX_BTID_DETECTOR_REGION_EDGE");
      return KTX_RC_FILE_INVALID_FORMAT;
    }
    return ReadRegionEdge(p_u32Region, u16Output, p_poSource, p_poToken);
  });
}

int32_t KTX_Detector::ReadRegionEdge(uint32_t p_u32Region, uint32_t p_u32Output, KTX_Buffer *p_poSource,
                                     KTX_BufferToken *p_poToken) {
  if (p_u32Region > k_u32HighestSlot || p_u32Output >= c_u32OutputCount) {
    return KTX_RC_INVALID_PARAMETER;
  }
  return ReadNodeTokens(p_poSource, p_poToken, [&](uint32_t p_u32Id) -> int32_t {
    if (p_u32Id != KTX_BTID_DETECTOR_REGION_EDGE_PIN) {
      return KTX_RC_BUFFER_GENERIC_ERROR;
    }
    uint32_t u32Pin = 0;
    const int32_t i32Result = p_poToken->GetUint32(&u32Pin);
    if (i32Result == KTX_RC_OK) {
      SwitchOn(p_u32Region, p_u32Output, static_cast<int32_t>(u32Pin));
    }
    return i32Result;
  });
}
