// Grids derived from the records of a result file: the flood hazard rating
// and the time of first wetting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "output/hazard.h"

namespace qf::exp {

inline constexpr float export_no_data = -9999.0f;

// Raises `hr` (sized n, starting at 0) to the rating (output/hazard.h) of one record where it
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

// The cells outside the model are walls standing wall_height above the
// highest bed of the model, all at one level. Marks in `outside` (sized n)
// the cells of `level` (bed levels, or water levels with dry cells at their
// bed) that hold the highest value when that value stands 0.9 to 1.1
// wall heights above every other cell; false, with nothing marked, when no
// such wall stands out. Values that are not finite or equal `no_data` are
// passed over.
bool mark_walls(const float* level, std::size_t n, float no_data,
                std::vector<std::uint8_t>& outside);

// Sets the cells marked in `outside` (when not empty) to export_no_data.
void mask_outside(const std::vector<std::uint8_t>& outside, std::vector<float>& values);

}  // namespace qf::exp
