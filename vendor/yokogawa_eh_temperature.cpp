// Yokogawa and E+H temperature transmitter groups.
#include "ops/ops.h"

#include "app/main_window.h"

namespace vendor {

void buildYokogawaEhTemperature(TForm1& form) {
    (void)form;
}

} // namespace vendor
