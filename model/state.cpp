// Operations on the model state: result-item labels, allocation of the grid
// fields, the wetted-area factor, point location and the small array helpers.
#include "model/state.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "io/messages.h"
#include "io/stop.h"
#include "io/textio.h"
#include "model/memory.h"

namespace qf {

namespace {

struct ItemInfo {
  int code;
  char key;
  const char* title;
};

constexpr ItemInfo kItems[] = {
    {1, 'D', "Flow Depth [m]"},          {2, 'W', "Water Level [m]"},
    {3, 'V', "Flow Velocity [m/s]"},     {4, 'S', "Specific Flow [m2/s]"},
    {5, 'F', "Froude Number [-]"},       {6, 'B', "Bed Level [m]"},
    {7, ' ', "Bed Shear Stress [N/m2]"}, {8, ' ', "Bed Load [m2/s]"},
    {9, 'R', "Roughness Diameter [m]"},  {10, 'N', "Mannings n [SI]"},
    {11, 'K', "k-Strickler [SI]"},       {12, 'C', "Concentration [mg/m3]"},
    {13, 'T', "Temperature [K]"},        {14, ' ', "Viscosity [m2/s]"},
    {15, ' ', "Draught of Float [m]"},   {16, ' ', "Vegetation Factor [m]"},
    {17, 'E', "Energy Level [m]"},       {18, 'I', "Inundation Time [h]"},
    {21, 'X', "X-Velocity [m/s]"},       {22, 'Y', "Y-Velocity [m/s]"},
};

const ItemInfo* find_item(int code) {
  for (const auto& it : kItems) {
    if (it.code == code) return &it;
  }
  return nullptr;
}

// The float fields in allocation order with the message group of each.
struct FieldRef {
  std::vector<float> FlowValues::*field;
  int alloc_group;
  int dealloc_group;
};

constexpr FieldRef kFields[] = {
    {&FlowValues::h, 1, 1},      {&FlowValues::q, 1, 1},    {&FlowValues::r, 1, 1},
    {&FlowValues::c, 1, 1},      {&FlowValues::zb, 1, 1},   {&FlowValues::ks, 1, 1},
    {&FlowValues::zbr, 1, 1},    {&FlowValues::veg, 1, 1},  {&FlowValues::us, 2, 2},
    {&FlowValues::nu, 2, 2},     {&FlowValues::af, 2, 2},   {&FlowValues::qq, 2, 2},
    {&FlowValues::rr, 2, 2},     {&FlowValues::src, 2, 2},  {&FlowValues::srcm, 3, 3},
    {&FlowValues::dzbx, 3, 3},   {&FlowValues::dzby, 3, 3}, {&FlowValues::fleak, 3, 3},
    {&FlowValues::hfloat, 3, 3}, {&FlowValues::qb, 3, 3},   {&FlowValues::tind, 3, 3},
};

[[noreturn]] void trouble(const char* what, int group) {
  throw Stop(1,
             std::string("*** Trouble ") + what + " flow values(" + std::to_string(group) + ")***");
}

}  // namespace

bool item_known(int code) {
  return find_item(code) != nullptr;
}

std::string item_label(int code) {
  const ItemInfo* it = find_item(code);
  if (it == nullptr) return pad("", 32);
  std::string s = " ";
  s += it->key;
  s += it->title;
  return pad(s, 32);
}

std::string time_label() {
  return pad("Time[h]", 32);
}

void alloc_flow(Model& m, long n) {
  if (n == 0) return;
  dealloc_flow(m);
  FlowValues& f = m.f;
  if (n < 0) trouble("allocating", 1);
  const auto size = static_cast<std::size_t>(n);
  for (const auto& fr : kFields) {
    try {
      (f.*fr.field).assign(size, 0.0f);
      release_zero_pages(f.*fr.field);
    } catch (const std::bad_alloc&) {
      trouble("allocating", fr.alloc_group);
    } catch (const std::length_error&) {
      trouble("allocating", fr.alloc_group);
    }
  }
  try {
    f.ldry.assign(size, 0);
    f.outside.assign(size, 0);
    release_zero_pages(f.ldry);
    release_zero_pages(f.outside);
  } catch (const std::bad_alloc&) {
    trouble("allocating", 4);
  } catch (const std::length_error&) {
    trouble("allocating", 4);
  }
  f.allocated = true;
}

void dealloc_flow(Model& m) {
  FlowValues& f = m.f;
  if (!f.allocated) return;
  const std::size_t n = f.h.size();
  for (const auto& fr : kFields) {
    std::vector<float>& v = f.*fr.field;
    if (v.size() != n) trouble("deallocating", fr.dealloc_group);
    std::vector<float>().swap(v);
  }
  if (f.ldry.size() != n || f.outside.size() != n) trouble("deallocating", 3);
  std::vector<std::uint8_t>().swap(f.ldry);
  std::vector<std::uint8_t>().swap(f.outside);
  f.allocated = false;
}

float area(const Model& m, int k) {
  const FlowValues& f = m.f;
  const int nn = m.coin1.nn;
  const int nxx = m.coin1.nxx;
  const float dx = m.coin.dx;
  const float dy = m.coin.dy;
  const float plan = dx * dy;
  if (nn <= 0 || k < 1 || k > nn || plan == 0.0f) return 1.0f;
  // Wall heights relative to the node's bed keep the depth's digits where a
  // 32-bit level far above the datum would round them.
  const float z = f.zb[k - 1];
  const float depth = f.h[k - 1];
  auto wall = [&](int kn) {
    kn = std::clamp(kn, 1, nn);
    const float w = std::min(f.zb[kn - 1] - z, depth);
    return w > 0.0f ? w : 0.0f;
  };
  const float west = wall(k - 1);
  const float south = wall(k - nxx);
  const float east = wall(k + 1);
  const float north = wall(k + nxx);
  return 1.0f + (dy * (west + east) + dx * (south + north)) / plan;
}

void getpos(const Model& m, float x, float y, int& i, int& j, int& k, Messages* msg, int listing) {
  const Coin1& c1 = m.coin1;
  const float hx = x - m.coin.dx / 2.0f;
  const float hy = y - m.coin.dy / 2.0f;
  i = 0;
  j = 0;
  k = 0;
  if (c1.nxx >= 3 && !(hx < c1.xc[1])) {
    for (int ii = 1; ii <= c1.nxx - 2; ++ii) {
      if (hx <= c1.xc[ii + 1]) {
        i = ii;
        break;
      }
    }
  }
  if (c1.nyy >= 3 && !(hy < c1.yc[1])) {
    for (int jj = 1; jj <= c1.nyy - 2; ++jj) {
      if (hy <= c1.yc[jj + 1]) {
        j = jj;
        break;
      }
    }
  }
  if (i != 0 && j != 0) {
    k = (i + 1) + j * c1.nxx;
  } else if (msg != nullptr) {
    msg->iierr(1, "position out of model domain", listing);
  }
}

void mmove(const float* a, float* b, long n) {
  if (n > 0) std::memmove(b, a, static_cast<std::size_t>(n) * sizeof(float));
}

void mmset(float* a, long n, float v) {
  if (n > 0) std::fill(a, a + n, v);
}

}  // namespace qf
