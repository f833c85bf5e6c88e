#include "cli/cli.h"

#include "hart/common_tables.h"
#include "hart/device_identity.h"
#include "hart/encodings.h"
#include "hart/names.h"
#include "hart/protocol.h"
#include "hartip/address.h"
#include "hartip/credentials.h"
#include "hartip/hartip_link.h"
#include "host/device.h"
#include "host/reply_codes.h"
#include "host/request_cycle.h"
#include "link/links.h"
#include "link/serial_link.h"
#include "ops/configuration.h"
#include "ops/configuration_session.h"
#include "ops/scan_driver.h"
#include "serial/tcomm.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>

#include <memory>
#include <optional>
#include <stdexcept>

namespace cli {

namespace {

const QString kProgram = QStringLiteral("rx460k-cli");

struct Options {
    QString port;
    std::optional<int> address;
    std::optional<hart::UniqueAddress> longAddress;
    QString command;
    QStringList arguments;
    double interval = 1.0;
    std::optional<int> count;
    QString pskIdentity;
    QString pskKeyFile;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

QString hexText(std::span<const std::uint8_t> bytes) {
    return QString::fromStdString(hart::hexBytes(bytes));
}

std::optional<hart::UniqueAddress> longAddressFrom(QString text) {
    text.remove(u' ').remove(u':');
    if (text.size() != 10) return std::nullopt;
    hart::UniqueAddress a{};
    for (int i = 0; i < 5; ++i) {
        bool ok = false;
        a[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(text.mid(i * 2, 2).toUInt(&ok, 16));
        if (!ok) return std::nullopt;
    }
    a[0] &= hart::kAddressMask;
    return a;
}

Options parse(const QStringList& arguments, std::FILE* out) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads HART field instruments from scripts, with rx460k's own HART.\n"
                       "Commands: identify | scan [0-15|0-63] | read pv|dynamic|config |\n"
                       "          save FILE | compare FILE | monitor"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("The line: COM1 ... COM9, a device path, "
                                                 "hartip://HOST[:PORT], hartip+udp://..., "
                                                 "hartips://..., hartips+udp://..., \"simulated\" "
                                                 "or \"simulated-network\"."),
                                  QStringLiteral("PORT"));
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("The device at polling address N (0 when "
                                                    "neither this nor --long-address is given)."),
                                     QStringLiteral("N"));
    const QCommandLineOption longAddress(
        QStringLiteral("long-address"),
        QStringLiteral("The device with this long address (10 hexadecimal digits)."),
        QStringLiteral("HEX"));
    const QCommandLineOption interval(QStringLiteral("interval"),
                                      QStringLiteral("monitor: seconds between samples (1)."),
                                      QStringLiteral("S"));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("monitor: samples to take (until stopped)."),
                                   QStringLiteral("N"));
    const QCommandLineOption pskIdentity(QStringLiteral("psk-identity"),
                                         QStringLiteral("hartips: the client identity "
                                                        "(HART-IPClient)."),
                                         QStringLiteral("ID"));
    const QCommandLineOption pskKeyFile(
        QStringLiteral("psk-key-file"),
        QStringLiteral("hartips: a file holding the pre-shared key as hexadecimal text."),
        QStringLiteral("FILE"));
    for (const auto* o : {&help, &port, &address, &longAddress, &interval, &count, &pskIdentity,
                          &pskKeyFile})
        parser.addOption(*o);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("What to do."));
    if (!parser.parse(arguments)) throw UsageError(parser.errorText().toStdString());
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), out);
        return {};
    }

    Options o;
    o.port = parser.value(port).trimmed();
    if (o.port.isEmpty()) throw UsageError("--port is needed");
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) throw UsageError("a command is needed");
    o.command = positional.first();
    o.arguments = positional.mid(1);
    if (parser.isSet(address)) {
        bool ok = false;
        const int n = parser.value(address).toInt(&ok);
        if (!ok || n < 0 || n > hart::kHighestPollAddress)
            throw UsageError("--address must be 0 to 63");
        o.address = n;
    }
    if (parser.isSet(longAddress)) {
        o.longAddress = longAddressFrom(parser.value(longAddress));
        if (!o.longAddress) throw UsageError("--long-address must be 10 hexadecimal digits");
        if (o.address) throw UsageError("give --address or --long-address, not both");
    }
    if (parser.isSet(interval)) {
        bool ok = false;
        o.interval = parser.value(interval).toDouble(&ok);
        if (!ok || o.interval < 0.1 || o.interval > 3600)
            throw UsageError("--interval must be 0.1 to 3600 seconds");
    }
    if (parser.isSet(count)) {
        bool ok = false;
        o.count = parser.value(count).toInt(&ok);
        if (!ok || *o.count < 1) throw UsageError("--count must be 1 or more");
    }
    o.pskIdentity = parser.value(pskIdentity);
    o.pskKeyFile = parser.value(pskKeyFile);

    const auto argumentsAre = [&](qsizetype n) {
        if (o.arguments.size() != n)
            throw UsageError(QStringLiteral("%1 takes %2 argument%3")
                                 .arg(o.command)
                                 .arg(n)
                                 .arg(n == 1 ? "" : "s")
                                 .toStdString());
    };
    if (o.command == QLatin1String("identify") || o.command == QLatin1String("monitor")) {
        argumentsAre(0);
    } else if (o.command == QLatin1String("scan")) {
        if (o.arguments.size() > 1 ||
            (o.arguments.size() == 1 && o.arguments[0] != QLatin1String("0-15") &&
             o.arguments[0] != QLatin1String("0-63")))
            throw UsageError("scan takes 0-15 or 0-63");
    } else if (o.command == QLatin1String("read")) {
        argumentsAre(1);
        if (!QStringList{"pv", "dynamic", "config"}.contains(o.arguments[0]))
            throw UsageError("read takes pv, dynamic or config");
    } else if (o.command == QLatin1String("save") || o.command == QLatin1String("compare")) {
        argumentsAre(1);
    } else {
        throw UsageError(QStringLiteral("unknown command '%1'").arg(o.command).toStdString());
    }
    return o;
}

