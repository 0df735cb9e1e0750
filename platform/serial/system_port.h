#pragma once
// The real port backend: serial devices through the kernel's driver, with QSerialPort.
#include "platform/serial/serial_port.h"

namespace serial {

Backend& system_backend();

} // namespace serial
