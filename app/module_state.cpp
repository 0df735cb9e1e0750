#include "app/module_state.h"

#include "collect/collect_state.h"
#include "collect/slave_windows.h"
#include "core/core_state.h"
#include "links/link_devices.h"
#include "links/links_state.h"
#include "platform/clock/clock.h"
#include "platform/db/adodb.h"
#include "platform/ftdi/ftdi.h"
#include "platform/instance/instance.h"
#include "platform/registry/registry.h"
#include "platform/spreadsheet/spreadsheet.h"
#include "platform/timezone/timezone.h"
#include "platform/ui/message_box.h"
#include "platform/volumes/volumes.h"
#include "setup/setup_state.h"

#include <QDateTime>

namespace {
// Read before main(): the time-out is a constant-initialised value, set only by callers.
const int busy_timeout_at_start = adodb::busy_timeout_ms();
} // namespace

void reset_module_state() {
    reset_core_state();
    reset_links_state();
    reset_link_devices();
    reset_collect_state();
    slave_open.fill(0);
    reset_setup_state();

    ui::set_backend(nullptr);
    spreadsheet::set_backend(nullptr);
    spreadsheet::set_plugin_folder(QString());
    ftdi::set_backend(nullptr);
    wclock::use_real(); // drops the slice hook too
    volumes::clear_fake_table();
    volumes::set_missing_function(QString());
    tzinfo::set_now(QDateTime());
    registry::set_file(QString());
    adodb::set_busy_timeout_ms(busy_timeout_at_start);
    instance::release();
}
