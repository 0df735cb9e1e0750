#include "tests/sim/scale_responder.h"

#include <algorithm>

#include "platform/clock/clock.h"

namespace sim {

namespace {
constexpr char kCmd = 0x11;
constexpr char kBlock = 0x12;
constexpr char kCr = '\r';

bool is_reading_command(char c) {
    return c == 'P' || c == '1' || c == 'F' || c == 'K' || (c >= '0' && c <= '9') || c == '.' || c == 'E';
}
} // namespace

Responder::Responder(Link link) : link_(link) {
    if (link_ == Link::single) scales_.append(Scale());
}

Scale& Responder::add(int addr) {
    if (link_ == Link::single) return scales_.first();
    if (Scale* s = find(addr)) return *s;
    Scale s;
    s.addr = addr;
    scales_.append(s);
    return scales_.last();
}

Scale* Responder::find(int addr) {
    for (Scale& s : scales_)
        if (s.addr == addr) return &s;
    return nullptr;
}

Scale* Responder::target(int addr) {
    if (link_ == Link::single) return &scales_.first();
    return find(addr);
}

double Responder::now() {
    // A steady time from the seconds-since-midnight clock.
    const double t = wclock::Timer();
    if (last_clock_ >= 0 && t + 43200.0 < last_clock_) day_offset_ += wclock::kSecondsPerDay;
    last_clock_ = t;
    return day_offset_ + t;
}

void Responder::receive(const QByteArray& bytes) {
    received += bytes;
    for (char c : bytes)
        feed(c);
}

void Responder::feed(char c) {
    if (state_ == State::at_line) {
        if (c != kCr) {
            at_line_ += c;
            return;
        }
        rf_commands.append(at_line_);
        if (at_line_.startsWith("ATHP ")) {
            const qsizetype comma = at_line_.indexOf(',');
            rf_channel = at_line_.mid(5, comma < 0 ? -1 : comma - 5);
        }
        const bool leave = at_line_.contains(",CN") || at_line_.startsWith("ATCN");
        at_line_.clear();
        if (leave) state_ = State::idle;
        return;
    }
    if (rf_modem && state_ == State::idle) {
        if (c == '+') {
            if (++pluses_ == 3) {
                pluses_ = 0;
                ++rf_escapes;
                state_ = State::at_line;
                if (!rf_silent) reply(rf_answer);
            }
            return;
        }
        pluses_ = 0;
    }
    switch (state_) {
    case State::idle:
        if (link_ == Link::network) {
            frame_addr_ = static_cast<uint8_t>(c);
            state_ = State::addr;
        } else if (c == '*') {
            state_ = State::cmd;
        } else if (c == '!') {
            state_ = State::bang;
        }
        break;
    case State::addr:
        if (c == kCmd)
            state_ = State::cmd;
        else if (c == kBlock)
            state_ = State::block_letter;
        else
            frame_addr_ = static_cast<uint8_t>(c); // not a frame: take this byte as the address
        break;
    case State::bang:
        state_ = c == 'U' ? State::block_letter : State::idle;
        break;
    case State::cmd:
        state_ = State::idle;
        command(frame_addr_, c);
        break;
    case State::block_letter:
        block_ = QByteArray(1, c);
        state_ = State::block_data;
        break;
    case State::block_data:
        if (c == kCr) {
            state_ = State::idle;
            block(frame_addr_, block_);
        } else {
            block_ += c;
        }
        break;
    case State::at_line:
        break;
    }
}

void Responder::command(int addr, char c) {
    Scale* s = target(addr);
    if (!s) return; // another scale's frame
    s->commands += c;
    if (is_reading_command(c)) {
        const QByteArray r = reading_reply(*s);
        if (s->half_late > 0)
            reply(r.left(r.size() / 2), s->half_late);
        else
            reply(r, s->late);
    } else if (c == 'J' || c == 'G' || c == 'T') {
        QByteArray r;
        if (link_ == Link::network) r += static_cast<char>(s->addr);
        const QList<QByteArray> fields = s->config.value(c);
        for (int i = 0; i < fields.size(); ++i) {
            if (i) r += '\t';
            r += fields[i];
        }
        r += kCr;
        reply(r);
    } else if (c == 'R') {
        ++s->resets;
        QList<QByteArray>& totals = s->config['T'];
        for (QByteArray& f : totals)
            f = "0";
    } else if (c == 'S') {
        ++s->finishes;
    }
}

void Responder::block(int addr, const QByteArray& letter_and_data) {
    if (Scale* s = target(addr)) s->blocks.append(letter_and_data);
}

QByteArray Responder::reading_reply(const Scale& s) const {
    QByteArray r;
    if (link_ == Link::network) r += static_cast<char>(s.addr);
    if (s.printed) r += '+';
    if (!s.tags.isEmpty()) r += '!' + s.tags;
    if (s.group) r += QByteArray("#") + s.group;
    r += s.reading;
    if (s.print_flag) r += 'D';
    r += kCr;
    if (line_feed) r += '\n';
    for (int i = 0; i < s.records.size(); ++i) {
        const int a = i < s.record_addrs.size() ? s.record_addrs[i] : s.addr;
        r += static_cast<char>(a);
        r += "  ";
        r += s.records[i].leftJustified(6, ' ', true);
        r += "\r\n";
    }
    return r;
}

void Responder::reply(QByteArray bytes, double extra_late) {
    if (silent) return;
    bytes.prepend(garbage);
    const int pieces = std::max(1, std::min<int>(split, static_cast<int>(bytes.size())));
    const double start = now() + late + extra_late;
    const qsizetype step = (bytes.size() + pieces - 1) / pieces;
    for (int k = 0; k < pieces; ++k) {
        // Kept in the order they come: a late reply lets the ones due before it pass.
        const Chunk chunk{start + k * split_gap, bytes.mid(k * step, step)};
        auto at = std::upper_bound(out_.begin(), out_.end(), chunk.due,
                                   [](double due, const Chunk& c) { return due < c.due; });
        out_.insert(at, chunk);
    }
    if (on_reply) on_reply();
}

int Responder::available() {
    const double t = now();
    int n = 0;
    for (const Chunk& c : out_) {
        if (c.due > t) break;
        n += static_cast<int>(c.bytes.size());
    }
    return n;
}

QByteArray Responder::take(int max) {
    const double t = now();
    QByteArray got;
    while (!out_.isEmpty() && out_.first().due <= t && (max < 0 || got.size() < max)) {
        Chunk& c = out_.first();
        const qsizetype room =
            max < 0 ? c.bytes.size() : std::min<qsizetype>(c.bytes.size(), max - got.size());
        got += c.bytes.left(room);
        c.bytes.remove(0, room);
        if (c.bytes.isEmpty()) out_.removeFirst();
    }
    return got;
}

} // namespace sim
