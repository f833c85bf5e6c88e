// "Instrument information" page: message, tag, descriptor, date, assembly and serial numbers, polling address, backup and restore.
#include "ops/ops.h"

#include "app/main_window.h"

namespace ops {

void buildDeviceInfo(TForm1& form) {
    (void)form;
}

} // namespace ops
