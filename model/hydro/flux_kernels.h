// Face kernels of the row solver: the Roe-type flux through one cell face,
// the slope limiters and the friction factor of oblique flow.
//
// A face lies between a left node L and a right node R; R is the east or the
// north neighbour of L and RR the node beyond R on the same line. Normal means
// across the face (q for an east face, r for a north face), tangential along
// it. Water levels eta = zb + h [m], unit discharges [m2/s], momentum fluxes
// [m3/s2]. Each kernel is a template over float (one face) or Lanes (kLanes
// faces at once) and gives the same result for both (see lanes.h).
#pragma once

#include <cmath>

#include "model/hydro/lanes.h"

namespace qf {
inline namespace QF_ISA {

// Fluxes through one face: mass [m2/s], normal and tangential momentum [m3/s2].
template <class T>
struct FaceFluxT {
  T f, fn, ft;
};
using FaceFlux = FaceFluxT<float>;

// Differences of level, normal and tangential discharge across the previous
// face of the same line; read by the second-order reconstruction and replaced
// by the differences across the current face.
template <class T>
struct LineDiffT {
  T eta, qn, qt;
};
using LineDiff = LineDiffT<float>;

// Minmod limiter: 0 when a and b differ in sign (or one is 0), otherwise the
// one of smaller magnitude (a on a tie).
template <class T>
inline T rlmt(T a, T b) {
  const T zero = splat<T>(0.0f);
  return sel(a * b <= zero, zero, sel(vabs(b) >= vabs(a), a, b));
}

// Van Albada limiter: 0 when a and b differ in sign (or one is 0), otherwise
// ab(a + b)/(a^2 + b^2), which lies between a and b and changes smoothly with
// them. Minmod's hard switch between a and b makes the converged state of a
// smooth flow flip the slope of some faces from step to step, which keeps a
// small oscillation alive that local time steps never damp out; this one
// lets the flow settle.
template <class T>
inline T rlmt_smooth(T a, T b) {
  const T zero = splat<T>(0.0f);
  const T ab = a * b;
  return sel(ab <= zero, zero, ab * (a + b) / vmax(a * a + b * b, splat<T>(1.0e-30f)));
}

// Friction factor of oblique flow beside a wall face:
// (1 + min(|q|, |r|) / max(|q|, |r|))^-0.333, 1 without flow. A bank that
// the grid cuts into steps holds the flow along it by the wall faces of its
// steps, whose pressure and damping of the discharge into them add a drag
// that a straight bank does not have; the factor takes that much off the
// bed friction of the nodes beside such faces. It changes smoothly with the
// direction (1 for flow along a grid line), so that no discharge threshold
// makes the friction jump.
inline float fdiag(float q, float r) {
  const float aq = std::fabs(q);
  const float ar = std::fabs(r);
  const float hi = aq < ar ? ar : aq;
  if (!(hi > 0.0f)) return 1.0f;
  const float ratio = (aq < ar ? aq : ar) / hi;  // equals min(|q/r|, |r/q|)
  return std::pow(1.0f + ratio, -0.333f);
}

// Momentum flux [m3/s2] that a wall face gives a wet node of depth h,
// celerity c = sqrt(g h) and unit discharge qn towards the wall: the mirror
// image's Riemann state. Water running into the wall is held by the reflected
// wave, g h^2/2 + c qn. Water leaving the wall (qn < 0) draws the depth there
// down to h* = (c + u/2)^2/g, u = qn/h, and to nothing once it leaves at 2c
// or faster: the pressure g h*^2/2 = (c + u/2)^4/(2 g) is never negative.
// The linear form g h^2/2 + c qn turns negative once the water leaves at more
// than c/2, and then pulls it back: a shore node 2 cm deep on a slope that the
// water is leaving at 0.7 m/s was held back by its uphill face.
template <class T>
inline T wall_push(T h, T c, T qn, float g) {
  const T zero = splat<T>(0.0f);
  const T a = vmax(c + qn / (vmax(h, splat<T>(1.0e-6f)) * 2.0f), zero);
  const T a2 = a * a;
  return sel(qn < zero, a2 * a2 * (0.5f / g), g * h * h * 0.5f + c * qn);
}

// Half the largest compression of the characteristic speeds u - c, u and
// u + c (u the speed normal to the face) from node L to node R:
// ((uL - uR) + |cL - cR|) / 2, 0 where they spread apart or where a node is
// dry or not deeper than hdry. Large across a shock, of the order of the
// cell size times the speed gradient in smooth flow.
//
// The node parts (celerity, speeds, whether the node counts) are the same
// for every face of a node: `wave_node` computes them once, `wave_jump_of`
// combines those of two nodes; `wave_jump` is both in one, with the same
// float operations and so the same result.
template <class T>
struct WaveNodeT {
  T c, u, v;        // sqrt(g h), q/h and r/h, h at least 1e-6 m
  MaskOf<T> moves;  // not dry and deeper than hdry
};

template <class T>
inline WaveNodeT<T> wave_node(T h, T q, T r, MaskOf<T> dry, float hdry, float g) {
  const T d = vmax(h, splat<T>(1.0e-6f));
  return WaveNodeT<T>{vsqrt(g * d), q / d, r / d, mand(mnot(dry), h > hdry)};
}

// Wave jump from the celerities cL, cR and normal speeds uL, uR of two nodes
// that both count (`both`).
template <class T>
inline T wave_jump_of(T cL, T uL, T cR, T uR, MaskOf<T> both) {
  const T zero = splat<T>(0.0f);
  const T jump = (uL - uR) + vabs(cL - cR);
  return sel(both, vmax(jump * 0.5f, zero), zero);
}

template <class T>
inline T wave_jump(T hL, T qnL, MaskOf<T> dryL, T hR, T qnR, MaskOf<T> dryR, float hdry, float g) {
  const WaveNodeT<T> L = wave_node(hL, qnL, qnL, dryL, hdry, g);
  const WaveNodeT<T> R = wave_node(hR, qnR, qnR, dryR, hdry, g);
  return wave_jump_of(L.c, L.u, R.c, R.u, mand(L.moves, R.moves));
}

// Share of the second-order slopes that a face keeps beside a shock:
// 2 - eta_h / c clipped to [0, 1], with c = sqrt(g h) of the mean node
// depth h of the face, h at least 1 cm: the films at a wet/dry front close
// up and spread at speeds of the order of their own small c without any
// shock, and they need their reconstruction most. Exactly 1 without a
// shock beside the face (eta_h below c).
template <class T>
inline T shock_keep(T eta_h, T hm, float g) {
  const T c = vsqrt(g * vmax(hm, splat<T>(0.01f)));
  const T keep = splat<T>(2.0f) - eta_h / c;
  return vmin(vmax(keep, splat<T>(0.0f)), splat<T>(1.0f));
}

// Roe-type flux through one face.
//
// Levels, normal and tangential discharges of L, R and RR; bed levels zL, zR;
// dry flags of L and R; the stored differences `s` of the line (second order
// only: read, then replaced by this face's unlimited differences; limited by
// minmod, or by van Albada when kSmooth, for steady runs; the slopes scaled
// by the thinner node's depth / (kThickFilms * hdry), at most 1); hdry the
// dry threshold of the flow (the film depth); g gravity; J the depth
// blocked by a floating cover or a bridge deck at the face (0 = open face);
// eta_h the largest wave_jump of the four faces that meet this face's ends
// at right angles.
//
// The free-surface jump, not the depth jump, drives the upwinding, so still
// water over an uneven bed gives a pure pressure flux g hL hR / 2 that the
// bed-slope term of the node balances. A wet node beside a dry one whose bed
// stands above the wet level sees a wall. A face whose mean depth is not above
// hdry carries the central flux only, with depth hdry.
//
// A shock lying along a grid line is smeared over a cell or two, and the
// faces across it that run in the flow direction see a transverse speed
// near zero: the Roe flux gives their shear wave no damping, and a wrinkle
// of the shock grows into a transverse oscillation (the carbuncle) that
// keeps a standing jump from settling. No wave of a face is therefore
// damped less than eta_h, the compression of the waves across the faces
// beside it (Sanders, Morano and Druguet's H-correction); away from shocks
// eta_h is small and the upwinding is the Roe one. In second order the
// damping alone does not hold the shock: the reconstructed face values of
// the shock cells (extrapolated from the steep profile on either side)
// keep feeding the wrinkle. A face beside a shock therefore takes the
// node values as its face values: the slopes are scaled by
// shock_keep(eta_h, c), 1 while eta_h is below c (smooth flow and weak
// jumps keep second order) and 0 from 2c on. The faces across the shock
// keep their reconstruction, so the jump stays as sharp as before.
// Depth in film depths (`hdry` of the face kernels) from which a node keeps
// its second-order slopes in full: the dry depth of the results.
inline constexpr float kThickFilms = 20.0f;

template <bool kSecond, bool kSmooth = false, class T>
inline FaceFluxT<T> rflux_t(T etaL, T etaR, T etaRR, T qnL, T qnR, T qnRR, T qtL, T qtR, T qtRR,
                            T zL, T zR, MaskOf<T> dryL, MaskOf<T> dryR, LineDiffT<T>& s, float hdry,
                            float g, T J, T eta_h) {
  const T zero = splat<T>(0.0f);
  const float K = hdry;

  if constexpr (kSecond) {
    // Limited linear reconstruction of the face values.
    auto lim = [](T a, T b) { return kSmooth ? rlmt_smooth(a, b) : rlmt(a, b); };
    const T deta = etaR - etaL, deta2 = etaRR - etaR;
    const T dqn = qnR - qnL, dqn2 = qnRR - qnR;
    const T dqt = qtR - qtL, dqt2 = qtRR - qtR;
    // The slopes fade out with the thinner node's depth below 20 film
    // depths (the dry depth): a node thinner than that at a wetting front,
    // beside one that is dry or a film, drew extrapolated values from its
    // deep side and ran away (tens of m/s in the valley on 50 m cells);
    // dropping them at a depth instead made Thacker's bowl blow up.
    const T thin = vmin(vmin(etaL - zL, etaR - zR) * (1.0f / (kThickFilms * K)), splat<T>(1.0f));
    const MaskOf<T> wet = mand(mnot(dryL), mnot(dryR));
    const T keep =
        sel(wet, vmax(thin, zero) * shock_keep(eta_h, ((etaL - zL) + (etaR - zR)) * 0.5f, g), zero);
    // A node's level slope is at most its depth, so that neither of its
    // faces takes less than half of it. A thin node on a slope that the
    // water leaves extrapolated to a face depth of nothing while its face
    // discharge stayed: water left it at that discharge, the momentum did
    // not, and the rest ran away. Deep water keeps its slopes bit for bit.
    const T capL = vmax(etaL - zL, zero), capR = vmax(etaR - zR, zero);
    const T seL = vmin(vmax(keep * lim(s.eta, deta), zero - capL), capL);
    const T seR = vmin(vmax(keep * lim(deta, deta2), zero - capR), capR);
    const T snL = keep * lim(s.qn, dqn), snR = keep * lim(dqn, dqn2);
    const T stL = keep * lim(s.qt, dqt), stR = keep * lim(dqt, dqt2);
    etaL = vmax(etaL + seL * 0.5f, zL);
    etaR = vmax(etaR - seR * 0.5f, zR);
    qnL = qnL + snL * 0.5f;
    qnR = qnR - snR * 0.5f;
    qtL = qtL + stL * 0.5f;
    qtR = qtR - stR * 0.5f;
    s.eta = deta;
    s.qn = dqn;
    s.qt = dqt;
  }

  const T hL = etaL - zL;
  const T hR = etaR - zR;

  // Wet/dry face: a wall while the wet level does not top the dry side by
  // more than hdry/2, otherwise flow out of the wet node only.
  const float halfK = K * 0.5f;
  const MaskOf<T> wetDry = mand(mnot(dryL), dryR);
  const MaskOf<T> dryWet = mand(dryL, mnot(dryR));
  const MaskOf<T> wallR = mand(wetDry, etaL <= etaR + halfK);
  const MaskOf<T> wallL = mand(dryWet, etaR <= etaL + halfK);
  etaR = sel(wallR, etaL, etaR);
  qnL = sel(wallR, zero, sel(wetDry, vmax(qnL, zero), qnL));
  qtL = sel(wallR, zero, qtL);
  etaL = sel(wallL, etaR, etaL);
  qnR = sel(wallL, zero, sel(dryWet, vmin(qnR, zero), qnR));
  qtR = sel(wallL, zero, qtR);

  // Face state and wave speed.
  const T hm = (hL + hR) * 0.5f;
  const T qm = (qnL + qnR) * 0.5f;
  const T tm = (qtL + qtR) * 0.5f;
  const MaskOf<T> deep = hm > K;
  const T c = vsqrt(sel(deep, g * hm, zero));
  const T H = sel(deep, hm, splat<T>(K));
  const T w = sel(deep, 0.25f / c, zero);

  // Central fluxes; under a cover or a deck the convective part uses the
  // open depth only.
  const T u = qm / H;
  const T v = tm / H;
  const T pr = g * hL * hR * 0.5f;
  T fn = pr + qm * u;
  T ft = qm * v;
  const MaskOf<T> blocked = J > 0.01f;
  if (any(blocked)) {
    const T open = H - J;
    const MaskOf<T> flows = open > K;
    fn = sel(blocked, sel(flows, pr + qm * qm / open, pr), fn);
    ft = sel(blocked, sel(flows, qm * tm / open, zero), ft);
  }

  // Characteristic speeds; in first order with Harten's entropy fix.
  const T lp = u + c;
  const T lm = u - c;
  T ap = vabs(lp);
  T am = vabs(lm);
  [[maybe_unused]] const T top = vmax(zL, zR);  // the higher bed
  T delta;
  if constexpr (kSecond) {
    // The level jump, each level held up to the higher bed: where one
    // side's water stands below the other side's bed (water falling over a
    // bed step) only the depth over the step is a wave; the rest of the
    // level jump is the step. A film at the foot of a 1.5 m dike beside a
    // thin node on its crest upwound the whole 1.5 m with the celerity of a
    // few centimetres of water and drove the crest node to tens of m/s in
    // one step.
    delta = vmax(etaR, top) - vmax(etaL, top);
  } else {
    const MaskOf<T> fix = c > 0.01f;
    const T eps = (c + vabs(u)) * 0.1f;
    const MaskOf<T> fixp = mand(fix, ap < eps), fixm = mand(fix, am < eps);
    if (any(mor(fixp, fixm))) {
      ap = sel(fixp, (lp * lp / eps + eps) * 0.5f, ap);
      am = sel(fixm, (lm * lm / eps + eps) * 0.5f, am);
    }
    // The jump the waves carry: the level jump, or the depth jump where it
    // is smaller (water falling down a bed step, flow down an even slope),
    // but none where that depth jump points against the level jump (the bed
    // steps by more than the level at the face): there it would turn the
    // upwinding round, and a level standing higher on the upper side of a
    // bed step would hold a discharge that the upwinding cancels, so that
    // the water never comes to rest.
    const T dEta = etaR - etaL;
    const T dH = hR - hL;
    delta = sel(vabs(dH) < vabs(dEta), sel(dH * dEta >= zero, dH, zero), dEta);
  }
  ap = vmax(ap, eta_h);
  am = vmax(am, eta_h);

  // First order: the central part of Roe's flux is the mean of the two node
  // fluxes; the flux of the mean state written above falls short of it by
  // two terms that grow with the square of the jump: g delta^2 / 4 of
  // pressure (with the jump the waves carry, so that still water over an
  // uneven bed keeps the pressure g hL hR / 2 that its bed slope balances)
  // and hL hR (uR - uL)^2 / (4 hm) of convection (hL hR (uR - uL)(vR - vL) /
  // (4 hm) along the face). Without them a strong standing jump is not a
  // steady state of the scheme: the face across it carries too little
  // momentum, the node at its toe keeps what the fast water before it brings
  // in, is drawn down and runs away (a jump from 4.6 cm at 2.2 m/s to 0.19 m
  // held a toe node 1.2 cm deep at 11 m/s, and 5 mm at 50 m/s in one
  // dimension without friction); with them the jump stands between its
  // conjugate depths. Faces that are shallow, blocked or beside a node dry
  // for the flow keep the flux of the mean state. Second order keeps it
  // too: its face values are reconstructed discharges and depths, whose
  // ratio at a wetting front is no speed of the flow (Thacker's bowl in
  // second order: L1 of depth 21.8 % with both terms there, 8.2 % without).
  if constexpr (!kSecond) {
    const MaskOf<T> both = mand(mand(deep, mnot(blocked)), mand(mnot(dryL), mnot(dryR)));
    if (any(both)) {
      const T tiny = splat<T>(1.0e-6f);
      const T dL = vmax(hL, tiny), dR = vmax(hR, tiny);
      const T du = qnR / dR - qnL / dL;
      const T dv = qtR / dR - qtL / dL;
      const T hh = sel(both, hL * hR * 0.25f / H, zero);
      fn = fn + (hh * du * du + sel(both, (0.25f * g) * delta * delta, zero));
      ft = ft + hh * du * dv;
    }
  }

  // Upwinding.
  const T dqn = qnR - qnL;
  const T dqt = qtR - qtL;
  const T cu2 = 2.0f * c * vmax(vabs(u), eta_h);
  FaceFluxT<T> out;
  out.f = qm - w * ((ap - am) * dqn + (lp * am - ap * lm) * delta);
  out.fn = fn - w * ((ap * lp - am * lm) * dqn + (am - ap) * lp * lm * delta);
  out.ft = ft - w * (cu2 * dqt + (ap - am) * v * dqn + (lp * am - cu2 - ap * lm) * v * delta);
  if constexpr (kSecond) {
    // Where one level stands below the other side's bed (a shore on a
    // slope), the level jump held up to that bed is a wave of the pressure
    // only: the water carried across the face is the depth jump. The
    // convective parts of the momentum upwinding (u^2 of the normal and the
    // shear wave's v of the tangential momentum) take the depth jump there.
    // With the level jump a thin node flowing down onto deeper water got
    // the momentum flux of the water below it, against its own flow (a
    // node 0.05 mm deep at 0.8 m/s beside 0.6 mm: -1.1e-4 instead of its
    // own 3.7e-5 m3/s2), and was driven to several m/s. Only where the
    // node on the higher bed is the thinner one: a wetting front running
    // down a dry slope (deeper water above thinner) keeps the level jump,
    // and its 1 cm depth lagged 3 cells more with the depth jump. Water at
    // rest has no such face: levels that agree stand above both beds. (No
    // wall face is such a face, so hL and hR are the depths of its levels.)
    const MaskOf<T> upper_thin = sel(zL >= zR, hL, hR) < sel(zL >= zR, hR, hL);
    const MaskOf<T> step =
        mand(mand(mor(etaR < top, etaL < top), mnot(mor(wallL, wallR))), upper_thin);
    if (any(step)) {
      const T conv = sel(step, (hR - hL) - delta, zero);
      out.fn = sel(step, out.fn - w * (am - ap) * u * u * conv, out.fn);
      out.ft = sel(step, out.ft + w * cu2 * v * conv, out.ft);
    }
  }
  return out;
}

// Flux through one face (one-face form of rflux_t). The level and discharge
// arguments are working copies; `s` is read and replaced in second order,
// whose slopes `smooth` limits by van Albada instead of minmod.
inline FaceFlux rflux(float etaL, float etaR, float etaRR, float qnL, float qnR, float qnRR,
                      float qtL, float qtR, float qtRR, float zL, float zR, bool dryL, bool dryR,
                      LineDiff& s, float hdry, bool second_order, float g, float J,
                      bool smooth = false, float eta_h = 0.0f) {
  if (second_order && smooth) {
    return rflux_t<true, true>(etaL, etaR, etaRR, qnL, qnR, qnRR, qtL, qtR, qtRR, zL, zR, dryL,
                               dryR, s, hdry, g, J, eta_h);
  }
  if (second_order) {
    return rflux_t<true>(etaL, etaR, etaRR, qnL, qnR, qnRR, qtL, qtR, qtRR, zL, zR, dryL, dryR, s,
                         hdry, g, J, eta_h);
  }
  return rflux_t<false>(etaL, etaR, etaRR, qnL, qnR, qnRR, qtL, qtR, qtRR, zL, zR, dryL, dryR, s,
                        hdry, g, J, eta_h);
}

}  // namespace QF_ISA
}  // namespace qf
