#include "collect/slave_windows.h"

#include <QEvent>
#include <QFont>
#include <QMouseEvent>
#include <QPalette>

#include "core/core_state.h"
#include "platform/ui/message_box.h"
#include "platform/ui/twips.h"

std::array<int16_t, 11> slave_open{};

namespace {

constexpr int kLabelWidth = 3495;

bool is_window(int k) {
    return k >= 0 && k <= 9;
}

} // namespace

slave::slave(int k) : ui::Form(nullptr, true), k_(k) {
    setObjectName(QStringLiteral("slave%1").arg(k));
    Screen = new ui::FittingLabel(this);
    Screen->setObjectName(QStringLiteral("Screen"));
    Screen->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Screen->setAutoFillBackground(true);
    Screen->installEventFilter(this);
    // The client area of the design; the label fills it.
    resize(ui::px(kLabelWidth), ui::px(k == 0 ? 1575 : 1590));
}

slave& slave_window(int k) {
    static std::array<slave*, 10> windows{};
    const int at = is_window(k) ? k : 0;
    if (!windows[at]) windows[at] = new slave(at);
    return *windows[at];
}

void slave::build() {
    // Design state: caption, the empty label in its colours and design font.
    setCaption(k_ == 0 ? QStringLiteral("Slave0") : QStringLiteral("Slave1"));
    Screen->clear();
    QPalette pal = Screen->palette();
    const QPalette system;
    if (k_ == 0) {
        pal.setColor(QPalette::Window, system.color(QPalette::Base));
        pal.setColor(QPalette::WindowText, system.color(QPalette::Text));
    } else {
        pal.setColor(QPalette::Window, system.color(QPalette::HighlightedText));
        pal.setColor(QPalette::WindowText, system.color(QPalette::ButtonText));
    }
    Screen->setPalette(pal);
    Screen->setFont(ui::condensed_font(QStringLiteral("Swiss911 XCm BT"), 72, false));
    Screen->setGeometry(0, 0, ui::px(kLabelWidth), ui::px(1575));
}

void slave::Form_Load() {
    if (core.small_fonts) {
        Screen->setFont(QFont(QStringLiteral("Arial"), 48, QFont::Bold));
        Screen->setGeometry(0, ui::px(180), ui::px(kLabelWidth), ui::px(1035));
    } else {
        Screen->setFont(ui::condensed_font(QStringLiteral("Swiss911 XCm BT"), 72, true));
        Screen->setGeometry(0, 0, ui::px(kLabelWidth), ui::px(1575));
    }
    ui::DoEvents();
}

void slave::Form_Unload(int& cancel) {
    (void)cancel;
    slave_open[static_cast<size_t>(k_)] = 0;
    ui::DoEvents();
}

void slave::ShowSlave() {
    Show();
    apply_border();
}

void slave::apply_border() {
    // The frame exists once the window was first shown; it keeps its border from then on.
    QWidget* f = frame();
    if (f == bordered_) return;
    bordered_ = f;
    const bool sub = f != this;
    Qt::WindowFlags flags = sub ? Qt::SubWindow : Qt::Window;
    if (k_ == 0)
        // Fixed single: a title with the close box only.
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint;
    else
        flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint;
    const bool shown = f->isVisible();
    f->setWindowFlags(flags);
    if (shown) f->show();
}

void slave::setLeftTwips(int left) {
    frame()->move(ui::px(left), frame()->y());
}

void slave::setTopTwips(int top) {
    frame()->move(frame()->x(), ui::px(top));
}

int slave::LeftTwips() const {
    return static_cast<int>(ui::twips(frame()->x()));
}

int slave::TopTwips() const {
    return static_cast<int>(ui::twips(frame()->y()));
}

bool slave::Placeable() const {
    return !(frame()->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
}

namespace {
std::function<void(int)> the_click_handler;
}

void set_slave_click_handler(std::function<void(int)> handler) {
    the_click_handler = std::move(handler);
}

void slave::Screen_Click() {
    if (the_click_handler) the_click_handler(k_);
}

bool slave::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Screen && e->type() == QEvent::MouseButtonRelease) {
        auto* m = static_cast<QMouseEvent*>(e);
        if (m->button() == Qt::LeftButton && Screen->rect().contains(m->position().toPoint())) Screen_Click();
        return false;
    }
    return ui::Form::eventFilter(watched, e);
}

void slave_show_reading(int k, const QString& reading) {
    if (!is_window(k) || slave_open[static_cast<size_t>(k)] != 1) return;
    slave& w = slave_window(k);
    // A window closed meanwhile is not loaded again for a reading.
    if (w.Loaded()) w.Screen->setText(reading);
}

void slave_unload(int k) {
    if (k < 0 || k >= static_cast<int>(slave_open.size())) return;
    slave_open[static_cast<size_t>(k)] = 0;
    if (is_window(k)) slave_window(k).Unload();
}
