// "I/O Calibration" page: fixed current, current trims, range points and display adjustment.
#include "ops/ops.h"

#include "app/main_window.h"

namespace ops {

void buildCalibration(TForm1& form) {
    (void)form;
}

} // namespace ops
