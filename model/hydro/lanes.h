// Lane arithmetic for the hydrodynamic kernels.
//
// The face and node kernels are written once as templates over a value type
// T that is either `float` (one face, one node) or `Lanes` (kLanes adjacent
// faces or nodes of a row). The helpers below give both types the same
// operations with the same IEEE single-precision results lane by lane: the
// vector path of a sweep therefore reproduces the one-face path exactly, as
// long as the compiler does not contract a*b+c into fused multiply-adds
// (the build turns contraction off).
//
// The width is QF_LANES (4, 8 or 16) when a variant of the sweep sets it
// (isa.h), else what the compiler's target allows.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "model/hydro/isa.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#ifndef QF_LANES
#if defined(__AVX512F__)
#define QF_LANES 16
#elif defined(__AVX__)
#define QF_LANES 8
#else
#define QF_LANES 4
#endif
#endif

namespace qf {

// Spare entries a row buffer keeps beyond its last column, enough for the
// widest lane load of any variant.
inline constexpr int kMaxLanes = 16;

inline namespace QF_ISA {

inline constexpr int kLanes = QF_LANES;

typedef float Lanes __attribute__((vector_size(kLanes * 4)));
typedef std::int32_t LaneMask __attribute__((vector_size(kLanes * 4)));
typedef std::uint8_t LaneBytes __attribute__((vector_size(kLanes)));

// Mask type of a value type: bool for one value, LaneMask for lanes.
template <class T>
using MaskOf = decltype(T{} < T{});

template <class T>
inline T splat(float x) {
  if constexpr (sizeof(T) == sizeof(float)) {
    return x;
  } else {
    return T{} + x;
  }
}

inline float sel(bool m, float a, float b) {
  return m ? a : b;
}
inline Lanes sel(LaneMask m, Lanes a, Lanes b) {
  return m ? a : b;
}

inline bool mand(bool a, bool b) {
  return a && b;
}
inline LaneMask mand(LaneMask a, LaneMask b) {
  return a & b;
}
inline bool mor(bool a, bool b) {
  return a || b;
}
inline LaneMask mor(LaneMask a, LaneMask b) {
  return a | b;
}
inline bool mnot(bool a) {
  return !a;
}
inline LaneMask mnot(LaneMask a) {
  return ~a;
}

// True when the mask is true in any lane.
inline bool any(bool m) {
  return m;
}
inline bool any(LaneMask m) {
#if QF_LANES == 16 && defined(__x86_64__)
  const __m512i v = reinterpret_cast<__m512i>(m);
  return _mm512_test_epi32_mask(v, v) != 0;
#elif QF_LANES == 8 && defined(__x86_64__)
  return _mm256_movemask_ps(reinterpret_cast<__m256>(m)) != 0;
#elif QF_LANES == 4 && defined(__SSE2__)
  return _mm_movemask_ps(reinterpret_cast<__m128>(m)) != 0;
#else
  for (int l = 0; l < kLanes; ++l) {
    if (m[l]) return true;
  }
  return false;
#endif
}

// max(a, b) and min(a, b) returning a on ties (as std::max, std::min do).
inline float vmax(float a, float b) {
  return b > a ? b : a;
}
inline Lanes vmax(Lanes a, Lanes b) {
  return b > a ? b : a;
}
inline float vmin(float a, float b) {
  return b < a ? b : a;
}
inline Lanes vmin(Lanes a, Lanes b) {
  return b < a ? b : a;
}

inline float vabs(float a) {
  return std::fabs(a);
}
inline Lanes vabs(Lanes a) {
  return reinterpret_cast<Lanes>(reinterpret_cast<LaneMask>(a) & 0x7fffffff);
}

inline float vsqrt(float a) {
  return std::sqrt(a);
}
inline Lanes vsqrt(Lanes a) {
#if QF_LANES == 16 && defined(__x86_64__)
  // (the masked form: the plain one reads an undefined register)
  const __m512 v = reinterpret_cast<__m512>(a);
  return reinterpret_cast<Lanes>(_mm512_mask_sqrt_ps(v, static_cast<__mmask16>(0xffff), v));
#elif QF_LANES == 8 && defined(__x86_64__)
  return reinterpret_cast<Lanes>(_mm256_sqrt_ps(reinterpret_cast<__m256>(a)));
#elif QF_LANES == 4 && defined(__SSE2__)
  return reinterpret_cast<Lanes>(_mm_sqrt_ps(reinterpret_cast<__m128>(a)));
#else
  Lanes r;
  for (int l = 0; l < kLanes; ++l) r[l] = std::sqrt(a[l]);
  return r;
#endif
}

// Loads and stores of kLanes consecutive values (no alignment needed).
template <class T>
inline T load(const float* p) {
  if constexpr (sizeof(T) == sizeof(float)) {
    return *p;
  } else {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
}
inline void store(float* p, float v) {
  *p = v;
}
inline void store(float* p, Lanes v) {
  std::memcpy(p, &v, sizeof v);
}

// Flags (0 or 1 bytes) as a mask: true where the byte is not 0.
template <class T>
inline MaskOf<T> load_flag(const std::uint8_t* p) {
  if constexpr (sizeof(T) == sizeof(float)) {
    return *p != 0;
  } else {
    LaneBytes b;
    std::memcpy(&b, p, sizeof b);
    return __builtin_convertvector(b, LaneMask) != 0;
  }
}

// Stores 1 where the mask is true, 0 elsewhere.
inline void store_flag(std::uint8_t* p, bool m) {
  *p = m ? 1 : 0;
}
inline void store_flag(std::uint8_t* p, LaneMask m) {
  const LaneBytes b = __builtin_convertvector(m & 1, LaneBytes);
  std::memcpy(p, &b, sizeof b);
}

}  // namespace QF_ISA
}  // namespace qf
