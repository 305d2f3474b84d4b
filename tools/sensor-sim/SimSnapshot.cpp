#include "sensor-sim/SimSnapshot.h"

#include "runtime/ReturnCode.h"

#include <turbojpeg.h>

#include <cmath>
#include <cstring>

namespace {

struct Vec3 {
  double x, y, z;
};

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }

uint32_t Hash2(int32_t p_i32X, int32_t p_i32Y, uint32_t p_u32Salt) {
  uint32_t h = static_cast<uint32_t>(p_i32X) * 0x8DA6B343u ^ static_cast<uint32_t>(p_i32Y) * 0xD8163841u ^
               p_u32Salt * 0xCB1AB31Fu;
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  h ^= h >> 15;
  return h;
}

// Smooth value noise in [0, 1) over world coordinates, cell size 1.
double ValueNoise(double p_f64X, double p_f64Y, uint32_t p_u32Salt) {
  const double fx = std::floor(p_f64X);
  const double fy = std::floor(p_f64Y);
  const int32_t ix = static_cast<int32_t>(fx);
  const int32_t iy = static_cast<int32_t>(fy);
  double tx = p_f64X - fx;
  double ty = p_f64Y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  auto v = [&](int32_t dx, int32_t dy) { return (Hash2(ix + dx, iy + dy, p_u32Salt) & 0xFFFF) / 65536.0; };
  const double a = v(0, 0) + (v(1, 0) - v(0, 0)) * tx;
  const double b = v(0, 1) + (v(1, 1) - v(0, 1)) * tx;
  return a + (b - a) * ty;
}

// Fine texture with structure at several scales, so that block matching finds
// every part of the picture.
double Texture(double p_f64U, double p_f64V, uint32_t p_u32Salt) {
  return 0.5 * ValueNoise(p_f64U / 0.08, p_f64V / 0.08, p_u32Salt) +
         0.3 * ValueNoise(p_f64U / 0.3, p_f64V / 0.3, p_u32Salt + 1) +
         0.2 * ValueNoise(p_f64U / 1.2, p_f64V / 1.2, p_u32Salt + 2);
}

struct Rgb {
  double r, g, b;
};

Rgb Shade(Rgb p_oBase, double p_f64Tex) {
  const double k = 0.55 + 0.9 * p_f64Tex;
  return {p_oBase.r * k, p_oBase.g * k, p_oBase.b * k};
}

// An upright rectangle facing the cameras: the plane y = depth, x and z ranges.
struct Board {
  double x0, x1, z0, z1, depth;
  Rgb base;
  uint32_t salt;
};

Rgb Ground(double p_f64X, double p_f64Y) {
  const double tex = Texture(p_f64X, p_f64Y, 11);
  // Road between the kerbs at x = ±4 m, pavement outside.
  if (std::fabs(p_f64X) > 4.0) {
    return Shade({150, 145, 135}, tex);
  }
  if (std::fabs(std::fabs(p_f64X) - 4.0) < 0.15) {
    return Shade({200, 200, 195}, tex);
  }
  // Zebra stripes across the road between y = 9 m and y = 13 m.
  if (p_f64Y > 9.0 && p_f64Y < 13.0 && std::fmod(p_f64X + 8.0, 1.0) < 0.5) {
    return Shade({225, 225, 220}, tex);
  }
  return Shade({80, 82, 88}, tex);
}

Rgb Trace(const Vec3 &p_roEye, const Vec3 &p_roRay, const Board *p_poBoards, int32_t p_i32Boards) {
  double best = 1e30;
  Rgb colour{170, 200, 235};
  bool hit = false;
  for (int32_t i = 0; i < p_i32Boards; ++i) {
    const Board &b = p_poBoards[i];
    if (p_roRay.y <= 1e-9) {
      continue;
    }
    const double t = (b.depth - p_roEye.y) / p_roRay.y;
    if (t <= 0 || t >= best) {
      continue;
    }
    const Vec3 p = p_roEye + p_roRay * t;
    if (p.x >= b.x0 && p.x <= b.x1 && p.z >= b.z0 && p.z <= b.z1) {
      best = t;
      colour = Shade(b.base, Texture(p.x * 1.7, p.z * 1.7, b.salt));
      hit = true;
    }
  }
  if (p_roRay.z < -1e-9) {
    const double t = -p_roEye.z / p_roRay.z;
    if (t < best) {
      const Vec3 p = p_roEye + p_roRay * t;
      colour = Ground(p.x, p.y);
      hit = true;
    }
  }
  if (!hit) {
    // Sky brightening towards the horizon.
    const double k = std::fmax(0.0, std::fmin(1.0, p_roRay.z * 3.0));
    colour = {200 - 60 * k, 220 - 40 * k, 240 - 10 * k};
  }
  return colour;
}

