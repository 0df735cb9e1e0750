#pragma once
// FTDI devices as the kernel's serial driver presents them: found by USB vendor 0x0403, in the
// order of their device paths, opened as serial ports.
#include "platform/ftdi/ftdi.h"

#include <QList>
#include <QSerialPortInfo>

namespace ftdi {

constexpr quint16 kFtdiVendorId = 0x0403;

class SerialBackend : public Backend {
public:
    int device_count() override;
    bool serial_number(int index, QByteArray* out) override;
    bool description(int index, QByteArray* out) override;
    std::unique_ptr<Device> open(int index, FT_STATUS* status) override;

private:
    QList<QSerialPortInfo> scan();
};

} // namespace ftdi
