#pragma once
// What the traffic log's row model and its writers (host/traffic_writers.cpp)
// share: the trace file being written, the bytes of a row as a span, and a
// time stamp as local time.

#include "hart/pcapng.h"
#include "host/traffic_log.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>

namespace host {

struct TrafficLog::Trace {
    QString path;
    Format format = Format::Text;
    std::FILE* file = nullptr;
    std::unique_ptr<hart::pcapng::Writer> capture;
    std::optional<qint64> lastMicros;
    std::uint16_t ipId = 0;
    bool good = true;

    ~Trace() {
        capture.reset();
        if (file) std::fclose(file);
    }
};

} // namespace host

namespace host::traffic {

inline std::span<const std::uint8_t> spanOf(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

inline QDateTime localTime(qint64 micros) {
    return QDateTime::fromMSecsSinceEpoch(micros / 1000);
}

} // namespace host::traffic
