// "Burst mode Test" group.
#include "ops/ops.h"

#include "app/main_window.h"

namespace ops {

void buildBurstMode(TForm1& form) {
    (void)form;
}

} // namespace ops
