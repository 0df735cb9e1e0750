#include "platform/serial/serial_port.h"

#include "platform/serial/system_port.h"

namespace serial {

namespace {
Backend* installed = nullptr;
} // namespace

void set_backend(Backend* b) {
    installed = b;
}

Backend& backend() {
    return installed ? *installed : system_backend();
}

} // namespace serial
