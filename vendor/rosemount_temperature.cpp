// Rosemount 644 and 848T temperature transmitter groups.
#include "ops/ops.h"

#include "app/main_window.h"

namespace vendor {

void buildRosemountTemperature(TForm1& form) {
    (void)form;
}

} // namespace vendor
