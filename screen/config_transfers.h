#pragma once
// Pieces shared by the configuration transfers and the totals commands of the scale screen:
// the adapter's long read time-out, the bounded reply waits, the serial time-out message, the
// key of a scale's groups record and the tables that keep one record.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace adodb {
class Connection;
class Recordset;
} // namespace adodb

namespace transfers {

// The value text every group-setup value carries.
inline constexpr char kGroupValue[] = "000.0";

// The message after no reply came over the serial link (five lines, each ended by CR).
QString no_response_text();

// Gives the adapter a read time-out of 15000 ms; "SetTimeouts Failed" when it refuses.
bool set_long_timeouts();

// False, after telling the user, when addr cannot be carried as the address byte of a network
// frame: then nothing is sent to the network.
bool network_address_ok(int32_t addr);

// Gathers the adapter's reply until it holds a CR (bytes after the CR stay in it), serving
// events on every round. False after 5 s, when "Scale not responding." was shown.
bool collect_adapter_reply(QByteArray* reply);

// Gathers what the serial port receives into rx_buf element 0 until it holds a CR, without
// serving events. False after `limit` seconds; the caller tells the user.
bool collect_serial_reply(double limit);

// The record key of a scale named by `text`: "0" on "RS232"; else the part after the first
// "#", or the whole text with blanks removed at both ends.
QString record_key(const QString& text);

// Opens a table that keeps one record (ocxfer, the default-value tables) on conn_str; false,
// after telling the user, when it cannot.
bool open_table(adodb::Connection& conn, adodb::Recordset& rs, const QString& table);

// Stores the one record a table keeps (its first one, or a new one in an empty table); tells the
// user `what` could not be saved when the database refuses.
void store_single_record(adodb::Recordset& rs, const QString& what);

} // namespace transfers
