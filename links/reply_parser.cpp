#include "links/reply_parser.h"

#include <algorithm>

#include "core/text_split.h"
#include "platform/log/log.h"

namespace replies {

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr int kLowestAddress = 128;
// Record slots count from 129: 128 is taken as a reply address but not as a record's.
constexpr int kLowestRecordAddress = 129;

QByteArray cut_line(QByteArray s) {
    const qsizetype cr = s.indexOf(kCr);
    if (cr >= 0) s.truncate(cr);
    const qsizetype lf = s.indexOf(kLf);
    if (lf >= 0) s.truncate(lf);
    return s;
}

QByteArray group_box_text(const QByteArray& g, const QByteArray& rest) {
    return QByteArrayLiteral(" Group ") + g + QByteArrayLiteral("  ") + rest;
}

// Takes the address byte off s; false when there is none or it is below 128.
bool take_address(QByteArray& s, Reply& r) {
    if (s.isEmpty()) return false;
    r.address = static_cast<unsigned char>(s.at(0));
    s.remove(0, 1);
    return r.address >= kLowestAddress;
}

bool is_address_byte(char c) {
    return static_cast<unsigned char>(c) >= kLowestAddress;
}

// A piece that is nothing but blanks and line ends (the LF behind a CR) is not worth a trace.
bool only_line_space(const QByteArray& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == kCr || c == kLf; });
}

} // namespace

void gather_reply_text(QByteArray& pending, bool& overlong, const QByteArray& input, Link link,
                       const char* link_name) {
    const bool addressed = link == Link::rs485 || link == Link::usb485;
    qsizetype tail = pending.lastIndexOf(kCr) + 1; // where the line still coming begins
    qsizetype skipped = 0;                         // bytes of an overlong line dropped here
    const auto drop_tail = [&](const char* why) {
        const QByteArray piece = pending.mid(tail);
        pending.truncate(tail);
        if (!only_line_space(piece)) qCDebug(lcLinks).noquote() << link_name << why << wlog::bytes(piece);
    };
    for (const char c : input) {
        if (overlong) {
            if (c == kCr || !(addressed && is_address_byte(c))) {
                ++skipped;
                if (c == kCr) overlong = false;
                continue;
            }
            overlong = false; // an address byte begins the next reply
        }
        if (addressed && is_address_byte(c) && pending.size() > tail)
            drop_tail("text without its reply end dropped, another reply began:");
        pending.append(c);
        if (c == kCr) {
            tail = pending.size();
        } else if (pending.size() - tail - (pending.at(tail) == kLf ? 1 : 0) > kLongestReadingLine) {
            drop_tail("line longer than any reply dropped:");
            overlong = true;
        }
    }
    if (skipped > 0)
        qCDebug(lcLinks) << link_name << skipped << "more bytes of a line longer than any reply dropped"
                         << (overlong ? "" : "up to its reply end");
}

bool take_line(QByteArray& pending, QByteArray& line) {
    const qsizetype start = pending.startsWith(kLf) ? 1 : 0;
    const qsizetype cr = pending.indexOf(kCr, start);
    if (cr < 0) {
        pending.remove(0, start);
        return false;
    }
    const qsizetype end = cr + 1 < pending.size() && pending.at(cr + 1) == kLf ? cr + 2 : cr + 1;
    line = pending.mid(start, end - start);
    pending.remove(0, end);
    return true;
}

bool take_reply_of(QByteArray& pending, int address, QByteArray& reply, const char* link_name) {
    QByteArray line;
    while (take_line(pending, line)) {
        const QByteArray text = trim_blanks(line);
        const int first = text.isEmpty() ? -1 : static_cast<unsigned char>(text.at(0));
        if (address >= kLowestAddress && first == address) {
            reply = line;
            return true;
        }
        if (only_line_space(line)) continue;
        if (first >= kLowestAddress)
            qCDebug(lcLinks).noquote() << link_name << "reply of" << first << "dropped, the poll was for"
                                       << address << wlog::bytes(line);
        else
            qCDebug(lcLinks).noquote()
                << link_name << "text without an address byte dropped:" << wlog::bytes(line);
    }
    return false;
}

QByteArray last_chars(const QByteArray& text, int n) {
    return text.size() <= n ? text : text.right(n);
}

Reply parse_reply(Link link, const QByteArray& text) {
    Reply r;
    QByteArray s = trim_blanks(text);
    switch (link) {
    case Link::rs232:
        r.accepted = true;
        if (s.contains('#')) {
            r.group_seen = true;
            r.group_char = s.mid(1, 1);
            r.group_text = group_box_text(r.group_char, s.mid(2));
        }
        r.reading = cut_line(s);
        return r;
    case Link::usb:
        r.accepted = true;
        r.reading = cut_line(s);
        return r;
    case Link::rs485:
        r.accepted = take_address(s, r);
        if (r.accepted) r.reading = cut_line(s);
        return r;
    case Link::usb485:
        r.printed = text.size() >= 2 && text.at(1) == '+';
        r.accepted = take_address(s, r);
        if (!r.accepted) return r;
        if (const qsizetype hash = s.indexOf('#'); hash >= 0) {
            r.group_seen = true;
            r.group_char = s.mid(hash + 1, 1);
            s = s.mid(hash + 2);
            r.group_text = group_box_text(r.group_char, s);
        }
        if (const qsizetype d = s.indexOf('D'); d >= 0) {
            s.truncate(d);
            r.printed = true;
        }
        r.reading = cut_line(s);
        return r;
    }
    return r;
}

int count_records(const ReadBuffer& buffer, int reply_at) {
    return static_cast<int>(record_block(buffer, reply_at).size());
}

QList<Record> record_block(const ReadBuffer& buffer, int reply_at) {
    QList<Record> records;
    for (int k = 1; k <= kRecordSlots; ++k) {
        const int at = reply_at + k * kRecordSlotSize;
        // A slot whose reading would run past the buffer is not in it.
        if (at < 0 || at + 3 + kRecordReadingSize > kReadBufferSize) break;
        const int a = static_cast<unsigned char>(buffer[static_cast<size_t>(at)]);
        if (a >= kLowestRecordAddress)
            records.append({a, QByteArray(buffer.data() + at + 3, kRecordReadingSize)});
    }
    return records;
}

QString blz(const QString& text) {
    bool blank = true;
    for (const QChar c : text)
        blank = blank && c == u' ';
    if (blank) return QString();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != u'0') return text.mid(i);
    }
    return QString();
}

} // namespace replies
