#pragma once
// Whether the current device's loop current is fixed, so that a fixed
// current is never forgotten: the device says so in every reply (status bit
// 0x08), and a fixed-current request answered "Write successful!" says at
// which value. Released by the same request with 0 mA.

#include <QObject>

#include <optional>

namespace host {

class RequestCycle;

class LoopWatch : public QObject {
    Q_OBJECT
public:
    explicit LoopWatch(RequestCycle& cycle, QObject* parent = nullptr);

    bool fixed() const { return fixed_; }
    // The current it is fixed at, when a request of ours fixed it.
    std::optional<float> fixedAt() const { return fixedAt_; }

    // Sends the fixed-current request with 0 mA: back to following the
    // process.
    void release();
    // The device is no longer in front of us (port closed, another device).
    void forget();

signals:
    void changed();

private:
    void onFrameSent(const QByteArray& frame);
    void onDecoded(int replyCode);
    void onStatus();
    void set(bool fixed, std::optional<float> at);

    RequestCycle& cycle_;
    std::optional<float> requested_; // the value of the last fixed-current request sent
    bool fixed_ = false;
    std::optional<float> fixedAt_;
};

} // namespace host
