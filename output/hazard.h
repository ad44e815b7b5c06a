// The flood hazard rating of a depth and a speed, HR = d (v + 0.5) + DF,
// with the debris factor DF = 0.5 where the depth is above 0.25 m and 0
// below. One definition for every program that rates the hazard (the
// export's GeoTIFF and the browser's item), so the two cannot disagree.
#pragma once

namespace qf {

inline constexpr float kDebrisDepth = 0.25f;  // m; deeper water carries debris
inline constexpr float kDebrisFactor = 0.5f;

// Debris factor of a depth d [m].
constexpr float debris_factor(float d) {
  return d > kDebrisDepth ? kDebrisFactor : 0.0f;
}

// Hazard rating of a depth d [m] and a speed v [m/s] (both not below 0).
constexpr float hazard_rating(float d, float v) {
  return d * (v + 0.5f) + debris_factor(d);
}

}  // namespace qf
