// The scale screen as a DDE source: service "Weyvane", topic "Form1", offered while the screen is
// loaded. Execute strings "command,argument" run the configuration transfers or reset a scale's
// totals; the labels and text boxes are the topic's items.
#include "core/core_state.h"
#include "core/waits.h"
#include "links/command_frames.h"
#include "links/link_type.h"
#include "links/links_state.h"
#include "platform/dde/dde.h"
#include "platform/log/log.h"
#include "platform/ui/message_box.h"
#include "screen/config_transfers.h"
#include "screen/form1.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace {

// The argument as a number: 0 unless it is numeric, halves rounding to the even number. A
// number outside the 32-bit range gives -1, an address that no frame carries.
int32_t argument_number(const QString& arg) {
    bool ok = false;
    const double v = QLocale::c().toDouble(arg.trimmed(), &ok);
    if (!ok || !std::isfinite(v)) return 0;
    const double r = std::nearbyint(v);
    if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max()) return -1;
    return static_cast<int32_t>(r);
}

} // namespace

void form1::connect_dde() {
    // Every label and text box is an item named after its control.
    const std::pair<QWidget*, const char*> unnamed[] = {{Label1, "Label1"},
                                                        {Label2, "Label2"},
                                                        {Label20, "Label20"},
                                                        {Datamsg, "Datamsg"},
                                                        {txt_polltime, "txt_polltime"}};
    for (const auto& [w, name] : unnamed)
        if (w && w->objectName().isEmpty()) w->setObjectName(name);

    dde_source = new dde::Source(this, QStringLiteral("Form1"));
    dde_source->set_execute_handler([this](const QString& command) {
        int16_t cancel = 0;
        Form_LinkExecute(command, cancel);
        return cancel == 0;
    });
    connect(this, &ui::Form::loaded, dde_source, [this] { dde_source->start(QStringLiteral("Weyvane")); });
    connect(this, &ui::Form::unloaded, dde_source, [this] { dde_source->stop(); });
}

int form1::selected_slot() const {
    const int pos = Combo1->currentIndex();
    if (pos < 0 || pos >= std::min<int>(links.scale_count, kScaleSlots)) return -1;
    return pos;
}

void form1::Form_LinkExecute(const QString& CmdStr, int16_t& Cancel) {
    Cancel = 0;
    const qsizetype comma = CmdStr.indexOf(u',');
    if (comma < 0) {
        qCDebug(lcDde).noquote() << "command ignored, no comma:" << CmdStr;
        return;
    }
    const QString command = CmdStr.left(comma).toUpper();
    const QString arg = CmdStr.mid(comma + 1);
    const int32_t n = argument_number(arg);
    qCDebug(lcDde, "running %s with argument \"%s\" (number %d)", qPrintable(command), qPrintable(arg), n);

    if (command == QLatin1String("ULG")) {
        load_screen_from_db(arg);
        ui::DoEvents();
        save_screen_to_scale(n);
        ui::DoEvents();
    } else if (command == QLatin1String("DLG")) {
        load_screen_from_scale(n);
        ui::DoEvents();
        save_screen_to_db(arg);
        ui::DoEvents();
    } else if (command == QLatin1String("CLT")) {
        const LinkType t = link_type();
        if (t == LinkType::USB485) {
            ui::DoEvents();
            transfers::set_long_timeouts();
            ui::DoEvents();
            // An address no frame can carry sends nothing (the frame is empty).
            frames::send(frames::reset_totals_request(t, n));
            ui::DoEvents();
        } else if (t == LinkType::RS232) {
            ui::DoEvents();
            frames::send(frames::reset_totals_request(t, n));
            ui::DoEvents();
            ui::DoEvents();
        }
        for (int i = 0; i < 6; ++i)
            busy_wait();
    } else if (command == QLatin1String("ULR") || command == QLatin1String("DLR")) {
        // With no scale selected there is no scale to address.
        const int slot = selected_slot();
        if (slot < 0) {
            qCDebug(lcDde).noquote() << command << "ignored: no scale is selected";
            return;
        }
        if (command == QLatin1String("ULR")) {
            move_ocdb_to_ocscreen();
            ui::DoEvents();
            upload_oc(links.scale_addr[slot]);
            ui::DoEvents();
        } else {
            move_scale_to_ocscreen(links.scale_addr[slot]);
            ui::DoEvents();
            move_ocscreen_to_ocdb();
            ui::DoEvents();
        }
    } else {
        qCDebug(lcDde).noquote() << "command" << command << "is not known; nothing run";
    }
}