QJsonObject identityJson(std::span<const std::uint8_t> data, int pollAddress) {
    QJsonObject o;
    o[QStringLiteral("pollingAddress")] = pollAddress;
    const auto id = hart::identityOf(data);
    if (!id) return o;
    hart::UniqueAddress a = id->uniqueAddress;
    a[0] &= hart::kAddressMask;
    o[QStringLiteral("longAddress")] = hexText(a);
    if (id->manufacturer) {
        o[QStringLiteral("manufacturer")] = *id->manufacturer;
        o[QStringLiteral("manufacturerName")] =
            QString::fromStdString(hart::manufacturerText(*id->manufacturer));
    }
    o[QStringLiteral("deviceType")] = id->deviceType;
    o[QStringLiteral("deviceId")] = static_cast<qint64>(id->deviceId);
    o[QStringLiteral("universalRevision")] = id->universalRevision;
    o[QStringLiteral("deviceRevision")] = id->deviceRevision;
    o[QStringLiteral("preambles")] = id->preambles;
    return o;
}

QJsonObject valueJson(std::span<const std::uint8_t> unitAndValue) {
    const std::uint8_t unit = unitAndValue[0];
    return {{QStringLiteral("value"), hart::wireFloatToValue(unitAndValue.data() + 1)},
            {QStringLiteral("unit"), unit},
            {QStringLiteral("unitText"), QString::fromStdString(hart::unitText(unit))}};
}

// Errors carry no data; warnings (8, 14, ...) and success do.
bool refused(const host::Answer& a) {
    const std::uint8_t rc = a.responseCode;
    return (rc >= 1 && rc <= 7) || rc == 9 || rc == 10 || rc == 11 || rc == 12 || rc == 13 ||
           rc == 15 || rc == 16 || rc == 32 || rc == 64 || (rc & hart::kCommunicationError);
}

class Tool : public QObject {
public:
    Tool(const Options& o, std::FILE* out, std::FILE* err)
        : o_(o), out_(out), err_(err), links_(comm_) {
        line::setUpForHart(comm_);
        for (QTimer* t : {&decode_, &timeout_})
            t->setTimerType(Qt::PreciseTimer);
        decode_.setInterval(100);
        timeout_.setInterval(3000);
        cycle_ = std::make_unique<host::RequestCycle>(
            links_.serial(),
            host::CycleViews{nullptr, nullptr, nullptr, nullptr, nullptr, &decode_, &timeout_});
        connect(cycle_.get(), &host::RequestCycle::lineLost, this,
                [this](const QString& why) { fail(kNoDevice, why); });
        scan_ = std::make_unique<ops::ScanDriver>(*cycle_);
        session_ = std::make_unique<ops::config::Session>(*cycle_,
                                                          QStringLiteral("rx460k " PROJECT_VERSION));
    }

