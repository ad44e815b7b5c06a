// Bed friction laws: the stop for an undefined law number.
#include "model/hydro/friction.h"

#include "io/stop.h"

namespace qf {

void friction_law_undefined() {
  throw Stop(1, "friction law not defined");
}

}  // namespace qf
