#pragma once
// Reading and restoring a configuration over the line: one background request
// after another through the request cycle (RequestCycle::ask), so a user's
// click still goes out between two of them, never alongside. The window's
// "Configuration" page and rx460k-cli both drive it.

#include "ops/configuration.h"

#include <QObject>
#include <QString>

#include <functional>
#include <variant>
#include <vector>

namespace host {
class RequestCycle;
struct Answer;
} // namespace host

namespace ops::config {

class Session : public QObject {
    Q_OBJECT
public:
    // `tool` goes into the files: "rx460k 0.2.0".
    Session(host::RequestCycle& cycle, QString tool, QObject* parent = nullptr);

    using Read = std::variant<Configuration, QString>; // or why nothing was read

    // Reads every setting of the current device. `done` gets the
    // configuration, or the reason when the device did not answer at all.
    void read(std::function<void(const Read&)> done);

    struct WriteResult {
        Write write;
        bool took = false;
        QString answer; // "success", "device busy (response code 32)", "no reply in time"
    };
    // Sends each write of `plan` in turn, then reads the device again.
    void restore(std::vector<Write> plan,
                 std::function<void(const std::vector<WriteResult>&, const Read&)> done);

    bool busy() const { return busy_; }

signals:
    // What is being asked now, for a status line: "Reading Command 13 Read
    // tag, descriptor, date".
    void progressed(const QString& what);

private:
    // One request, asked again while the cycle is busy with a page's request.
    void ask(std::uint8_t command, std::vector<std::uint8_t> data,
             std::function<void(const host::Answer&)> answered);
    void readNext();
    void writeNext();

    host::RequestCycle& cycle_;
    QString tool_;
    bool busy_ = false;

    std::vector<std::uint8_t> toRead_;
    std::vector<CommandReply> replies_;
    std::function<void(const Read&)> readDone_;

    std::vector<Write> plan_;
    std::vector<WriteResult> written_;
    std::function<void(const std::vector<WriteResult>&, const Read&)> restoreDone_;
};

} // namespace ops::config
