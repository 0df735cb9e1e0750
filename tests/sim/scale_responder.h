#pragma once
// A scale indicator as the links see it: it takes the bytes the program writes, recognises the
// command frames of a single-scale link ("*c", "!U" blocks) or of a network ("A 0x11 c",
// "A 0x12" blocks, only for its own addresses) and schedules the replies a scale would send:
// readings (address byte, "+", tag list, group field, reading, "D", CR, LF, record block),
// TAB-separated configuration and totals replies. An RF modem may sit in front ("+++", "AT").
//
// Replies are released on the seconds clock (fake in tests), so they can come late or in
// pieces; a responder can also stay silent or put garbage before its replies.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <functional>

namespace sim {

struct Scale {
    int addr = 130;
    QByteArray reading = " 1234.5";
    char group = 0;          // a group field "#" + group when not 0
    QByteArray tags;         // a tag list "!" + tags (words, the last the tag) when not empty
    bool printed = false;    // "+" after the address byte
    bool print_flag = false; // "D" after the reading
    // Record block after the reply: each record is 11 bytes, the address byte, two blanks, the
    // 6-character reading, CR, LF.
    QList<QByteArray> records;
    QList<int> record_addrs;              // address byte of each record (this scale's by default)
    QMap<char, QList<QByteArray>> config; // fields of the "J", "G" and "T" replies
    // When above 0: each reading reply is cut off, only its first half comes, this many seconds late.
    double half_late = 0;
    // Seconds by which each of this scale's reading replies comes late, whole.
    double late = 0;

    // What the scale received.
    QByteArray commands;      // each command character, in order
    QList<QByteArray> blocks; // each parameter block: letter + data (CR removed)
    int finishes = 0;         // "S"
    int resets = 0;           // "R"
};

class Responder {
public:
    enum class Link { single, network };
    explicit Responder(Link link = Link::single);

    Link link() const { return link_; }
    // Single link: the one scale. Network: adds (or returns) the scale with this address.
    Scale& add(int addr);
    Scale* find(int addr);
    Scale& scale(int index = 0) { return scales_[index]; }
    QList<Scale>& scales() { return scales_; }

    // Switches.
    bool silent = false;     // answers nothing
    double late = 0;         // seconds before a reply starts to come
    int split = 1;           // pieces a reply is cut into
    double split_gap = 0.02; // seconds between the pieces
    QByteArray garbage;      // bytes sent in front of every reply
    bool line_feed = false;  // LF after the CR of a reading
    // RF modem in front of the network: "+++" is answered with rf_answer unless rf_silent.
    bool rf_modem = false;
    bool rf_silent = false;
    QByteArray rf_answer = QByteArrayLiteral("OK\r");

    // Bytes from the program.
    void receive(const QByteArray& bytes);
    // Reply bytes due by now.
    int available();
    QByteArray take(int max = -1);
    // Bytes scheduled, due or not.
    bool pending() const { return !out_.isEmpty(); }
    // Drops every reply not yet taken.
    void purge() { out_.clear(); }
    // Sends bytes of the test's own making as a reply (the switches apply as to any reply).
    void send_raw(const QByteArray& bytes) { reply(bytes); }

    // The reading reply a scale would send now.
    QByteArray reading_reply(const Scale& s) const;

    QByteArray received;           // every byte that arrived
    QList<QByteArray> rf_commands; // AT command lines (CR removed)
    QByteArray rf_channel;         // channel of the last "ATHP" command
    int rf_escapes = 0;            // "+++" seen

    // Called when a reply was scheduled (ends use it to start delivering).
    std::function<void()> on_reply;

private:
    struct Chunk {
        double due;
        QByteArray bytes;
    };
    enum class State { idle, addr, cmd, bang, block_letter, block_data, at_line };

    double now();
    void feed(char c);
    void command(int addr, char c);
    void block(int addr, const QByteArray& letter_and_data);
    void reply(QByteArray bytes, double extra_late = 0);
    Scale* target(int addr);

    Link link_;
    QList<Scale> scales_;
    QList<Chunk> out_;
    State state_ = State::idle;
    int frame_addr_ = -1;
    QByteArray block_;
    QByteArray at_line_;
    int pluses_ = 0;
    double day_offset_ = 0;
    double last_clock_ = -1;
};

} // namespace sim
