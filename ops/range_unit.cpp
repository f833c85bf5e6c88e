// "Measurement Range And Unit" and "Signal Status" groups: sensor limits, range, unit, damping and transfer function.
#include "ops/ops.h"

#include "app/main_window.h"

namespace ops {

void buildRangeUnit(TForm1& form) {
    (void)form;
}

} // namespace ops
