#pragma once
// The ten slave windows, each showing one scale's reading. slave_open(k) is 1 while window k
// is shown; element 10 has no window.
#include <QString>
#include <array>
#include <cstdint>

extern std::array<int16_t, 11> slave_open;

// Shows a reading in slave window k's label (k 0 to 9) when that window is open.
void slave_show_reading(int k, const QString& reading);
// Closes slave window k (k 0 to 9) and clears slave_open(k).
void slave_unload(int k);
