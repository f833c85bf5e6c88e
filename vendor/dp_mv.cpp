// "DP & MV Transmitter" page: 3051 zero, 300SMV variables and display, EJA display, zero mode and cutoff.
#include "ops/ops.h"

#include "app/main_window.h"

namespace vendor {

void buildDpMv(TForm1& form) {
    (void)form;
}

} // namespace vendor
