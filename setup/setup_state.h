#pragma once
// Run-time values of the Setup dialog and the SD-card import. They live for the run and are
// never stored.
#include <QString>
#include <cstdint>

struct SetupState {
    // Root of the SD-card drive (a mount point ending in "/"); the import opens sd_drive +
    // "KL.Dat". Empty until a drive is found or chosen.
    QString sd_drive;
    // 1 once the user has confirmed another drive in SD_Setting; never reset during the run.
    int16_t sd_drive_user_set = 0;
    // Standard name of the PC's time zone, taken when the Setup dialog loads.
    QString default_time_zone;
};

extern SetupState setup_state;

// Puts every value back to its state at program start.
void reset_setup_state();
