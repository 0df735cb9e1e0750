#pragma once
// The settings row of syscfg, copied into the settings of `core` (core/core_state.h).

// Reads the first row of syscfg through core.conn_str into comm_type, comm_settings, comm_port,
// rf_net, small_fonts, rf_net_id, tag_blz, net_poll_time, net_del_time and usb_reset_count.
// When the database cannot be opened, the row is missing or a field is null or not a number,
// a message box names what is wrong, no setting is changed and the result is false.
bool load_syscfg();
