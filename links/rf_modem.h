#pragma once
// The RF modem behind the FTDI adapter: switching it to the radio channel of the settings.
#include <QByteArray>
#include <QString>

// Writes "+++" to the adapter, waits up to 2 s for the modem's answer of 3 bytes (beep and
// "RF Module Not Responding" when it does not come), then sends "ATHP " + channel + ",CN" + CR,
// the channel "00".."06" for rf_net_id "0".."6".
void rf_set_channel();

// The channel command for an rf_net_id.
QByteArray rf_channel_command(const QString& rf_net_id);
