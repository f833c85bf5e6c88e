// Manual command: a frame typed as hexadecimal bytes.
#include "ops/ops.h"

#include "app/main_window.h"

namespace ops {

void buildManualCommand(TForm1& form) {
    (void)form;
}

} // namespace ops
