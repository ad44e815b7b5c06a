#pragma once

namespace qf {

struct ContourState {};

}  // namespace qf
