// Finding the instrument: command 0 to one polling address, or to 0..15 in
// turn, and the device-ID query. The first good reply fills the identity
// cache (DeviceAddress) that addresses every later long frame; the cache
// survives closing and reopening the port.
#include "ops/ops.h"

#include "hart/encodings.h"
#include "hart/link_buffer.h"
#include "host/bind.h"
#include "host/widgets.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <stdexcept>

namespace ops {

namespace {

constexpr int kDiscoveryPreambles = 6;
constexpr int kDeviceIdPreambles = 8;
constexpr int kCycleAddresses = 16; // the cycle asks 0..15

// Command 0 reply data.
namespace identity {
constexpr int kManufacturer = 1; // after the 254 expansion code
constexpr int kDeviceType = 2;
constexpr int kPreambles = 3; // the preambles the instrument asks for
constexpr int kDeviceId = 9;  // three bytes, most significant first
} // namespace identity

struct Controls {
    QComboBox* address;      // ComboBox9, "Address No:"
    QLineEdit* manufacturer; // Edit1
    QLineEdit* deviceType;   // Edit2
    QLineEdit* preambles;    // Edit3
    QLineEdit* deviceId;     // Edit4
    QLabel* step;            // Label33, the address the cycle asks
    QTimer* cycle;           // Timer1
    DeviceInfoShared info;   // Edit28, ComboBox3
};

std::uint8_t chosenAddress(const Controls& c) {
    return static_cast<std::uint8_t>(std::max(0, c.address->currentIndex()));
}

void askChosen(const Controls& c, host::Payload& p) {
    p.pollAddress(chosenAddress(c));
}

void askFirst(const Controls&, host::Payload& p) {
    p.pollAddress(0);
}

void clearSerial(const Controls& c) {
    c.info.serial->clear();
}

void cycleStarted(const Controls& c) {
    c.step->setText(QStringLiteral("#0"));
    host::startIfIdle(c.cycle);
}

// The cycle speaks as a poll: no reply timeout, and a missing reply shows
// nothing. Its first request leaves the receive view as it is.
constexpr host::Awaiting kCyclePoll{host::TimeoutClass::Poll, false, true};

constexpr host::RequestRow<Controls> kRequests[] = {
    {"Button3", host::kDiscoveryReply, host::shortFrame(kDiscoveryPreambles), askChosen},
    {.button = "Button16",
     .replyCode = host::kDiscoveryReply,
     .frame = host::shortFrame(kDiscoveryPreambles),
     .data = askFirst,
     .awaiting = kCyclePoll,
     .sent = cycleStarted},
    {"Button7", host::kDeviceIdReply, host::shortFrame(kDeviceIdPreambles), askChosen,
     clearSerial},
};

// Each later step of the cycle: the next address, always as the primary
// master. The counter is the polling-address byte of the work area.
constexpr host::RequestSpec kCycleStep{host::kDiscoveryReply,
                                       host::shortFrame(kDiscoveryPreambles), host::Echo::Show,
                                       host::Master::Primary,
                                       {host::TimeoutClass::Poll, false, false}};

QString deviceIdText(const hart::LinkBuffer& b) {
    return QString::fromStdString(hart::uint24ToText(b.data() + hart::lb::kDeviceId));
}

void keepDeviceId(const host::Reply& r) {
    for (int i = 0; i < 3; ++i)
        r.buffer()[hart::lb::kDeviceId + i] = r.byte(identity::kDeviceId + i);
}

// The identity cache and fields from command-0 reply data, `at(j)` being data
// byte j. The polling address is the one asked (byte 315), not the one the
// reply echoes. The network scan makes a device current through this too.
template <class DataByte> void adoptIdentity(const Controls& c, hart::LinkBuffer& b, DataByte at) {
    namespace lb = hart::lb;
    b[lb::kManufacturer] = at(identity::kManufacturer);
    c.manufacturer->setText(QString::number(b[lb::kManufacturer]));
    b[lb::kDeviceType] = at(identity::kDeviceType);
    c.deviceType->setText(QString::number(b[lb::kDeviceType]));
    b[lb::kPreambles] = at(identity::kPreambles);
    c.preambles->setText(QString::number(b[lb::kPreambles]));
    host::selectIndex(c.address, b[lb::kPollAddress]);
    host::selectIndex(c.info.pollList, b[lb::kPollAddress]);
    for (int i = 0; i < 3; ++i)
        b[lb::kDeviceId + i] = at(identity::kDeviceId + i);
    c.deviceId->setText(deviceIdText(b));
    c.info.serial->setText(deviceIdText(b));
    c.cycle->stop();
}

void showIdentity(const Controls& c, const host::Reply& r) {
    adoptIdentity(c, r.buffer(), [&r](int j) { return r.byte(j); });
}

void identityMissing(const Controls& c) {
    for (auto* e : {c.manufacturer, c.deviceType, c.preambles, c.deviceId})
        e->clear();
    host::selectIndex(c.address, 0);
}

void showDeviceId(const Controls& c, const host::Reply& r) {
    keepDeviceId(r);
    c.info.serial->setText(deviceIdText(r.buffer()));
}

void deviceIdMissing(const Controls& c) {
    c.info.serial->clear();
    host::selectIndex(c.address, 0);
}

constexpr host::ReaderRow<Controls> kReaders[] = {
    {.replyCode = host::kDiscoveryReply,
     .reads = 12,
     .fill = showIdentity,
     .scan = hart::kDiscoveryScan,
     .failed = identityMissing},
    {.replyCode = host::kDeviceIdReply,
     .reads = 12,
     .fill = showDeviceId,
     .scan = hart::kShortStandardScan,
     .failureText = host::status::kUploadFailure,
     .failed = deviceIdMissing},
};

// One firing of Timer1.
void cycleStep(host::RequestCycle& cycle, const Controls& c) {
    auto& b = cycle.buffer();
    const int next = b[hart::lb::kPollAddress] + 1;
    b[hart::lb::kPollAddress] = static_cast<std::uint8_t>(next);
    if (next >= kCycleAddresses) {
        cycle.setStatus(QString());
        cycle.setStatus(QString::fromLatin1(host::status::kNoSensor));
        c.cycle->stop();
        return;
    }
    cycle.send(kCycleStep, nullptr,
               [next](host::Payload& p) { p.pollAddress(static_cast<std::uint8_t>(next)); });
    c.step->setText(QStringLiteral("#%1").arg(next));
}

} // namespace

MakeCurrent buildDiscovery(host::PageHost& host, const DeviceInfoShared& info) {
    host::Buttons buttons;
    Controls c{};
    c.info = info;
    c.cycle = host.discoveryTimer();

    host::FormGroup group("GroupBox1", QStringLiteral("HART Device Info"));
    c.address = host::makeCombo("ComboBox9", host::pollAddressTexts());
    c.address->setEditable(false);
    c.address->setCurrentIndex(0);
    auto* master = host::makeCombo(
        "ComboBox8", {QStringLiteral("First Device"), QStringLiteral("Second Device")});
    // Reads "First Device" with no item chosen: until the user picks one the
    // frames carry the secondary-master bit.
    master->setEditText(QStringLiteral("First Device"));
    host.cycle().setMasterSelector(master);
    c.manufacturer = host::makeEdit("Edit1");
    c.deviceType = host::makeEdit("Edit2");
    c.preambles = host::makeEdit("Edit3");
    c.deviceId = host::makeEdit("Edit4");
    c.step = host::makeLabel(QString(), "Label33");
    c.step->setMinimumWidth(40);

    group.addRow(QStringLiteral("Address No:"), {c.address, master});
    group.addRow(QStringLiteral("Manufacturing ID:"), {c.manufacturer});
    group.addRow(QStringLiteral("Sensor Type:"), {c.deviceType});
    group.addRow(QStringLiteral("Preamble Length:"), {c.preambles});
    group.addRow(QStringLiteral("Sensor Serial Number:"), {c.deviceId});
    group.addRow(QString(), {buttons.make("Button3", QStringLiteral("HART Address 0 Query")),
                             buttons.make("Button16", QStringLiteral("HART 0-15 Cycle_Query")),
                             c.step});
    host.place(host::Page::OnlineTest, group.box(), 0, 0);
    // The device-ID query stands beside the serial number on "Instrument information".
    host.place(host::Page::DeviceInformation, buttons.make("Button7", QStringLiteral("Query")), 4,
               2);

    host.resetWithPort(c.address, host::PortReset::FirstItem);
    for (QWidget* field : std::initializer_list<QWidget*>{c.manufacturer, c.deviceType,
                                                          c.preambles, c.deviceId, c.step})
        host.resetWithPort(field, host::PortReset::Clear);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
    host::bindReaders<Controls>(host, c, kReaders);

    QObject::connect(c.cycle, &QTimer::timeout, c.cycle, [&host, c] {
        host.guarded([&] { cycleStep(host.cycle(), c); });
    });

    return [&host, c](std::span<const std::uint8_t> data, std::uint8_t pollAddress) {
        if (data.size() < static_cast<std::size_t>(identity::kDeviceId) + 3)
            throw std::logic_error("a command-0 reply too short to make a device current");
        auto& b = host.cycle().buffer();
        b[hart::lb::kPollAddress] = pollAddress;
        adoptIdentity(c, b, [data](int j) { return data[static_cast<std::size_t>(j)]; });
    };
}

} // namespace ops
