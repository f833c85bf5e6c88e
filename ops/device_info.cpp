// "Instrument information" page: the owner's data an instrument keeps (message,
// tag, descriptor, date, final assembly number), the device ID (the
// device-ID query and the serial-number write), the polling address, and the
// two non-volatile memory operations.
//
// One grid: column 0 the row label, 1 the field(s), 2 "Query", 3 "SET", 4 the
// hint.
#include "ops/ops.h"

#include "hart/encodings.h"
#include "host/bind.h"
#include "host/device.h"
#include "host/widgets.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

namespace ops {

namespace {

constexpr int kDeviceIdPreambles = 8;
constexpr int kMessageChars = 32;
constexpr int kTagChars = 8;
constexpr int kDescriptorChars = 16;

// Reply data of the three queries.
constexpr int kMessage = 0;     // command 12: 24 bytes of PackedAscii
constexpr int kTag = 0;         // command 13: 6 bytes of PackedAscii
constexpr int kDescriptor = 6;  // command 13: 12 bytes of PackedAscii
constexpr int kDate = 18;       // command 13: day, month, year - 1900
constexpr int kAssembly = 0;    // command 16: Uint24

// The page's fields, as the rows see them.
struct Controls {
    QLineEdit* message;    // Edit21
    QLineEdit* tag;        // Edit22
    QLineEdit* descriptor; // Edit23
    QLineEdit* year;       // Edit24
    QLineEdit* month;      // Edit25
    QLineEdit* day;        // Edit29
    QLineEdit* serial;     // Edit28
    QLineEdit* assembly;   // Edit26
    QComboBox* pollList;   // ComboBox3
    host::Device* device;
};

// ---- Request data. Encoders throw ConversionError on a text they cannot
// carry; that ends the request before anything is sent.

void messageData(const Controls& c, host::Payload& p) {
    p.packedAscii(c.message, kMessageChars);
}

void tagDescriptorDateData(const Controls& c, host::Payload& p) {
    p.packedAscii(c.tag, kTagChars);
    p.packedAscii(c.descriptor, kDescriptorChars);
    p.bytes(hart::hartDateFromText(c.day->text().toStdString(), c.month->text().toStdString(),
                                   c.year->text().toStdString()));
}

void assemblyData(const Controls& c, host::Payload& p) {
    p.uint24(c.assembly);
}
void serialData(const Controls& c, host::Payload& p) {
    p.uint24(c.serial);
}

void pollAddressData(const Controls& c, host::Payload& p) {
    // The position of the item the list's text names. An address outside
    // 0..15 would only make the instrument unreachable by short frames, so
    // without a choice nothing goes out.
    const int address = c.pollList->findText(c.pollList->currentText(), Qt::MatchExactly);
    if (address < 0)
        host::Payload::refuse(QStringLiteral("no polling address chosen; choose 0 to 15 first"));
    p.byte(static_cast<std::uint8_t>(address));
}

// The device-ID query asks command 0 at the address chosen in "Address No:".
void askQueryAddress(const Controls& c, host::Payload& p) {
    p.pollAddress(static_cast<std::uint8_t>(c.device->queryAddress()));
}

// Command 39: 0 writes the working data to non-volatile memory, 1 restores it.
void backupData(const Controls&, host::Payload& p) {
    p.byte(0x00);
}
void restoreData(const Controls&, host::Payload& p) {
    p.byte(0x01);
}

// ---- What a SET sends that a query reads: a field left empty by the
// opening of the port or a change of device is not the device's setting.

void keepMessage(const Controls& c, host::Keep& k) {
    k.field(c.message, 112);
    k.orRefuse(QStringLiteral("Nothing sent: SET writes the message. Press Query first, so that "
                              "the message the device holds is kept."));
}

void keepTagDescriptor(const Controls& c, host::Keep& k) {
    k.field(c.tag, 113);
    k.field(c.descriptor, 113);
    k.orRefuse(host::keepRefusal(QStringLiteral("the tag, descriptor and date"),
                                 QStringLiteral("tag and descriptor")));
}

// ---- Fields a query empties before it is sent.

void clearMessage(const Controls& c) {
    c.message->clear();
}
void clearTagDescriptorDate(const Controls& c) {
    for (QLineEdit* e : {c.tag, c.descriptor, c.year, c.month, c.day})
        e->clear();
}
void clearAssembly(const Controls& c) {
    c.assembly->clear();
}
void clearSerial(const Controls& c) {
    c.serial->clear();
}

constexpr host::RequestRow<Controls> kRequests[] = {
    {"Button28", 112, host::longFrame(12), nullptr, clearMessage},
    {.button = "Button29",
     .replyCode = 117,
     .frame = host::longFrame(17),
     .data = messageData,
     .keep = keepMessage},
    {"Button32", 113, host::longFrame(13), nullptr, clearTagDescriptorDate},
    {.button = "Button33",
     .replyCode = 118,
     .frame = host::longFrame(18),
     .data = tagDescriptorDateData,
     .keep = keepTagDescriptor},
    {"Button7", host::kDeviceIdReply, host::shortFrame(kDeviceIdPreambles), askQueryAddress,
     clearSerial},
    {"Button38", 116, host::longFrame(16), nullptr, clearAssembly},
    {"Button39", 119, host::longFrame(19), assemblyData},
    {"Button37", 149, host::longFrame(19), serialData}, // the same write, from the serial field
    {"Button27", 106, host::longFrame(6), pollAddressData},
    // Backup and restore always speak as the primary master.
    {.button = "Button21",
     .replyCode = 139,
     .frame = host::longFrame(39),
     .data = backupData,
     .master = host::Master::Primary},
    {.button = "Button22",
     .replyCode = 39,
     .frame = host::longFrame(39),
     .data = restoreData,
     .master = host::Master::Primary},
};

// ---- Replies of the three queries: the fields are filled from the bytes
// at their offsets, whatever the response code says.

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

void showMessage(const Controls& c, const host::Reply& r) {
    c.message->setText(text(hart::packedAsciiToText(r.at(kMessage, 24), kMessageChars)));
}

void showTagDescriptorDate(const Controls& c, const host::Reply& r) {
    c.tag->setText(text(hart::packedAsciiToText(r.at(kTag, 6), kTagChars)));
    c.descriptor->setText(text(hart::packedAsciiToText(r.at(kDescriptor, 12), kDescriptorChars)));
    const hart::DateText date = hart::hartDateToText(r.at(kDate, 3));
    c.day->setText(text(date.day));
    c.month->setText(text(date.month));
    c.year->setText(text(date.year));
}

void showAssembly(const Controls& c, const host::Reply& r) {
    c.assembly->setText(text(hart::uint24ToText(r.at(kAssembly, 3))));
}

// The device-ID query refreshes the device ID alone; manufacturer and device
// type stay as they were.
void showDeviceId(const Controls& c, const host::Reply& r) {
    c.device->refreshDeviceId(
        std::span(r.at(0, r.dataBytes()), static_cast<std::size_t>(r.dataBytes())));
    c.serial->setText(QString::number(c.device->deviceId()));
}

void deviceIdMissing(const Controls& c) {
    c.serial->clear();
    c.device->setQueryAddress(0);
}

constexpr host::ReaderRow<Controls> kReaders[] = {
    {112, 24, showMessage},
    {113, 21, showTagDescriptorDate},
    {.replyCode = 116, .reads = 3, .fill = showAssembly, .failed = clearAssembly},
    {.replyCode = host::kDeviceIdReply,
     .reads = 12,
     .fill = showDeviceId,
     .scan = hart::kShortStandardScan,
     .failureText = host::status::kUploadFailure,
     .failed = deviceIdMissing},
};

// A row: label, field (or fields), query, SET, hint.
void addRow(host::PageHost& host, int row, const QString& label, QWidget* field, QWidget* query,
            QWidget* set, const QString& hint = {}) {
    constexpr host::Page kPage = host::Page::DeviceInformation;
    if (!label.isEmpty()) host.place(kPage, host::makeLabel(label), row, 0);
    if (field) host.place(kPage, field, row, 1);
    if (query) host.place(kPage, query, row, 2);
    if (set) host.place(kPage, set, row, 3);
    if (!hint.isEmpty()) host.place(kPage, host::makeLabel(hint), row, 4);
}

} // namespace

void buildDeviceInfo(host::PageHost& host) {
    host::Buttons buttons;
    auto query = [&buttons](const char* name) {
        return buttons.make(name, QStringLiteral("Query"));
    };
    auto set = [&buttons](const char* name) { return buttons.make(name, QStringLiteral("SET")); };

    Controls c{};
    c.device = &host.device();
    c.message = host::makeEdit("Edit21");
    c.tag = host::makeEdit("Edit22");
    c.descriptor = host::makeEdit("Edit23");
    c.year = host::makeEdit("Edit24");
    c.month = host::makeEdit("Edit25");
    c.day = host::makeEdit("Edit29");
    c.assembly = host::makeEdit("Edit26");
    c.serial = host::makeEdit("Edit28");

    c.pollList = host::makeCombo("ComboBox3", host::pollAddressTexts());
    c.pollList->setMaximumWidth(90);

    // Year, month and day side by side in the field column.
    auto* date = new QWidget;
    auto* dateRow = new QHBoxLayout(date);
    dateRow->setContentsMargins(0, 0, 0, 0);
    const std::pair<QLineEdit*, const char*> dateParts[] = {
        {c.year, "Y"}, {c.month, "M"}, {c.day, "D"}};
    for (const auto& [edit, unit] : dateParts) {
        edit->setMaximumWidth(edit == c.year ? 60 : 40);
        dateRow->addWidget(edit);
        dateRow->addWidget(host::makeLabel(QString::fromLatin1(unit)));
    }
    dateRow->addStretch(1);

    auto* assemblySet = set("Button39");
    auto* serialSet = set("Button37");
    addRow(host, 0, QStringLiteral("Equipment information:"), c.message, query("Button28"),
           set("Button29"), QStringLiteral("MAX 32 characters"));
    addRow(host, 1, QStringLiteral("Markers:"), c.tag, nullptr, nullptr,
           QStringLiteral("MAX 8 characters"));
    addRow(host, 2, QStringLiteral("Descriptor:"), c.descriptor, nullptr, nullptr,
           QStringLiteral("MAX 16 characters"));
    addRow(host, 3, QStringLiteral("Manufacture Date:"), date, query("Button32"), set("Button33"));
    addRow(host, 4, QStringLiteral("Sensor serial number:"), c.serial, query("Button7"),
           serialSet);
    addRow(host, 5, QStringLiteral("Assembly number:"), c.assembly, query("Button38"),
           assemblySet);
    addRow(host, 6, QStringLiteral("Address modification:"), c.pollList, nullptr,
           set("Button27"));

    auto* memory = new QWidget;
    auto* memoryRow = new QHBoxLayout(memory);
    memoryRow->setContentsMargins(0, 8, 0, 0);
    memoryRow->addWidget(buttons.make("Button21", QStringLiteral("Backup sensor data")));
    memoryRow->addWidget(buttons.make("Button22", QStringLiteral("Restore factory settings")));
    memoryRow->addStretch(1);
    host.place(host::Page::DeviceInformation, memory, 7, 0, 1, 4);

    host::installKeyFilter(c.year, hart::kYearFilter);
    host::installKeyFilter(c.month, hart::kDayMonthFilter);
    host::installKeyFilter(c.day, hart::kDayMonthFilter);
    host::installKeyFilter(c.assembly, hart::kSixDigitFilter, assemblySet);
    host::installKeyFilter(c.serial, hart::kSixDigitFilter, serialSet);

    for (QWidget* field : std::initializer_list<QWidget*>{
             c.message, c.tag, c.descriptor, c.year, c.month, c.day, c.assembly, c.serial,
             c.pollList})
        host.resetWithPort(field, host::PortReset::Clear);

    host::bindRequests<Controls>(host, buttons, c, kRequests);
    host::bindReaders<Controls>(host, c, kReaders);

    // A device made current (discovery, or chosen on the "Network" page)
    // shows its device ID here and its polling address in the address list.
    QObject::connect(c.device, &host::Device::identityChanged, c.serial, [c] {
        c.serial->setText(QString::number(c.device->deviceId()));
        host::selectIndex(c.pollList, c.device->pollAddress());
    });
}

} // namespace ops
