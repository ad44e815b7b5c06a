#pragma once

namespace qf {

struct ControlState {};

}  // namespace qf