    int exec() {
        if (!open()) return code_;
        QTimer::singleShot(0, this, [this] { start(); });
        loop_.exec();
        cycle_->link().close();
        return code_;
    }

private:
    bool open() {
        QString text = o_.port;
        if (text == QLatin1String("simulated")) text = line::Links::simulatedTransmitterName();
        if (text == QLatin1String("simulated-network")) text = line::Links::simulatedNetworkName();
        line::Link* link = nullptr;
        try {
            link = &links_.linkFor(text);
        } catch (const hartip::HartIpError& e) {
            return failNow(kUsage, QString::fromUtf8(e.what())); // a malformed address
        }
        try {
            if (link == &links_.hartIp()) {
                std::optional<hartip::Credentials> credentials;
                if (!o_.pskKeyFile.isEmpty())
                    credentials = hartip::credentialsFromFile(o_.pskIdentity, o_.pskKeyFile);
                links_.hartIp().setCredentialsSource(
                    [credentials](const hartip::Address&) { return credentials; });
            }
            link->open();
            cycle_->setLink(*link);
        } catch (const std::exception& e) {
            return failNow(kNoDevice, QString::fromUtf8(e.what()));
        }
        cycle_->device().setPortOpen(true);
        return true;
    }

    void start() {
        if (o_.command == QLatin1String("scan")) {
            scan();
            return;
        }
        select([this] { run(); });
    }

    // Makes the chosen device current, as discovery does.
    void select(std::function<void()> then) {
        const int pollAddress = o_.address.value_or(0);
        const host::RequestSpec probe{host::kBackgroundReply, host::probeFrame(0),
                                      host::Echo::Keep, host::Master::Primary};
        cycle_->ask(
            probe,
            [this, pollAddress](host::Payload& p) {
                if (o_.longAddress)
                    p.target(*o_.longAddress);
                else
                    p.pollAddress(static_cast<std::uint8_t>(pollAddress));
            },
            [this, pollAddress, then = std::move(then)](const host::Answer& a) {
                const QString who = o_.longAddress
                                        ? QStringLiteral("long address %1").arg(hexText(*o_.longAddress))
                                        : QStringLiteral("polling address %1").arg(pollAddress);
                if (!a.replied) return fail(kNoDevice, QStringLiteral("No device answers at %1 "
                                                                      "(%2).")
                                                           .arg(who, a.failure));
                if (refused(a) || !hart::identityOf(a.data))
                    return fail(kDeviceError, QStringLiteral("The device at %1 refused its "
                                                             "identity: %2.")
                                                  .arg(who, responseText(a)));
                cycle_->device().adopt(a.data, static_cast<std::uint8_t>(pollAddress));
                identity_ = a.data;
                then();
            });
    }

    void run() {
        const QString& c = o_.command;
        if (c == QLatin1String("identify")) {
            print(identityJson(identity_, cycle_->device().pollAddress()));
            finish(kOk);
        } else if (c == QLatin1String("read") && o_.arguments[0] == QLatin1String("pv")) {
            read(1, [this](const host::Answer& a) {
                if (a.data.size() < 5) return fail(kDeviceError, QStringLiteral("Reply too short."));
                QJsonObject o = valueJson(std::span(a.data).first(5));
                o[QStringLiteral("command")] = 1;
                print(o);
                finish(kOk);
            });
        } else if (c == QLatin1String("read") && o_.arguments[0] == QLatin1String("dynamic")) {
            read(3, [this](const host::Answer& a) {
                if (a.data.size() < 4) return fail(kDeviceError, QStringLiteral("Reply too short."));
                print(dynamicJson(a));
                finish(kOk);
            });
        } else if (c == QLatin1String("read")) {
            readConfiguration([this](const ops::config::Configuration& configuration) {
                print(ops::config::toJson(configuration));
                finish(kOk);
            });
        } else if (c == QLatin1String("save")) {
            readConfiguration([this](const ops::config::Configuration& configuration) {
                QSaveFile file(o_.arguments[0]);
                if (!file.open(QIODevice::WriteOnly) ||
                    file.write(ops::config::toFile(configuration)) < 0 || !file.commit())
                    return fail(kUsage, QStringLiteral("%1: %2").arg(o_.arguments[0],
                                                                     file.errorString()));
                print({{QStringLiteral("saved"), o_.arguments[0]},
                       {QStringLiteral("settings"), static_cast<int>(configuration.settings.size())},
                       {QStringLiteral("longAddress"),
                        ops::config::longAddressText(configuration.longAddress)}});
                finish(kOk);
            });
        } else if (c == QLatin1String("compare")) {
            compare();
        } else if (c == QLatin1String("monitor")) {
            monitor();
        }
    }

