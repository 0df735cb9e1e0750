#pragma once
// The settings row of syscfg, copied into the settings of `core` (core/core_state.h).
#include <QString>

#include <array>

// The communication types, as the settings row stores them; links/link_type.h parses them in
// this order.
inline constexpr std::array<const char*, 5> kCommTypeNames{"RS232", "RS485", "USB", "USB485", "Ethernet"};

// Reads the first row of syscfg through core.conn_str into comm_type, comm_settings, comm_port,
// rf_net, small_fonts, rf_net_id, tag_blz, net_poll_time, net_del_time and usb_reset_count.
// When the database cannot be opened, the row is missing or a field is null or not a number,
// a message box names what is wrong, no setting is changed and the result is false. A link type
// that no link knows is named the same way but taken as the row holds it, so that the scale
// screen opens no link rather than one that no setting names.
bool load_syscfg();

// The same read at start-up: every setting that cannot be read (the row or the table missing,
// a field null or not a number) takes the value of the delivered row (a link type that no link
// knows is taken as it stands, as above), after one message that names what is wrong, so that the program
// stays usable and the row can be corrected in the Setup dialog. False only when the database cannot be
// opened; then nothing is shown, nothing is changed and `fatal` tells why.
bool load_syscfg_at_startup(QString* fatal);
