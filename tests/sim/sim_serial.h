#pragma once
// Simulated serial devices for the serial control: each device path has a scale responder on its
// far end. An open port dies on request in each way a real one does: a read fails, a write
// fails, the line is closed at the other end, or the device is removed.
#include "platform/serial/serial_port.h"
#include "tests/sim/scale_responder.h"

#include <QList>
#include <QString>
#include <memory>

namespace sim {

struct SimSerialDevice {
    QString path;
    std::shared_ptr<Responder> responder;
    bool attached = true; // false: unplugged (gone while open, absent at its path)
    bool fail_writes = false;
    int opens = 0;         // successful opens so far
    bool open_now = false; // a port is open on it
    QByteArray written;    // every byte written while open
    class SimPort* port = nullptr;
};

class SimSerial : public serial::Backend {
public:
    enum class Death { read_error, write_error, closed_far_end, removed };

    SimSerial() = default;
    ~SimSerial() override;

    // Installs this backend into the serial layer (and takes it out on destruction).
    void install();
    void uninstall();

    SimSerialDevice& add(const QString& path, std::shared_ptr<Responder> responder);
    SimSerialDevice& device(int index) { return *devices_[index]; }

    // The open port of device `index` dies: a read error, the closed line and the removal are
    // noticed at once (from the event loop, as a read notifier would), a write error at the
    // next write.
    void kill(int index, Death how);

    QString locate(const QString& path) override;
    std::unique_ptr<serial::Port> open(const QString& canonical, const QString& shown,
                                       const serial::LineSettings& line, QString* why) override;

private:
    QList<std::shared_ptr<SimSerialDevice>> devices_;
    bool installed_ = false;
};

} // namespace sim
