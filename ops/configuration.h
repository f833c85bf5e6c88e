#pragma once
// A device's configuration as a record: each universal setting this program
// reads, as the device sent it (its bytes) and as text with its unit, or the
// response code the device refused the read with (never a guess). Saved as a
// JSON file (see README, "Configuration files"), compared with the device
// setting by setting (in the bytes as sent, so floats compare exactly), and
// restored with the described write requests.
//
// One table says, for every setting, which command reads it, where its bytes
// stand in the reply, how they read, and which command writes it; everything
// else follows from the table. No Qt widgets: the window's "Configuration"
// page and rx460k-cli share it.

#include "hart/frame.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

namespace ops::config {

inline constexpr std::string_view kFormat = "rx460k-configuration";
inline constexpr int kVersion = 1;

// How a setting's bytes read.
enum class Kind {
    Packed,   // packed ASCII: 3 bytes for 4 characters
    Latin1,   // ISO Latin-1 text, NUL padded (the long tag)
    Date,     // day, month, year - 1900
    Uint24,   // 0..16777215
    Byte,     // a number
    Unit,     // an engineering-unit code
    Float,    // IEEE 754 single, with the unit of `unitAt` (or seconds)
    Variable, // a device-variable code (mapping)
    Bytes,    // shown as hexadecimal
};

struct SettingRow {
    std::string_view key;  // in the file
    std::string_view name; // for people
    std::uint8_t read;     // the command whose reply holds it
    int offset;            // in that reply's data (after the status bytes)
    int length;
    Kind kind;
    // Float: the data byte of the same reply that holds its unit code;
    // kSeconds for a time; kNoUnit for none.
    int unitAt = kNoUnit;
    // The command that writes it; none: the setting is only read.
    std::optional<std::uint8_t> write = std::nullopt;
    static constexpr int kNoUnit = -1;
    static constexpr int kSeconds = -2;
};

// Every setting, in the order files and reports list them.
std::span<const SettingRow> settingRows();
const SettingRow* findRow(std::string_view key);
// The commands a reading sends, command 0 first.
std::vector<std::uint8_t> readCommands();

// What the device answered one read command: its data, or why not.
struct CommandReply {
    std::uint8_t command = 0;
    bool replied = false;
    std::uint8_t responseCode = 0;
    std::vector<std::uint8_t> data; // after the status bytes
    QString failure;                // no reply, damaged reply
};

struct Setting {
    QString key;
    std::optional<std::vector<std::uint8_t>> bytes; // as the device sent them
    QString text;                                   // with its unit
    std::optional<std::uint8_t> refused;            // the response code of a refused read
    QString failure;                                // no reply, reply too short
};

struct Configuration {
    QString time; // ISO 8601, UTC, with milliseconds
    QString tool; // "rx460k 0.2.0"
    std::vector<std::uint8_t> identity; // command-0 reply data
    hart::UniqueAddress longAddress{};
    std::uint8_t pollAddress = 0;
    std::vector<Setting> settings;

    const Setting* find(std::string_view key) const;
};

// The settings as the replies give them. `identity` is command 0's data.
Configuration fromReplies(const std::vector<CommandReply>& replies, std::uint8_t pollAddress,
                          const QString& tool);

// ---- Files
QJsonObject toJson(const Configuration& configuration);
QByteArray toFile(const Configuration& configuration);
// A file of another format or version, or one that is damaged, is refused
// with the reason for the user.
std::variant<Configuration, QString> fromFile(const QByteArray& bytes);

// "26 05 01 02 03"
QString longAddressText(const hart::UniqueAddress& address);
// The identity as people read it: manufacturer, device type, device ID.
QString identityText(const Configuration& configuration);

// ---- Compare
struct Difference {
    QString key;
    QString name;
    QString fileText;
    QString deviceText;
    bool differs = false;
    bool writable = false;
};
// Every setting of the table: its text in the file and on the device, and
// whether they differ (in their bytes, or one refused and the other not).
std::vector<Difference> compare(const Configuration& file, const Configuration& device);
// Whether the file was saved from another device than `device`: another
// long address or device type.
bool fromAnotherDevice(const Configuration& file, const Configuration& device);

// ---- Restore
struct Write {
    std::uint8_t command = 0;
    std::vector<std::uint8_t> data;
    QStringList keys; // the settings it carries
};
// The writes that put back what differs, each with the file's bytes of every
// setting it carries, in an order that keeps the device reachable (the
// polling address last). Settings the device refused to read, or that no
// described request writes, are left out.
std::vector<Write> restorePlan(const Configuration& file, const Configuration& device);

} // namespace ops::config
