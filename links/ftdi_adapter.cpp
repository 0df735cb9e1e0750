#include "links/ftdi_adapter.h"

#include "links/links_state.h"

void usb_close_all() {
    links.usb_handle = 0;
}
