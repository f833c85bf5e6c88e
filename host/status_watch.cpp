#include "host/status_watch.h"

#include "host/request_cycle.h"

#include <cstdint>
#include <span>

namespace host {

StatusWatch::StatusWatch(RequestCycle& cycle, QObject* parent) : QObject(parent) {
    connect(&cycle, &RequestCycle::chunkReceived, this, &StatusWatch::onChunk);
}

void StatusWatch::forget() {
    if (!last_) return;
    last_.reset();
    emit changed();
}

void StatusWatch::onChunk(const QByteArray& chunk) {
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(chunk.constData()),
                                 static_cast<std::size_t>(chunk.size()));
    // A chunk without a reply (noise, a modem's echo) leaves the last status.
    if (const auto status = hart::lastReplyStatus(bytes)) {
        last_ = status;
        emit changed();
    }
}

} // namespace host
