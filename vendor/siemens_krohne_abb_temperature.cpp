// Siemens, KROHNE TT50C and ABB TTH200 temperature transmitter groups.
#include "ops/ops.h"

#include "app/main_window.h"

namespace vendor {

void buildSiemensKrohneAbbTemperature(TForm1& form) {
    (void)form;
}

} // namespace vendor
