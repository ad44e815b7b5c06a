// Grids derived from the records of a result file: the flood hazard rating
// and the time of first wetting.
#pragma once

#include <cstddef>
#include <vector>

namespace qf::exp {

inline constexpr float export_no_data = -9999.0f;

// Flood hazard rating HR = d (v + 0.5) + DF of depth d [m] and speed v
// [m/s], with the debris factor DF = 0.5 where d > 0.25 m, else 0.
float hazard_rating(float d, float v);

// Raises `hr` (sized n, starting at 0) to the rating of one record where it
// is higher. Cells whose depth or speed is not a finite number, or equals
// `no_data`, are passed over.
void raise_hazard(const float* depth, const float* speed, std::size_t n, float no_data,
                  std::vector<float>& hr);

// Speed of the velocity components u and v.
void speed_of(const float* u, const float* v, std::size_t n, std::vector<float>& speed);

// Sets `first` (sized n, starting at export_no_data) to `time` where the
// depth is above `threshold` for the first time.
void mark_wetting(const float* depth, std::size_t n, float time, float threshold,
                  std::vector<float>& first);

}  // namespace qf::exp
