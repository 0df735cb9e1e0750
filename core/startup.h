#pragma once
// Start-up of the program. Returns false when the program is to end at once.
bool Main();
