// Every request, byte-exact and write by write, on each link; sending over a pseudo-terminal,
// through the FTDI adapter and over the socket.
#include "app/module_state.h"
#include "core/core_state.h"
#include "links/command_frames.h"
#include "links/link_devices.h"
#include "links/links_state.h"
#include "platform/clock/clock.h"
#include "platform/ftdi/ftdi.h"
#include "platform/settings/settings.h"
#include "tests/sim/pty_end.h"
#include "tests/sim/sim_ftdi.h"
#include "tests/sim/tcp_end.h"
#include "tests/support/test_main.h"

#include <QtTest>

using frames::PollSource;
using frames::Writes;

Q_DECLARE_METATYPE(Writes)

namespace {
Writes w(std::initializer_list<const char*> hex) {
    Writes out;
    for (const char* h : hex)
        out.append(QByteArray::fromHex(h));
    return out;
}
} // namespace

class TestCommandFrames : public QObject {
    Q_OBJECT
private slots:
    void init() { reset_module_state(); }
    void cleanup() { reset_module_state(); }

    void requests_data() {
        QTest::addColumn<Writes>("got");
        QTest::addColumn<Writes>("expected");
        const auto single = PollSource::single;
        const auto cycle = PollSource::cycle;
        // Polls.
        QTest::newRow("RS232 poll") << frames::poll(LinkType::RS232, 0, false, cycle) << w({"2a", "50"});
        QTest::newRow("RS232 frame") << frames::poll(LinkType::RS232, 0, true, single) << w({"2a", "46"});
        QTest::newRow("USB cycle poll") << frames::poll(LinkType::USB, 0, false, cycle) << w({"2a", "31"});
        QTest::newRow("USB cycle ignores Frame")
            << frames::poll(LinkType::USB, 0, true, cycle) << w({"2a", "31"});
        QTest::newRow("USB single frame") << frames::poll(LinkType::USB, 0, true, single) << w({"2a", "46"});
        QTest::newRow("RS485 poll three writes")
            << frames::poll(LinkType::RS485, 130, false, cycle) << w({"82", "11", "31"});
        QTest::newRow("RS485 frame") << frames::poll(LinkType::RS485, 130, true, single)
                                     << w({"82", "11", "46"});
        QTest::newRow("USB485 cycle one write")
            << frames::poll(LinkType::USB485, 130, false, cycle) << w({"821131"});
        QTest::newRow("USB485 cycle frame")
            << frames::poll(LinkType::USB485, 130, true, cycle) << w({"821146"});
        QTest::newRow("USB485 single three writes")
            << frames::poll(LinkType::USB485, 130, false, single) << w({"82", "11", "31"});
        QTest::newRow("NetID 100 still polled")
            << frames::poll(LinkType::USB485, 100, false, cycle) << w({"641131"});
        QTest::newRow("NetID 255") << frames::poll(LinkType::RS485, 255, false, cycle)
                                   << w({"ff", "11", "31"});
        QTest::newRow("NetID 386 never polled") << frames::poll(LinkType::USB485, 386, false, cycle) << w({});
        QTest::newRow("negative NetID") << frames::poll(LinkType::RS485, -1, false, cycle) << w({});
        QTest::newRow("Ethernet has no plain poll")
            << frames::poll(LinkType::Ethernet, 130, false, single) << w({});
        QTest::newRow("Ethernet poll")
            << frames::ethernet_poll_request(LinkType::Ethernet, 130) << w({"82114b"});
        QTest::newRow("Ethernet poll only on Ethernet")
            << frames::ethernet_poll_request(LinkType::USB485, 130) << w({});
        QTest::newRow("unknown link") << frames::poll(LinkType::none, 130, false, cycle) << w({});
        // Keypad.
        QTest::newRow("RS232 key 0") << frames::keypad_key_frame(LinkType::RS232, 0, 0) << w({"2a", "30"});
        QTest::newRow("USB key .") << frames::keypad_key_frame(LinkType::USB, 0, 10) << w({"2a", "2e"});
        QTest::newRow("RS485 key E") << frames::keypad_key_frame(LinkType::RS485, 131, 11)
                                     << w({"83", "11", "45"});
        QTest::newRow("USB485 key 1 = poll bytes") << frames::keypad_key_frame(LinkType::USB485, 130, 1)
                                                   << frames::poll(LinkType::USB485, 130, false, single);
        QTest::newRow("key code 12") << frames::keypad_key_frame(LinkType::RS232, 0, 12) << w({});
        QTest::newRow("key code -1") << frames::keypad_key_frame(LinkType::USB485, 130, -1) << w({});
        QTest::newRow("Ethernet keys") << frames::keypad_key_frame(LinkType::Ethernet, 130, 5) << w({});
        // Configuration group.
        QTest::newRow("RS232 J") << frames::output_config_read(LinkType::RS232, 0) << w({"2a4a"});
        QTest::newRow("USB485 G") << frames::group_setup_read(LinkType::USB485, 130) << w({"821147"});
        QTest::newRow("RS232 T") << frames::totals_request(LinkType::RS232, 0) << w({"2a54"});
        QTest::newRow("USB485 R") << frames::reset_totals_request(LinkType::USB485, 140) << w({"8c1152"});
        QTest::newRow("USB485 S") << frames::write_finish_command(LinkType::USB485, 130) << w({"821153"});
        QTest::newRow("RS485 has no J") << frames::output_config_read(LinkType::RS485, 130) << w({});
        QTest::newRow("USB has no T") << frames::totals_request(LinkType::USB, 0) << w({});
        QTest::newRow("RS232 block A")
            << frames::output_config_block(LinkType::RS232, 0, 'A') << w({"215541"});
        QTest::newRow("USB485 block H")
            << frames::output_config_block(LinkType::USB485, 130, 'H') << w({"82", "12", "48"});
        QTest::newRow("block I output") << frames::output_config_block(LinkType::RS232, 0, 'I') << w({});
        QTest::newRow("RS232 group 9") << frames::group_setup_block(LinkType::RS232, 0, '9') << w({"215539"});
        QTest::newRow("USB485 group I")
            << frames::group_setup_block(LinkType::USB485, 130, 'I') << w({"82", "12", "49"});
        QTest::newRow("RS232 has no group I") << frames::group_setup_block(LinkType::RS232, 0, 'I') << w({});
    }
    void requests() {
        QFETCH(Writes, got);
        QFETCH(Writes, expected);
        QCOMPARE(got, expected);
    }