uint8_t Clamp(double p_f64Value) {
  if (p_f64Value <= 0) {
    return 0;
  }
  if (p_f64Value >= 255) {
    return 255;
  }
  return static_cast<uint8_t>(p_f64Value + 0.5);
}

} // namespace

void KTX_SimSnapshot::RenderCamera(int32_t p_i32Camera, int32_t p_i32Width, int32_t p_i32Height, uint32_t p_u32Frame,
                                   uint8_t *p_pu8Rgb) {
  const double pi = 3.14159265358979323846;
  const double tilt = c_f64TiltDegrees * pi / 180.0;
  const Vec3 forward{0, std::cos(tilt), -std::sin(tilt)};
  const Vec3 up{0, std::sin(tilt), std::cos(tilt)};
  const Vec3 right{1, 0, 0};
  const Vec3 eye{p_i32Camera == 0 ? -c_f64Baseline / 2 : c_f64Baseline / 2, 0, c_f64Height};
  const double focal = c_f64FocalPerWidth * p_i32Width;
  const double cx = (p_i32Width - 1) / 2.0;
  const double cy = (p_i32Height - 1) / 2.0;

  // Two pedestrians crossing in opposite directions and a pole at the kerb.
  const double walk = std::fmod(p_u32Frame * 0.15, 6.0);
  const Board boards[] = {
      {-2.6 + walk, -2.1 + walk, 0.0, 1.75, 10.5, {70, 90, 160}, 21},
      {1.9 - walk, 2.4 - walk, 0.0, 1.65, 12.0, {170, 60, 50}, 22},
      {4.3, 4.45, 0.0, 3.2, 8.0, {110, 110, 110}, 23},
  };
  for (int32_t v = 0; v < p_i32Height; ++v) {
    for (int32_t u = 0; u < p_i32Width; ++u) {
      const Vec3 ray = forward * focal + right * (u - cx) + up * (cy - v);
      const Rgb c = Trace(eye, ray, boards, static_cast<int32_t>(sizeof boards / sizeof boards[0]));
      uint8_t *px = p_pu8Rgb + (static_cast<size_t>(v) * p_i32Width + u) * 3;
      px[0] = Clamp(c.r);
      px[1] = Clamp(c.g);
      px[2] = Clamp(c.b);
    }
  }
}

int32_t KTX_SimSnapshot::Encode(int32_t p_i32Width, int32_t p_i32Height, uint32_t p_u32Frame, int32_t p_i32Quality,
                                std::vector<uint8_t> &p_rvu8Jpeg) {
  p_rvu8Jpeg.clear();
  if (p_i32Width < 16 || p_i32Width > 2048 || p_i32Height < 16 || p_i32Height > 2048) {
    return KTX_RC_INVALID_PARAMETER;
  }
  const int32_t quality = p_i32Quality < 1 ? 1 : (p_i32Quality > 100 ? 100 : p_i32Quality);
  const size_t half = static_cast<size_t>(p_i32Width) * p_i32Height * 3;
  std::vector<uint8_t> pixels(half * 2);
  RenderCamera(0, p_i32Width, p_i32Height, p_u32Frame, pixels.data());
  RenderCamera(1, p_i32Width, p_i32Height, p_u32Frame, pixels.data() + half);

  tjhandle handle = tjInitCompress();
  if (handle == nullptr) {
    return KTX_RC_OPERATION_FAILED;
  }
  unsigned char *jpeg = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(handle, pixels.data(), p_i32Width, 0, p_i32Height * 2, TJPF_RGB, &jpeg, &size,
                             TJSAMP_420, quality, TJFLAG_ACCURATEDCT);
  if (rc == 0 && jpeg != nullptr) {
    p_rvu8Jpeg.assign(jpeg, jpeg + size);
  }
  tjFree(jpeg);
  tjDestroy(handle);
  return rc == 0 ? KTX_RC_OK : KTX_RC_OPERATION_FAILED;
}
