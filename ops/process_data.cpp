// "HART Instrument Real-time Data" group of the "On-line test " page: loop current, percent of range and the dynamic variables.
#include "ops/ops.h"

#include "app/main_window.h"

namespace ops {

void buildProcessData(TForm1& form) {
    (void)form;
}

} // namespace ops
