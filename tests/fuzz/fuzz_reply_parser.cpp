// libFuzzer target for the reply parser: the first byte picks the link, the rest is the reply as the
// receive buffer joined it; the same bytes, laid into an FTDI read buffer, feed the record block.
// Besides finding crashes and memory faults, it checks what the receive scans rely on.
#include "links/reply_parser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    using replies::Link;
    const Link links[] = {Link::rs232, Link::rs485, Link::usb, Link::usb485};
    const Link link = links[data[0] % 4];
    const QByteArray text(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

    const replies::Reply r = replies::parse_reply(link, text);
    // The reading is a piece of the reply, without a line end; a network reply is taken only from
    // an address of 128 up, and a "USB485" reading never keeps its print flag.
    check(!r.reading.contains('\r') && !r.reading.contains('\n'));
    check(text.contains(r.reading));
    check(r.group_char.size() <= 1);
    if (link == Link::rs485 || link == Link::usb485)
        check(!r.accepted || (r.address >= 128 && r.address <= 255));
    if (link == Link::usb485 && r.accepted) check(!r.reading.contains('D'));

    // Gathered in two pieces: the line still coming stays within the longest line, and on a
    // network link an address byte stands only at the start of a line.
    QByteArray pending;
    bool overlong = false;
    const qsizetype cut = text.isEmpty() ? 0 : data[0] % text.size();
    replies::gather_reply_text(pending, overlong, text.left(cut), link, "fuzz");
    replies::gather_reply_text(pending, overlong, text.mid(cut), link, "fuzz");
    const qsizetype tail = pending.lastIndexOf('\r') + 1;
    check(pending.size() - tail - (pending.mid(tail).startsWith('\n') ? 1 : 0) <=
          replies::kLongestReadingLine);
    if (link == Link::rs485 || link == Link::usb485)
        for (const QByteArray& line : pending.split('\r'))
            for (qsizetype i = 1; i < line.size(); ++i)
                check(static_cast<unsigned char>(line.at(i)) < 128);

    // Lines come out each through its one CR, the unfinished tail stays; the reply taken for an
    // address is that scale's own.
    QByteArray rest = pending, line;
    while (replies::take_line(rest, line))
        check(line.count('\r') == 1 && (line.endsWith('\r') || line.endsWith("\r\n")));
    check(!rest.contains('\r') && pending.endsWith(rest));
    const int address = 128 + data[0] % 128;
    rest = pending;
    if (replies::take_reply_of(rest, address, line, "fuzz")) {
        const QByteArray trimmed = line.trimmed();
        check(!trimmed.isEmpty() && static_cast<unsigned char>(trimmed.at(0)) == address);
        check(pending.contains(line) && pending.endsWith(rest));
    }

    (void)replies::has_reply_end(text);
    check(replies::last_chars(text, 20).size() <= 20);
    (void)replies::blz(QString::fromLatin1(text));

    replies::ReadBuffer buffer{};
    std::memcpy(buffer.data(), data, size < buffer.size() ? size : buffer.size());
    const int count = replies::count_records(buffer);
    const QList<replies::Record> records = replies::record_block(buffer);
    check(count >= 0 && count <= replies::kRecordSlots && records.size() == count);
    for (const replies::Record& rec : records)
        check(rec.address >= 129 && rec.address <= 255 && rec.reading.size() == replies::kRecordReadingSize);
    return 0;
}
