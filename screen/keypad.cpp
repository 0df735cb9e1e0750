// The remote keypad: a click on a pictured key sends that key to the selected scale, or, in
// network operation, queues it for the poll cycle's next tick.
#include "core/core_state.h"
#include "links/command_frames.h"
#include "links/link_type.h"
#include "links/links_state.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"
#include "screen/keypad_picture.h"

#include <QString>
#include <cmath>

void form1::connect_keypad() {
    auto* picture = new keypad::Picture(vsElastic1);
    keypad_picture = picture;
    connect(picture, &keypad::Picture::mouse, this,
            [this](int button, int shift, float x, float y) { vsElastic1_mouse_pos(button, shift, x, y); });
    connect(picture, &keypad::Picture::clicked, this, [this] { vsElastic1_Click(); });
}

void form1::vsElastic1_mouse_pos(int button, int shift, float x, float y) {
    (void)button;
    (void)shift;
    // Whole twips through the position's decimal text.
    click_x = static_cast<int32_t>(std::lround(QString::number(x, 'f', 3).toDouble()));
    click_y = static_cast<int32_t>(std::lround(QString::number(y, 'f', 3).toDouble()));
    ui::DoEvents();
}

void form1::vsElastic1_Click() {
    const int code = keypad::key_at(click_x, click_y);
    if (code == keypad::kNoKey) {
        ui::Beep();
        return;
    }

    const LinkType t = link_type();
    const bool network = links.op_mode == 2;
    const auto queue = [code] {
        // One key waits at a time; a newer key replaces it.
        links.key_pending = true;
        links.key_code = static_cast<int16_t>(code);
    };
    const int slot = links.cur_scale;
    const int addr = slot >= 0 && slot < kScaleSlots ? links.scale_addr[slot] : -1;

    if (t == LinkType::RS232) {
        // "*", a pass of the event pump, then the key character.
        const frames::Writes writes = frames::keypad_key_frame(t, 0, code);
        for (qsizetype i = 0; i < writes.size(); ++i) {
            if (i > 0) ui::DoEvents();
            frames::send({writes[i]});
        }
    } else if (t == LinkType::USB || t == LinkType::RS485 || t == LinkType::USB485) {
        if (network)
            queue();
        else
            frames::send(frames::keypad_key_frame(t, addr, code));
    }
    // "Ethernet" and any other link: the keypad sends nothing.
}
