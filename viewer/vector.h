#pragma once

namespace qf {

struct VectorState {};

}  // namespace qf