    void read(std::uint8_t command, std::function<void(const host::Answer&)> then) {
        cycle_->ask({host::kBackgroundReply, host::longFrame(command), host::Echo::Keep,
                     host::Master::Primary},
                    nullptr, [this, command, then = std::move(then)](const host::Answer& a) {
                        if (!a.replied)
                            return fail(kNoDevice, QStringLiteral("No reply to %1 (%2).")
                                                       .arg(commandText(command), a.failure));
                        if (refused(a))
                            return fail(kDeviceError, QStringLiteral("%1 refused: %2.")
                                                          .arg(commandText(command),
                                                               responseText(a)));
                        then(a);
                    });
    }

    QJsonObject dynamicJson(const host::Answer& a) const {
        QJsonObject o;
        o[QStringLiteral("command")] = 3;
        o[QStringLiteral("loopCurrent")] = hart::wireFloatToValue(a.data.data());
        static const char* const kNames[] = {"pv", "sv", "tv", "qv"};
        for (std::size_t i = 0; i < 4 && a.data.size() >= 4 + 5 * (i + 1); ++i)
            o[QLatin1String(kNames[i])] = valueJson(std::span(a.data).subspan(4 + 5 * i, 5));
        return o;
    }

    void readConfiguration(std::function<void(const ops::config::Configuration&)> then) {
        if (auto direct = readConfigurationDirectly()) {
            then(*direct);
            return;
        }
        session_->read([this, then = std::move(then)](const ops::config::Session::Read& r) {
            if (const auto* why = std::get_if<QString>(&r)) return fail(kNoDevice, *why);
            then(std::get<ops::config::Configuration>(r));
        });
    }

    // Over HART-IP, a server that takes direct PDUs answers every read
    // command of the configuration in one round trip (its own device only:
    // the device found must be the server itself, at polling address 0).
    std::optional<ops::config::Configuration> readConfigurationDirectly() {
        if (&cycle_->link() != &links_.hartIp() || o_.longAddress || o_.address.value_or(0) != 0)
            return std::nullopt;
        std::vector<hart::ip::DirectCommand> commands;
        for (std::uint8_t c : ops::config::readCommands())
            commands.push_back({c, {}});
        try {
            const auto response = links_.hartIp().directPdu(commands);
            std::vector<ops::config::CommandReply> replies;
            for (const auto& r : response.replies) {
                ops::config::CommandReply cr;
                cr.command = static_cast<std::uint8_t>(r.command);
                cr.replied = true;
                cr.responseCode = r.responseCode;
                cr.data = r.data;
                replies.push_back(std::move(cr));
            }
            auto c = ops::config::fromReplies(replies, 0, QStringLiteral("rx460k " PROJECT_VERSION));
            // Another device than the one found answered: not this device's.
            if (c.identity.empty() || c.identity != identity_) return std::nullopt;
            return c;
        } catch (const std::exception&) {
            return std::nullopt; // not offered: one request per command then
        }
    }

    void compare() {
        QFile f(o_.arguments[0]);
        if (!f.open(QIODevice::ReadOnly))
            return fail(kUsage, QStringLiteral("%1: %2").arg(o_.arguments[0], f.errorString()));
        auto parsed = ops::config::fromFile(f.readAll());
        if (const auto* why = std::get_if<QString>(&parsed)) return fail(kUsage, *why);
        const auto file = std::get<ops::config::Configuration>(parsed);
        readConfiguration([this, file](const ops::config::Configuration& device) {
            QJsonArray settings;
            int differing = 0;
            for (const auto& d : ops::config::compare(file, device)) {
                differing += d.differs;
                settings.append(QJsonObject{{QStringLiteral("key"), d.key},
                                            {QStringLiteral("name"), d.name},
                                            {QStringLiteral("file"), d.fileText},
                                            {QStringLiteral("device"), d.deviceText},
                                            {QStringLiteral("differs"), d.differs}});
            }
            print({{QStringLiteral("file"), o_.arguments[0]},
                   {QStringLiteral("anotherDevice"), ops::config::fromAnotherDevice(file, device)},
                   {QStringLiteral("differing"), differing},
                   {QStringLiteral("settings"), settings}});
            finish(kOk);
        });
    }

