#pragma once
// The replies a scale sends, cut into their fields without touching any widget, so that the
// receive scans stay thin and the parsing can be tested on its own: by test_reply_parser, and by
// the libFuzzer target fuzz_reply_parser (tests/fuzz/fuzz_reply_parser.cpp), which feeds every
// function here arbitrary bytes on each link and checks what the scans rely on; the sanitizer
// build runs it for a bounded, repeatable number of inputs as the test fuzz_reply_parser.
//
// A reading reply: [address byte] ["+"] ["!" tags] ["#" group character] reading ["D"] CR [LF].
// The address byte is present on the network links only; a reply is taken when its code lies
// between 128 and 255. The reading ends before a "D" print flag, the first CR and the first LF.
//
// The reading record block that follows a printed "USB485" reading is read out of the 256-byte
// buffer of the scan's last FTDI read: 11-byte slots, slot k starting at byte 11k after the
// reply (byte 11k when the reply opens the read), with the record's address byte first and its
// 6-character reading at bytes 3 to 8 of the slot. Slot 0 is the reply itself; slots 1 to 20 are
// examined, as far as the buffer holds them.
#include <QByteArray>
#include <QList>
#include <QString>
#include <array>

namespace replies {

enum class Link { rs232, rs485, usb, usb485 };

// The size of the read buffer of an FTDI scan; no single read takes more.
constexpr int kReadBufferSize = 256;
constexpr int kRecordSlotSize = 11;
constexpr int kRecordSlots = 20;
constexpr int kRecordReadingSize = 6;
using ReadBuffer = std::array<char, kReadBufferSize>;

struct Reply {
    // Network links: false when the reply is empty or its address byte lies below 128. The
    // single-scale links always take their reply.
    bool accepted = false;
    int address = -1;        // code of the address byte (network links), else -1
    bool printed = false;    // "+" as the second character ("USB485"), or a "D" print flag
    bool group_seen = false; // a "#" group field
    QByteArray group_char;   // the group character (empty when "#" ended the text)
    QByteArray group_text;   // the text of the group box: " Group " g "  " and what follows g
    QByteArray reading;      // the reading text
};

// Cuts a complete reply (as joined in the receive buffer) for the given link:
// - "RS232": trimmed line cut at CR/LF, "#" and group character kept in the reading; a "#"
//   anywhere makes a group line whose group character is the second character of the line.
// - "RS485": address byte, reading cut at CR/LF; no group field, no print flag.
// - "USB": the trimmed text cut at CR/LF, nothing else.
// - "USB485": address byte, "+", group field, "D" print flag, cut at CR/LF.
Reply parse_reply(Link link, const QByteArray& text);

// True when the text holds the end of a reply (a CR).
inline bool has_reply_end(const QByteArray& text) {
    return text.contains('\r');
}

// How long a network scale has to complete its reply, in seconds. Text that has not reached its
// CR by then never will: it is dropped, not joined to what comes next.
constexpr double kReplyWait = 0.25;

// The longest line of a reading a scale sends, without its reply end: a scale's SD-card file
// holds its readings in the reading reply's layout, date and time added, in lines of at most 69
// characters. A longer line is noise, not a reading.
constexpr int kLongestReadingLine = 69;

// Gathers received text into reply lines on the links whose replies come in pieces. `pending`
// holds the text received and not yet taken: whole lines (each through its CR) and the tail of
// the line still coming. Each byte of `input` is added to it by these rules:
// - On the network links ("RS485", "USB485", and the Ethernet link, which frames its replies
//   as "RS485") a byte of 128 or more is an address byte and begins a new reply: a tail in
//   front of it, which never reached its CR, is dropped rather than joined to that reply.
// - A tail that grows longer than kLongestReadingLine (the LF of the CR LF before it not
//   counted) is dropped, and with it the rest of that line up to its CR (on a network link, up
//   to the next address byte); `overlong` marks that state between calls, so that the next line
//   is taken clean.
// Every piece dropped is traced in category weyvane.links under the name `link_name`.
void gather_reply_text(QByteArray& pending, bool& overlong, const QByteArray& input, Link link,
                       const char* link_name);

// Takes the first complete line out of `pending`: its text through the CR, and the LF right
// behind it. An LF at the start, left by a CR LF pair whose CR ended the line before, is
// dropped. False, with the unfinished tail left in `pending`, when no complete line is there.
bool take_line(QByteArray& pending, QByteArray& line);

// Takes the complete lines out of `pending` up to the first reply of the scale at `address` (a
// network address of 128 or more), which it returns in `reply`. The lines in front of it, under
// another address or under none, are dropped and traced; what follows it stays in `pending`.
// False when no complete line of that scale is there; the unfinished tail then stays.
bool take_reply_of(QByteArray& pending, int address, QByteArray& reply, const char* link_name);

// The last n characters (all of them when shorter).
QByteArray last_chars(const QByteArray& text, int n);

struct Record {
    int address = 0;
    QByteArray reading;
};

// Number of record slots among 1 to 20 whose address byte lies between 129 and 255.
// `reply_at`: where the reply (slot 0) starts in the buffer.
int count_records(const ReadBuffer& buffer, int reply_at = 0);
// The records of the counted slots, in slot order. A slot that does not count (address byte
// 128 or below: no record, or the rest of a reply) is skipped, and the records behind it are
// still taken.
QList<Record> record_block(const ReadBuffer& buffer, int reply_at = 0);

// The text without its leading "0" characters: empty when the text is blank or all "0";
// otherwise from its first character (untrimmed) that is not "0".
QString blz(const QString& text);

} // namespace replies
