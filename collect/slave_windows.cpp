// Slave windows: until the windows themselves exist, nothing is ever open.
#include "collect/slave_windows.h"

std::array<int16_t, 11> slave_open{};

void slave_show_reading(int k, const QString& reading) {
    (void)k;
    (void)reading;
}

void slave_unload(int k) {
    if (k >= 0 && k < 11)
        slave_open[k] = 0;
}