    void monitor() {
        auto* timer = new QTimer(this);
        timer->setInterval(static_cast<int>(o_.interval * 1000));
        const auto sample = [this, timer] {
            if (cycle_->asking()) return; // a slow line: this tick is skipped
            cycle_->ask({host::kBackgroundReply, host::longFrame(3), host::Echo::Keep,
                         host::Master::Primary},
                        nullptr, [this, timer](const host::Answer& a) {
                            QJsonObject o;
                            if (a.replied && !refused(a) && a.data.size() >= 4)
                                o = dynamicJson(a);
                            else
                                o[QStringLiteral("error")] =
                                    a.replied ? responseText(a) : a.failure;
                            o[QStringLiteral("time")] =
                                QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
                            o[QStringLiteral("longAddress")] =
                                hexText(cycle_->device().longAddress());
                            print(o);
                            if (o_.count && ++samples_ >= *o_.count) {
                                timer->stop();
                                finish(kOk);
                            }
                        });
        };
        connect(timer, &QTimer::timeout, this, sample);
        timer->start();
        sample();
    }

    void scan() {
        const int last = o_.arguments.value(0) == QLatin1String("0-15") ? 15
                                                                        : hart::kHighestPollAddress;
        connect(scan_.get(), &ops::ScanDriver::found, this, [this](const ops::ScanDriver::Found& f) {
            const auto data = std::span(reinterpret_cast<const std::uint8_t*>(f.identityData.constData()),
                                        static_cast<std::size_t>(f.identityData.size()));
            QJsonObject o = identityJson(data, f.address);
            o[QStringLiteral("tag")] = f.tag;
            print(o);
        });
        connect(scan_.get(), &ops::ScanDriver::finished, this, [this] { finish(kOk); });
        scan_->start(0, last);
    }

    static QString commandText(std::uint8_t command) {
        return QString::fromStdString(hart::commandInWords(command));
    }

    static QString responseText(const host::Answer& a) {
        QString text = QString::fromStdString(hart::statusSummary(a.responseCode));
        if (!(a.responseCode & hart::kCommunicationError))
            text += QStringLiteral(" (response code %1)").arg(a.responseCode);
        return text;
    }

    void print(const QJsonObject& o) {
        std::fputs(QJsonDocument(o).toJson(QJsonDocument::Compact).constData(), out_);
        std::fputc('\n', out_);
        std::fflush(out_);
    }

    bool failNow(int code, const QString& why) {
        std::fprintf(err_, "%s: %s\n", qPrintable(kProgram), qPrintable(why));
        std::fflush(err_);
        code_ = code;
        return false;
    }
    void fail(int code, const QString& why) {
        if (done_) return;
        failNow(code, why);
        finish(code);
    }
    void finish(int code) {
        if (done_) return;
        done_ = true;
        code_ = code;
        loop_.quit();
    }

    const Options& o_;
    std::FILE* out_;
    std::FILE* err_;
    TComm comm_;
    line::Links links_;
    QTimer decode_;
    QTimer timeout_;
    std::unique_ptr<host::RequestCycle> cycle_;
    std::unique_ptr<ops::ScanDriver> scan_;
    std::unique_ptr<ops::config::Session> session_;
    QEventLoop loop_;
    std::vector<std::uint8_t> identity_;
    int samples_ = 0;
    int code_ = kOk;
    bool done_ = false;
};

} // namespace

int run(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    Options o;
    try {
        o = parse(arguments, out);
    } catch (const UsageError& e) {
        std::fprintf(err, "%s: %s\nTry '%s --help' for more information.\n", qPrintable(kProgram),
                     e.what(), qPrintable(kProgram));
        return kUsage;
    }
    if (o.command.isEmpty()) return kOk; // --help
    Tool tool(o, out, err);
    return tool.exec();
}

} // namespace cli
