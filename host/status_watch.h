#pragma once
// The status bytes of the last reply (or burst frame) the device sent, kept
// for the window's status display and for the pages that act on "More status
// available". Every received chunk is read, whoever awaits it: scan replies
// and burst frames tell the device's state as well as page replies do.

#include "hart/reply_status.h"

#include <QObject>

#include <optional>

namespace host {

class RequestCycle;

class StatusWatch : public QObject {
    Q_OBJECT
public:
    explicit StatusWatch(RequestCycle& cycle, QObject* parent = nullptr);

    // Nothing before the first reply, and again once forgotten.
    const std::optional<hart::ReplyStatus>& last() const { return last_; }
    // The port closed: what the device said no longer describes the line.
    void forget();

signals:
    void changed();

private:
    void onChunk(const QByteArray& chunk);

    std::optional<hart::ReplyStatus> last_;
};

} // namespace host
