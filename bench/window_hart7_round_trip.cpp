// What one command 9 exchange of the "HART 7 device" page adds to its time on
// the wire: from the click on "Read" to the device variables table filled,
// less the request's and the reply's time on the line at 1200 baud and the
// fixed delays (the serial component's 300 ms of quiet that ends a chunk, the
// 100 ms decode timer). The real window, offscreen, on a pseudo-terminal
// whose other side this program plays as a HART 7 device at 1200 baud: it
// takes the request as having been on the line for its bytes' time, then
// writes the reply a byte every 11/1200 s.
//
//   window_hart7_round_trip [requests]   (default 20)
//
// The total is the send part (click to the request's last byte at the
// device) and the receive part (the reply's last byte to the table filled,
// less 400 ms), which is split again at the receive handler. The goal is a
// total under 2 ms.
#include "app/main_window.h"
#include "bench/stats.h"
#include "host/request_cycle.h"
#include "serial/tcomm.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

using bench::percentile;

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// A character at 1200 baud: start bit, 8 data bits, parity, stop bit.
constexpr auto kByteTime = std::chrono::microseconds(11'000'000 / 1200);
constexpr int kQuietMs = 300;  // the serial component's end of a chunk
constexpr int kDecodeMs = 100; // Timer2
constexpr std::uint8_t kCommand9 = 9;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// One long-frame request (delimiter 82) from the line: preambles, delimiter,
// five address bytes, command, byte count, data, checksum.
std::optional<Bytes> readRequest(int fd) {
    Bytes line;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (;;) {
        std::size_t start = 0;
        while (start < line.size() && line[start] == 0xFF)
            ++start;
        if (line.size() >= start + 8) {
            const std::size_t whole = start + 8 + line[start + 7] + 1;
            if (line.size() >= whole) return line;
        }
        const int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        if (left <= 0) return std::nullopt;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, left) <= 0) return std::nullopt;
        std::uint8_t buf[64];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return std::nullopt;
        line.insert(line.end(), buf, buf + n);
    }
}

// The command 9 reply to `request` (preambles included), written out by
// hand: ACK delimiter 86, the request's address, command 9, byte count,
// status bytes 00 00, extended device status 00, a slot per code asked
// (code, classification 64 temperature, unit 32 degC, 25.0 = 41 C8 00 00,
// status C0 good), the time stamp 00:00:15 (00 07 53 00), the XOR checksum.
Bytes command9Reply(const Bytes& request) {
    std::size_t at = 0;
    while (request[at] == 0xFF)
        ++at;
    const std::uint8_t* address = &request[at + 1];
    const std::uint8_t count = request[at + 7];
    Bytes data{0x00};
    for (std::uint8_t i = 0; i < count; ++i) {
        const std::uint8_t code = request[at + 8 + i];
        data.insert(data.end(), {code, 64, 32, 0x41, 0xC8, 0x00, 0x00, 0xC0});
    }
    data.insert(data.end(), {0x00, 0x07, 0x53, 0x00});
    Bytes wire{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x86};
    wire.insert(wire.end(), address, address + 5);
    wire.insert(wire.end(), {kCommand9, static_cast<std::uint8_t>(data.size() + 2), 0x00, 0x00});
    wire.insert(wire.end(), data.begin(), data.end());
    std::uint8_t x = 0;
    for (std::size_t i = 5; i < wire.size(); ++i)
        x ^= wire[i];
    wire.push_back(x);
    return wire;
}

// The device side of one exchange, on its own thread so that the window's
// event loop runs meanwhile.
struct Exchange {
    std::atomic<bool> ok{false};
    Clock::time_point requestIn{}; // the request's last byte read
    Clock::time_point replyEnd{};  // the reply's last byte written
    Clock::duration onWire{};      // the request's and the reply's bytes' time
    std::size_t requestBytes = 0;
    std::size_t replyBytes = 0;
};

