#pragma once
// Simulated FTDI devices for the ftdi layer: each device has a serial number, a description and
// a scale responder on its far end (one responder may stand behind several devices, or a whole
// network behind the one adapter). Switches make a device refuse to open, refuse one of the
// setting calls, disappear while open, or make the library lack FT_SetResetPipeRetryCount.
#include "platform/ftdi/ftdi.h"
#include "tests/sim/scale_responder.h"

#include <QByteArray>
#include <QList>
#include <memory>

namespace sim {

struct SimFtdiDevice {
    QByteArray serial;
    QByteArray description;
    QString location; // the device path it reports, empty for none
    std::shared_ptr<Responder> responder;

    // Switches.
    bool fail_open = false;
    bool fail_query = false; // serial number / description queries fail
    bool fail_baud = false;
    bool fail_data = false;
    bool fail_flow = false;
    bool fail_timeouts = false;
    bool fail_retry = false;
    bool attached = true; // false: unplugged (gone while open, absent from the list)
    bool gone = false;    // still listed, but reads and queue queries fail (a device that died)

    // What the device saw.
    int open_count = 0;       // handles open now
    int opens = 0;            // successful opens so far
    QList<QByteArray> writes; // every FT_Write, as written
    QList<uint32_t> purges;
    uint32_t baud = 0;
    QList<uint8_t> data_characteristics;
    uint32_t read_timeout = 0;
    int retry_count = -1;
};

class SimFtdi : public ftdi::Backend {
public:
    SimFtdi();
    ~SimFtdi() override;

    // Installs this backend into the ftdi layer (and takes it out on destruction).
    void install();
    void uninstall();

    SimFtdiDevice& add(const QByteArray& serial, const QByteArray& description,
                       std::shared_ptr<Responder> responder);
    SimFtdiDevice& device(int index) { return *devices_[index]; }
    int size() const { return static_cast<int>(devices_.size()); }

    bool no_retry_function = false; // the library lacks FT_SetResetPipeRetryCount

    int device_count() override;
    bool serial_number(int index, QByteArray* out) override;
    bool description(int index, QByteArray* out) override;
    std::unique_ptr<ftdi::Device> open(int index, ftdi::FT_STATUS* status) override;
    bool has_reset_pipe_retry_count() override { return !no_retry_function; }

private:
    std::shared_ptr<SimFtdiDevice> attached(int index);
    QList<std::shared_ptr<SimFtdiDevice>> devices_;
    bool installed_ = false;
};

} // namespace sim
