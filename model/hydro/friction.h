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
#include <cstdint>
#include <type_traits>

namespace qf {

enum FrictionLaw : int {
  law_manning = 1,
  law_log = 2,
  law_bezzola = 3,
  law_z0 = 4,
};

// The Manning power h^0.166667 of a depth h, for one value (float) or for
// the lanes of a vector of floats, by one fixed sequence of IEEE float and
// integer operations: every instruction set and every lane width gets the
// same bits, within 1 ulp of the C library's powf. A depth below the
// smallest normal float (or none) gives 0.
//
// h = 2^e m with m in [1/sqrt(2), sqrt(2)) and e + 132 = 6 k + r (r = 0 .. 5):
// a cubic in m - 1 and 2^(r/6) from a table give z0 ~ (2^r m)^(1/6) to
// 7e-5; one Newton step on z^6 = 2^r m with its second-order term and the
// factor h^(0.166667 - 1/6) ~ 1 + (0.166667 - 1/6) ln h, times 2^(k - 22),
// give the power.
// (Always inlined, and vectors passed by reference: the sweeps built for
// wider vectors compile it for their own target.)
template <class F>
inline __attribute__((always_inline)) void manning_power(const F& h, F& power) {
  constexpr bool one = std::is_same_v<F, float>;
  using I = std::conditional_t<one, std::int32_t, decltype(F{} < F{})>;
  constexpr float least = 1.17549435e-38f;  // smallest normal float
  const F hc = h >= least ? h : F{} + least;
  const I bits = __builtin_bit_cast(I, hc);
  const I e = (bits - 0x3f3504f3) >> 23;
  const I mbits = bits - (e << 23);
  const F m = __builtin_bit_cast(F, mbits);
  const F t = m - 1.0f;
  // u = e + 132 (6 .. 260 for normal floats) = 6 k + r; 132 = 6 * 22. The
  // product rounds to at most k + 5/6 and at least k: it truncates to k.
  const I u = e + 132;
  F ef, uf;
  if constexpr (one) {
    ef = static_cast<float>(e);
    uf = static_cast<float>(u);
  } else {
    ef = __builtin_convertvector(e, F);
    uf = __builtin_convertvector(u, F);
  }
  const F kf = uf * (1.0f / 6.0f);
  I k;
  if constexpr (one) {
    k = static_cast<std::int32_t>(kf);
  } else {
    k = __builtin_convertvector(kf, I);
  }
  const I r = u - ((k << 2) + (k << 1));
  F root = F{} + 1.0f;
  root = r == 1 ? F{} + 1.12246203f : root;
  root = r == 2 ? F{} + 1.25992107f : root;
  root = r == 3 ? F{} + 1.41421354f : root;
  root = r == 4 ? F{} + 1.58740103f : root;
  root = r == 5 ? F{} + 1.78179741f : root;
  const F z0 = root * (1.0000406f + t * (0.167020211f + t * (-0.0724868278f + t * 0.0382357429f)));
  const F a = __builtin_bit_cast(F, mbits + (r << 23));  // 2^r m, exact
  const F z2 = z0 * z0;
  const F z3 = z2 * z0;
  const F x = a / (z3 * z3) - 1.0f;
  // (1 + x)^(1/6) - 1 to second order, and the exponent's excess over 1/6
  // times ln h (ln m to second order in m - 1: a relative error below 1e-9).
  const F ln = ef * 2.30674246e-07f + t * (1.0f - 0.5f * t) * 3.32792609e-07f;
  const F w = x * (0.166666672f - 0.0694444478f * x) + ln;
  const F z = z0 + z0 * w;
  const F y = z * __builtin_bit_cast(F, (k + (127 - 22)) << 23);
  power = h >= least ? y : F{};
}

inline float manning_power(float h) {
  float y;
  manning_power(h, y);
  return y;
}

// Manning-Strickler: c = ks h^(1/6) / sqrt(9.81) (the factor does not follow
// the gravity setting).
inline float cfric_manning(float h, float ks) {
  return 0.3193f * ks * manning_power(h);
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
