// Per-face and per-node kernels of the scalar transport and of the mobile
// bed. Pure functions of their arguments, so that each can be checked on its
// own; the sweeps in mix.cpp and mbed.cpp are built from them.
//
// Units: unit discharges and bed-load rates in m2/s, depths and lengths in m,
// viscosities in m2/s, shear velocities in m/s. A scalar flux through a face
// is (scalar unit) x m3/s: the face length times the face value times the
// unit discharge, less the diffusive part.
#pragma once

#include <algorithm>
#include <cmath>

namespace qf {

// Minmod limiter of two one-sided differences: 0 when they differ in sign
// (or one is 0), otherwise the one of smaller magnitude (a on a tie).
inline float mix_minmod(float a, float b) {
  if (a * b <= 0.0f) return 0.0f;
  return std::fabs(b) >= std::fabs(a) ? a : b;
}

// Upwind value at a face with unit discharge qf from the left (west or
// south) node to the right one: the left value only when qf > 0, so a face
// without discharge takes the right (downstream-side) value.
inline float mix_upwind(float qf, float left, float right) {
  return qf > 0.0f ? left : right;
}

// Scalar flux through a face of length `len` between a left node (value cl,
// depth hl, viscosity nul) and a right node (cr, hr, nur) at distance 1/rd:
// advection of the face value cf by the unit discharge qf, less diffusion
// with the coefficient nul + nur (the sum, not the mean) over the geometric
// mean depth. A negative depth product (a dry node whose depth went below
// zero) counts as no depth.
inline float mix_face_flux(float len, float cf, float qf, float nul, float nur, float hl, float hr,
                           float cl, float cr, float rd) {
  const float hm = std::sqrt(std::max(hl * hr, 0.0f));
  return len * (cf * qf - (nul + nur) * hm * (cr - cl) * rd);
}

// Change of the scalar of a node of depth h over time dt: load per unit
// area srcm, net outflow through the east and west faces (fe - fw) and
// through the north and south faces (fn - fs); area = cell area.
inline float mix_change(float dt, float area, float srcm, float fe, float fw, float fn, float fs,
                        float h) {
  return dt * (area * srcm - (fe - fw) - (fn - fs)) / (area * h);
}

// Courant measure of a wet node for the transport time step:
// u^2 + (dx/dy)^2 v^2 with u = q/h, v = r/h. The time step is then
// cfl * dx / sqrt(largest measure).
inline float mix_speed_measure(float q, float r, float h, float ratio_sq) {
  const float u = q / h;
  const float v = r / h;
  return u * u + ratio_sq * v * v;
}

// Diffusion rate [1/s] of a node of depth h and viscosity nu over its two
// faces in one direction (neighbours a and b, spacing 1/sqrt(rd2)): the sum
// of (nu + nu_n) sqrt(h h_n) / h / spacing^2. Together with the Courant
// rate |u|/dx + |v|/dy it bounds the stable transport time step.
inline float mix_diffusion_rate(float nu, float nu_a, float nu_b, float h, float h_a, float h_b,
                                float rd2) {
  const float ka = (nu + nu_a) * std::sqrt(std::max(h * h_a, 0.0f));
  const float kb = (nu + nu_b) * std::sqrt(std::max(h * h_b, 0.0f));
  return (ka + kb) * rd2 / h;
}

// Share of a node's water that leaves through its four faces per second
// [1/s]: the outgoing face discharges (qe, qw through the east and west
// faces, rn, rs through the north and south ones, positive east and north)
// over the depth. Where the frozen flow is far from steady, the face
// discharges of the flow step can be many times the node discharges; a
// transport step longer than the inverse of this rate would empty a node
// more than once and turn its concentration negative.
inline float mix_outflow_rate(float qe, float qw, float rn, float rs, float h, float rdx,
                              float rdy) {
  const float out_x = std::max(qe, 0.0f) - std::min(qw, 0.0f);
  const float out_y = std::max(rn, 0.0f) - std::min(rs, 0.0f);
  return (out_x * rdx + out_y * rdy) / h;
}

// Acceleration factor of the bed update at call n (from 1): ramps with
// n/100 up to time_factor over the first 100 calls, never below 1.
inline float bed_factor(long n, float time_factor) {
  const float ramp = std::min(static_cast<float>(n) / 100.0f, 1.0f);
  return std::max(ramp * time_factor, 1.0f);
}

// Grain shear velocity of a vegetated node, without the vegetation drag:
// 0.1322 (ks/hm)^(1/6) U. A negative roughness counts as none.
inline float bed_grain_shear(float ks, float hm, float speed) {
  return 0.1322f * std::pow(std::max(ks, 0.0f) / hm, 0.166667f) * speed;
}

// Bed-load rate [m2/s] from the shear velocity us, the critical shear
// velocity squared ucsq and the coefficient a = 5 / (rel_density g):
// a (us^2 - ucsq)^1.5 above the threshold, 0 at or below it.
inline float bed_load_rate(float us, float ucsq, float a) {
  const float e = std::max(us * us - ucsq, 0.0f);
  return a * e * std::sqrt(e);
}

// Bed-load flux through the face between a left and a right node with rate
// components ql, qr normal to the face: what the left node sends right plus
// what the right node sends left. A face with a dry side carries nothing.
inline float bed_face_flux(float ql, float qr, bool wet_l, bool wet_r) {
  if (!wet_l || !wet_r) return 0.0f;
  return std::max(ql, 0.0f) + std::min(qr, 0.0f);
}

}  // namespace qf