void playDevice(int fd, Exchange& e) {
    const auto request = readRequest(fd);
    e.requestIn = Clock::now();
    if (!request) return;
    std::size_t at = 0;
    while ((*request)[at] == 0xFF)
        ++at;
    if ((*request)[at] != 0x82 || (*request)[at + 6] != kCommand9) return;
    const Bytes reply = command9Reply(*request);
    e.requestBytes = request->size();
    e.replyBytes = reply.size();
    // The request took its bytes' time on a real line; a field device
    // starts its reply when the request's last byte is in. Each byte of the
    // reply reaches the modem once its character time is over.
    const auto start = e.requestIn + e.requestBytes * kByteTime;
    for (std::size_t i = 0; i < reply.size(); ++i) {
        std::this_thread::sleep_until(start + (i + 1) * kByteTime);
        if (::write(fd, &reply[i], 1) != 1) return;
    }
    e.replyEnd = Clock::now();
    e.onWire = (e.requestBytes + e.replyBytes) * kByteTime;
    e.ok = true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int requests = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;

    TForm1 window;
    window.show();
    window.findChild<QComboBox*>(QStringLiteral("SPREALCOM"))
        ->setEditText(QString::fromLocal8Bit(name));
    window.togglePort();
    if (!window.comm().isOpen()) {
        std::printf("the port did not open\n");
        return 1;
    }
    ::close(slave); // the window holds its own descriptor now

    auto* decodeTimer = window.findChild<QTimer*>(QStringLiteral("Timer2"));
    auto* status = window.findChild<QLabel*>(QStringLiteral("Label68"));
    auto* table = window.findChild<QTableWidget*>(QStringLiteral("DeviceVariablesTable"));
    auto* read = window.findChild<QPushButton*>(QStringLiteral("ReadDeviceVariables"));

    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto waitInLoop = [&] {
        guard.start(15000);
        loop.exec();
        guard.stop();
    };
    // The decode timer runs once at start-up; let it, before the first request.
    QObject::connect(decodeTimer, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (decodeTimer->isActive()) waitInLoop();
    QObject::disconnect(decodeTimer, nullptr, &loop, nullptr);

    // The table is filled when its reader has judged the reply.
    Clock::time_point filled{};
    QObject::connect(&window.cycle(), &host::RequestCycle::replyDecoded, &loop, [&](int) {
        filled = Clock::now();
        loop.quit();
    });

    Clock::time_point received{};
    auto handler = window.comm().OnReceiveData;
    window.comm().OnReceiveData = [&](QObject* sender, const std::uint8_t* b, std::uint16_t n) {
        received = Clock::now();
        handler(sender, b, n);
    };

    std::vector<double> total;
    std::vector<double> send;
    std::vector<double> receive;
    std::vector<double> serial;
    std::vector<double> decode;
    std::vector<double> late;
    std::size_t requestBytes = 0;
    std::size_t replyBytes = 0;
    for (int i = 0; i < requests; ++i) {
        Exchange e;
        filled = {};
        std::thread device([&] { playDevice(master, e); });
        const auto clicked = Clock::now();
        read->click();
        waitInLoop();
        device.join();
        if (!e.ok || filled == Clock::time_point{} || table->rowCount() != 8 ||
            table->item(0, 3)->text() != QStringLiteral("25")) {
            std::printf("request %d: no table filled (status \"%s\")\n", i,
                        qPrintable(status->text()));
            return 1;
        }
        requestBytes = e.requestBytes;
        replyBytes = e.replyBytes;
        // What the window adds: its send path, and the time from the reply's
        // end to the table beyond the fixed delays. The rest of the click to
        // the table is the line's, which this program plays a little late
        // now and then (its sleeps end late); that is not the window's.
        send.push_back(ms(e.requestIn - clicked));
        receive.push_back(ms(filled - e.replyEnd) - kQuietMs - kDecodeMs);
        total.push_back(send.back() + receive.back());
        serial.push_back(ms(received - e.replyEnd) - kQuietMs);
        decode.push_back(ms(filled - received) - kDecodeMs);
        late.push_back(ms(filled - clicked - e.onWire) - kQuietMs - kDecodeMs - total.back());
    }
    window.togglePort();
    ::close(master);

    auto line = [](const char* what, const std::vector<double>& v) {
        std::printf("  %-48s median %6.2f ms, p90 %6.2f ms, min %6.2f ms, max %6.2f ms\n", what,
                    percentile(v, 0.5), percentile(v, 0.9), *std::min_element(v.begin(), v.end()),
                    *std::max_element(v.begin(), v.end()));
    };
    std::printf("command 9 (8 device variables), click to table filled, beyond %zu + %zu bytes at "
                "1200 baud (%.0f ms) and %d ms quiet + %d ms decode, %d requests:\n",
                requestBytes, replyBytes, ms((requestBytes + replyBytes) * kByteTime), kQuietMs,
                kDecodeMs, requests);
    line("total (goal: under 2 ms)", total);
    line("send: click to the request at the device", send);
    line("receive: reply's end to table filled - 400", receive);
    line("  serial: reply's end to receive handler - 300", serial);
    line("  decode: receive handler to table filled - 100", decode);
    line("the line's own lateness (not counted)", late);
    return 0;
}
