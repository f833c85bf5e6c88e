// How late the window shows a decoded reply: from the device writing the last
// byte of its reply on a pseudo-terminal to the end of the decoder's run
// (Timer2's firing), less the 300 ms of quiet line that ends a chunk and the
// 100 ms decode delay. The real window, offscreen, with "HART Address 0 Query"
// answered by this program on the pty's other side.
//
//   window_decode_delay [requests]   (default 30)
//
// Split into the serial part (last byte to the receive handler, less 300 ms)
// and the decode part (receive handler to the decoder's end, less 100 ms). A
// negative figure is a decode that ran before its 100 ms were up.
#include "app/main_window.h"
#include "bench/stats.h"
#include "serial/tcomm.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

using bench::percentile;

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// One short-frame request (delimiter 02) from the line: preambles, then
// delimiter, address, command, byte count, data, checksum.
std::optional<Bytes> readRequest(int fd) {
    Bytes line;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (;;) {
        std::size_t start = 0;
        while (start < line.size() && line[start] == 0xFF)
            ++start;
        if (line.size() >= start + 4) {
            const std::size_t whole = start + 4 + line[start + 3] + 1;
            if (line.size() >= whole) return Bytes(line.begin() + start, line.begin() + whole);
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

// The command-0 reply of a device with ID 01 02 03, written out by hand:
// ACK delimiter 06, the request's address echoed, command 0, 14 bytes (two
// status bytes and twelve data bytes), then the XOR checksum.
Bytes commandZeroReply(std::uint8_t address) {
    constexpr std::size_t kPreambles = 5;
    Bytes wire{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x06, address, 0x00, 0x0E, 0x00, 0x00, 0xFE,
               0x26, 0x05, 0x05, 0x05, 0x05, 0x01, 0x01,    0x00, 0x01, 0x02, 0x03};
    std::uint8_t x = 0;
    for (std::size_t i = kPreambles; i < wire.size(); ++i)
        x ^= wire[i];
    wire.push_back(x);
    return wire;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int requests = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

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
    auto* deviceId = window.findChild<QLineEdit*>(QStringLiteral("Edit4"));
    auto* query = window.findChild<QPushButton*>(QStringLiteral("Button3"));

    // Waits in the event loop (not spinning: the serial threads share the
    // cores) until the decode timer has fired, or 10 s have passed.
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    auto waitForDecode = [&] {
        guard.start(10000);
        loop.exec();
        guard.stop();
    };
    // Connected after the request cycle's own slot: runs when the decoder is done.
    Clock::time_point decoded{};
    QObject::connect(decodeTimer, &QTimer::timeout, [&] {
        decoded = Clock::now();
        loop.quit();
    });
    // The decode timer runs once at start-up; let it, before the first request.
    if (decodeTimer->isActive()) waitForDecode();

    Clock::time_point received{};
    auto handler = window.comm().OnReceiveData;
    window.comm().OnReceiveData = [&](QObject* sender, const std::uint8_t* b, std::uint16_t n) {
        received = Clock::now();
        handler(sender, b, n);
    };

    std::vector<double> total;
    std::vector<double> serial;
    std::vector<double> decode;
    for (int i = 0; i < requests; ++i) {
        deviceId->clear();
        query->click();
        const auto request = readRequest(master);
        if (!request || request->at(0) != 0x02) {
            std::printf("request %d: no command-0 frame from the window\n", i);
            return 1;
        }
        const Bytes reply = commandZeroReply(request->at(1));
        decoded = received = {};
        if (::write(master, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size()))
            return 1;
        const auto written = Clock::now();
        waitForDecode();
        if (decoded == Clock::time_point{} ||
            status->text() != QStringLiteral("Upload successful!") ||
            deviceId->text() != QStringLiteral("66051")) {
            std::printf(
                "request %d: no decoded reply (status \"%s\", received \"%s\")\n", i,
                qPrintable(status->text()),
                qPrintable(
                    window.findChild<QPlainTextEdit*>(QStringLiteral("Memo8"))->toPlainText()));
            return 1;
        }
        total.push_back(ms(decoded - written) - 400);
        serial.push_back(ms(received - written) - 300);
        decode.push_back(ms(decoded - received) - 100);
    }
    window.togglePort();
    ::close(master);

    auto line = [](const char* what, const std::vector<double>& v) {
        std::printf("  %-42s median %6.2f ms, p90 %6.2f ms, min %6.2f ms, max %6.2f ms\n", what,
                    percentile(v, 0.5), percentile(v, 0.9), *std::min_element(v.begin(), v.end()),
                    *std::max_element(v.begin(), v.end()));
    };
    std::printf("reply's last byte to the decoded result, beyond 300 ms quiet + 100 ms decode, "
                "%d requests:\n",
                requests);
    line("total (target: median under 2 ms)", total);
    line("serial: last byte to receive handler - 300", serial);
    line("decode: receive handler to result - 100", decode);
    return 0;
}
