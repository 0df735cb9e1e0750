// The scale simulator as a command, to try the program by hand:
//   weyvane-scale-sim --pty                 one scale on a pseudo-terminal (prints the path for COM1)
//   weyvane-scale-sim --pty --net 130,131   a network on the pseudo-terminal
//   weyvane-scale-sim --tcp 2000 --net 130  a network behind a TCP server
// Readings drift over time; --group, --print, --lf, --late, --half-late, --slow, --hit, --split and
// --garbage shape replies; --stream sends them unasked.
#include "platform/settings/settings.h"
#include "tests/sim/pty_end.h"
#include "tests/sim/tcp_end.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTextStream>
#include <QTimer>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("weyvane-scale-sim");
    QCommandLineParser p;
    p.setApplicationDescription("Plays one scale indicator or a network of them for Weyvane.");
    p.addHelpOption();
    p.addOption({"pty", "Serve a pseudo-terminal; its path is printed (set it as COM1)."});
    p.addOption({"tcp", "Serve TCP on <port> (the Ethernet link uses 2000).", "port"});
    p.addOption({"net", "Network addresses, comma-separated (default: one single-scale link).", "ids"});
    p.addOption({"group", "Send a group field with <char>.", "char"});
    p.addOption({"print", "Mark readings as printed (\"D\")."});
    p.addOption({"lf", "End replies with CR LF."});
    p.addOption({"late", "Answer <seconds> late.", "seconds"});
    p.addOption({"split", "Send each reply in <n> pieces.", "n"});
    p.addOption(
        {"half-late", "Scale <id> sends only the first half of each reading, <seconds> late.", "id:seconds"});
    p.addOption({"slow", "Scale <id> answers whole but <seconds> late.", "id:seconds"});
    p.addOption({"hit", "A byte of code <byte> stands inside each reading of scale <id>.", "id:byte"});
    p.addOption({"stream", "The single scale sends its reading unasked every <seconds>.", "seconds"});
    p.addOption({"garbage", "Put <text> before every reply.", "text"});
    p.addOption({"rf", "An RF modem answers \"+++\"."});
    p.addOption({"save-com1", "Also store the pseudo-terminal's path as COM1 for Weyvane."});
    p.process(app);

    QTextStream out(stdout);
    if (!p.isSet("pty") && !p.isSet("tcp")) {
        out << "Give --pty or --tcp <port>.\n";
        return 2;
    }

    QList<int> ids;
    for (const QString& s : p.value("net").split(',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int id = s.trimmed().toInt(&ok);
        if (!ok || id < 0 || id > 255) {
            out << "Not an address between 0 and 255: " << s << "\n";
            return 2;
        }
        ids.append(id);
    }
    auto responder = std::make_shared<sim::Responder>(ids.isEmpty() ? sim::Responder::Link::single
                                                                    : sim::Responder::Link::network);
    for (int id : ids)
        responder->add(id);
    for (sim::Scale& s : responder->scales()) {
        if (p.isSet("group")) {
            const QByteArray g = p.value("group").toLatin1();
            s.group = g.isEmpty() ? '1' : g.at(0);
        }
        s.print_flag = p.isSet("print");
    }
    // "--name id:value" of a scale given with --net: that scale and the value, or none.
    const auto scale_option = [&](const char* name, double& value) -> sim::Scale* {
        const QStringList v = p.value(name).split(':');
        sim::Scale* s = v.size() == 2 ? responder->find(v[0].toInt()) : nullptr;
        value = v.size() == 2 ? v[1].toDouble() : 0;
        if (!s || value <= 0) out << "--" << name << " needs <id>:<value> of a scale given with --net.\n";
        return value > 0 ? s : nullptr;
    };
    double value = 0;
    if (p.isSet("half-late")) {
        sim::Scale* s = scale_option("half-late", value);
        if (!s) return 2;
        s->half_late = value;
    }
    if (p.isSet("slow")) {
        sim::Scale* s = scale_option("slow", value);
        if (!s) return 2;
        s->late = value;
    }
    int hit_addr = -1;
    char hit_byte = 0;
    if (p.isSet("hit")) {
        sim::Scale* s = scale_option("hit", value);
        if (!s || value > 255) return 2;
        hit_addr = s->addr;
        hit_byte = static_cast<char>(value);
    }
    responder->line_feed = p.isSet("lf");
    responder->late = p.value("late").toDouble();
    responder->split = std::max(1, p.value("split").toInt());
    responder->garbage = p.value("garbage").toLatin1();
    responder->rf_modem = p.isSet("rf");

    std::unique_ptr<sim::PtyEnd> pty;
    std::unique_ptr<sim::TcpEnd> tcp;
    if (p.isSet("pty")) {
        pty = std::make_unique<sim::PtyEnd>(responder);
        if (!pty->ok()) {
            out << "No pseudo-terminal could be made.\n";
            return 1;
        }
        out << pty->path() << "\n";
        if (p.isSet("save-com1")) {
            QCoreApplication::setOrganizationName("Weyvane");
            settings::SaveSetting("Ports", "COM1", pty->path());
        }
    } else {
        tcp = std::make_unique<sim::TcpEnd>(responder, static_cast<quint16>(p.value("tcp").toUInt()),
                                            QHostAddress::Any);
        if (!tcp->listening()) {
            out << "Cannot listen on TCP port " << p.value("tcp") << ".\n";
            return 1;
        }
        out << "listening on TCP port " << tcp->port() << "\n";
    }
    out.flush();

    // Readings drift a little every half second.
    QList<double> weight;
    for (int i = 0; i < responder->scales().size(); ++i)
        weight.append(1000.0 + 100.0 * i);
    QTimer drift;
    QObject::connect(&drift, &QTimer::timeout, [&] {
        for (int i = 0; i < responder->scales().size(); ++i) {
            weight[i] = std::max(0.0, weight[i] + QRandomGenerator::global()->bounded(-20, 21) / 10.0);
            QByteArray r = QByteArray::number(weight[i], 'f', 1).rightJustified(7, ' ');
            if (responder->scale(i).addr == hit_addr) r.insert(3, hit_byte);
            responder->scale(i).reading = r;
        }
    });
    drift.start(500);
    // A streaming scale: its reading reply, unasked, on every tick.
    QTimer stream;
    QObject::connect(&stream, &QTimer::timeout,
                     [&] { responder->send_raw(responder->reading_reply(responder->scale(0))); });
    if (p.value("stream").toDouble() > 0) stream.start(static_cast<int>(p.value("stream").toDouble() * 1000));
    return app.exec();
}