    // The writes go out over the serial control as they are, and reach the scale's end.
    void rs485_poll_over_pty() {
        auto responder = std::make_shared<sim::Responder>(sim::Responder::Link::network);
        responder->add(130);
        sim::PtyEnd pty(responder);
        QVERIFY(pty.ok());
        settings::SaveSetting("Ports", "COM1", pty.path());
        core.comm_type = "RS485";
        MSComm1().setCommPort(1);
        QVERIFY2(MSComm1().setPortOpen(true), qPrintable(MSComm1().error()));
        frames::send(frames::poll(LinkType::RS485, 130, false, PollSource::cycle));
        frames::send(frames::keypad_key_frame(LinkType::RS485, 131, 7)); // another scale's key
        QTRY_COMPARE(responder->received, QByteArray::fromHex("821131831137"));
        QCOMPARE(responder->scale(0).commands, QByteArray("1"));
    }

    // On "USB485" the cycle's frame is one FT_Write to the adapter; usb_write sends piece by
    // piece; on "USB" the selected scale's handle is written.
    void ftdi_writes() {
        sim::SimFtdi usb;
        auto adapter = std::make_shared<sim::Responder>(sim::Responder::Link::network);
        auto& dev0 = usb.add("A1", "Adapter", adapter);
        auto& dev1 = usb.add("B2", "Scale", std::make_shared<sim::Responder>());
        usb.install();
        ftdi::FT_HANDLE h0 = 0, h1 = 0;
        QCOMPARE(ftdi::FT_Open(0, &h0), ftdi::FT_OK);
        QCOMPARE(ftdi::FT_Open(1, &h1), ftdi::FT_OK);

        core.comm_type = "USB485";
        links.usb_handle = h0;
        frames::send_ftdi(links.usb_handle, frames::poll(LinkType::USB485, 130, false, PollSource::cycle));
        frames::send(frames::poll(LinkType::USB485, 130, true, PollSource::single));
        QCOMPARE(dev0.writes, w({"821131", "82", "11", "46"}));

        core.comm_type = "USB";
        links.cur_scale_addr = static_cast<int32_t>(h1);
        frames::send(frames::keypad_key_frame(LinkType::USB, 0, 11));
        QCOMPARE(dev1.writes, w({"2a", "45"}));
        QCOMPARE(dev0.writes.size(), 4);
    }

    // Nothing goes out on "Ethernet" until the socket is connected.
    void ethernet_only_when_connected() {
        auto responder = std::make_shared<sim::Responder>(sim::Responder::Link::network);
        responder->add(130);
        sim::TcpEnd server(responder);
        QVERIFY(server.listening());
        core.comm_type = "Ethernet";
        frames::send(frames::ethernet_poll_request(LinkType::Ethernet, 130));
        QCOMPARE(Winsock1().State(), 0);
        Winsock1().Connect("127.0.0.1", server.port());
        frames::send(frames::ethernet_poll_request(LinkType::Ethernet, 130)); // still connecting
        QTRY_COMPARE(Winsock1().State(), 7);
        frames::send(frames::ethernet_poll_request(LinkType::Ethernet, 131));
        QTRY_COMPARE(responder->received, QByteArray::fromHex("83114b"));
    }
};

WEYVANE_TEST_MAIN(TestCommandFrames)
#include "test_command_frames.moc"
