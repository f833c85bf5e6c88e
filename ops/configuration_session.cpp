#include "ops/configuration_session.h"

#include "hart/names.h"
#include "hart/protocol.h"
#include "host/device.h"
#include "host/request_cycle.h"

#include <QTimer>

namespace ops::config {

namespace {

// While a page's request awaits its reply, a background request waits too.
constexpr int kRetryMs = 100;

QString words(std::uint8_t command) {
    return QString::fromStdString(hart::commandInWords(command));
}

} // namespace

Session::Session(host::RequestCycle& cycle, QString tool, QObject* parent)
    : QObject(parent), cycle_(cycle), tool_(std::move(tool)) {}

void Session::ask(std::uint8_t command, std::vector<std::uint8_t> data,
                  std::function<void(const host::Answer&)> answered) {
    // Primary master, as a handheld asks; the views keep what they show.
    const host::RequestSpec spec{host::kBackgroundReply, host::longFrame(command), host::Echo::Keep,
                                 host::Master::Primary};
    if (cycle_.ask(spec, [&data](host::Payload& p) { p.bytes(data); }, answered)) return;
    auto again = [this, command, data = std::move(data),
                  answered = std::move(answered)]() mutable {
        ask(command, std::move(data), std::move(answered));
    };
    // Another background request (a monitor's poll) in flight: next in turn
    // after its answer. A page's request awaiting its reply: a moment later.
    if (cycle_.asking())
        cycle_.whenIdle(std::move(again));
    else
        QTimer::singleShot(kRetryMs, this, std::move(again));
}

void Session::read(std::function<void(const Read&)> done) {
    busy_ = true;
    readDone_ = std::move(done);
    toRead_ = readCommands();
    replies_.clear();
    readNext();
}

void Session::readNext() {
    if (toRead_.empty()) {
        busy_ = false;
        const auto done = std::exchange(readDone_, nullptr);
        done(fromReplies(replies_, cycle_.device().pollAddress(), tool_));
        return;
    }
    const std::uint8_t command = toRead_.front();
    toRead_.erase(toRead_.begin());
    emit progressed(QStringLiteral("Reading %1").arg(words(command)));
    ask(command, {}, [this, command](const host::Answer& a) {
        CommandReply r;
        r.command = command;
        r.replied = a.replied;
        r.responseCode = a.responseCode;
        r.data = a.data;
        r.failure = a.failure;
        // Without its identity there is no device to describe.
        if (command == 0 && !a.replied) {
            busy_ = false;
            toRead_.clear();
            const auto done = std::exchange(readDone_, nullptr);
            done(QStringLiteral("The device does not answer (%1).").arg(a.failure));
            return;
        }
        replies_.push_back(std::move(r));
        readNext();
    });
}

void Session::restore(std::vector<Write> plan,
                      std::function<void(const std::vector<WriteResult>&, const Read&)> done) {
    busy_ = true;
    plan_ = std::move(plan);
    written_.clear();
    restoreDone_ = std::move(done);
    writeNext();
}

void Session::writeNext() {
    if (plan_.empty()) {
        // Read back: what took shows in what the device now holds.
        read([this](const Read& back) {
            const auto done = std::exchange(restoreDone_, nullptr);
            done(written_, back);
        });
        return;
    }
    Write w = plan_.front();
    plan_.erase(plan_.begin());
    emit progressed(QStringLiteral("Writing %1").arg(words(w.command)));
    ask(w.command, w.data, [this, w](const host::Answer& a) {
        WriteResult result{w, false, {}};
        if (!a.replied) {
            result.answer = a.failure;
        } else {
            // Warnings (8, 14 and their kind) still mean the write took.
            const std::uint8_t rc = a.responseCode;
            result.took = rc == hart::rc::kSuccess || rc == hart::rc::kWarning || rc == 14 ||
                          (rc >= 24 && rc <= 27) || (rc >= 96 && rc <= 127);
            result.answer = QString::fromStdString(hart::statusSummary(rc));
            if (rc != hart::rc::kSuccess) result.answer += QStringLiteral(" (response code %1)").arg(rc);
        }
        written_.push_back(std::move(result));
        writeNext();
    });
}

} // namespace ops::config
