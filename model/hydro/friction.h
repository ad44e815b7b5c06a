// Bed friction laws.
//
// `cfric` gives the conveyance c = u / u* (depth-averaged velocity over shear
// velocity; the Chezy coefficient divided by sqrt(g)) of a node from its depth
// and roughness value. The solver's friction coefficient is 1/c^2 and the
// shear velocity u* = |q| / h / c. One law is in force for the whole run
// (`friction_law`); the node field `ks` holds the roughness in the unit of
// that law:
//   1  Manning-Strickler               ks = Strickler value [m^(1/3)/s]
//   2  logarithmic, smooth to rough    ks = sand roughness [m], <= 0 smooth
//   3  as 2, modified after Bezzola (2002) for the roughness sublayer
//   4  modified full logarithmic law   ks = roughness length z0 [m]
// Law numbers below 1 act as law 2; numbers above 4 are not defined.
#pragma once

#include <cmath>

namespace qf {

enum FrictionLaw : int {
  law_manning = 1,
  law_log = 2,
  law_bezzola = 3,
  law_z0 = 4,
};

// Manning-Strickler: c = ks h^(1/6) / sqrt(9.81) (the factor does not follow
// the gravity setting).
inline float cfric_manning(float h, float ks) {
  return 0.3193f * ks * std::pow(h, 0.166667f);
}

// Logarithmic law from smooth to rough; `bezzola` multiplies the rough-bed
// value by the roughness-sublayer factor. us is the node's last shear
// velocity [m/s], nu the kinematic viscosity [m2/s].
inline float cfric_log(float h, float ks, float us, float nu, bool bezzola) {
  if (ks <= 0.0f) {  // smooth bed
    const float s = 2.5f * std::log(h * us / nu);
    return s >= 0.0f ? 3.0f + s : 3.0f;
  }
  // Hydraulically smooth when the viscous length nu / (0.3 u*) exceeds ks.
  const float rough = 1.0f / ks;
  const float smooth = 0.3f * us / nu;
  const float k = smooth < rough ? smooth : rough;
  float s = 2.5f * std::log(k * h);
  if (s < -3.0f) s = -3.0f;
  float c = s + 6.0f;
  if (bezzola) {
    const float b = h / ks;
    c *= b > 2.0f ? std::sqrt(1.0f - 1.0f / b) : 0.5f * std::sqrt(b);
  }
  return c;
}

// Modified full logarithmic law with roughness length z0 = ks.
inline float cfric_z0(float h, float ks) {
  const float b = h / ks;
  if (b > 2.718f) return 2.5f * (std::log(b) + 1.359f / b - 1.0f);
  return 0.46f * b;
}

// Stops the run: "friction law not defined".
[[noreturn]] void friction_law_undefined();

// Conveyance u/u* of a node: depth h [m] (at least the dry threshold), the
// node's roughness ks, its last shear velocity us [m/s], the viscosity nu
// [m2/s] and the law number. A law above 4 stops the run.
inline float cfric(float h, float ks, float us, float nu, int law) {
  switch (law) {
    case law_manning:
      return cfric_manning(h, ks);
    case law_bezzola:
      return cfric_log(h, ks, us, nu, true);
    case law_z0:
      return cfric_z0(h, ks);
    default:
      if (law > law_z0) friction_law_undefined();
      return cfric_log(h, ks, us, nu, false);
  }
}

}  // namespace qf
