// rx460k-sim: the simulated HART devices of rx460k on a pseudo-terminal
// and/or behind a HART-IP server on 127.0.0.1, so that other HART tools (or a
// second rx460k) can be tried against them without a modem or a gateway.
// Runs until SIGINT or SIGTERM.

#include "sim/hartip_server.h"
#include "sim/sim_network.h"
#include "sim/sim_transmitter.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <pthread.h>

namespace {

constexpr std::string_view kProgram = "rx460k-sim";

constexpr const char* kUsage =
    "Usage: rx460k-sim [--network] [--fast] [--hartip PORT [--no-pty]\n"
    "                  [--psk-identity ID] [--psk-key HEX | --psk-key-file FILE]]\n"
    "Serves simulated HART field devices on a pseudo-terminal and prints its path.\n"
    "Open that path as the serial port of a HART master (1200 baud, 8O1).\n"
    "\n"
    "  --network     the simulated network: the simulated transmitter at polling\n"
    "                address 0 and a HART 7 device at polling address 5\n"
    "                (default: the simulated transmitter alone)\n"
    "  --fast        answer at the pseudo-terminal's speed, not at 1200 baud\n"
    "  --hartip PORT also serve the same devices as a HART-IP server on\n"
    "                127.0.0.1:PORT, TCP and UDP (0: a free port, printed)\n"
    "  --no-pty      with --hartip: announce HART-IP only, no pseudo-terminal path\n"
    "  --psk-key HEX, --psk-key-file FILE\n"
    "                with --hartip: serve HART-IP version 2 (TLS 1.2 over TCP, DTLS\n"
    "                1.2 over UDP) with this pre-shared key (hexadecimal, at least\n"
    "                16 bytes; the file\n"
    "                holds the same text); version 1 clients then get no answer\n"
    "  --psk-identity ID\n"
    "                the client identity the key belongs to (default HART-IPClient)\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Runs until interrupted (Ctrl+C) or sent SIGTERM.\n";

enum class Served { Transmitter, Network };

struct Settings {
    Served served = Served::Transmitter;
    bool fast = false;
    std::optional<std::uint16_t> hartIpPort; // --hartip PORT
    bool announcePty = true;
    std::string pskIdentity = "HART-IPClient";
    std::optional<std::vector<std::uint8_t>> pskKey;
};

// The key as hex text: pairs of digits, blanks and a trailing newline
// allowed; nothing when it is not hex or shorter than 16 bytes.
std::optional<std::vector<std::uint8_t>> keyFromHex(std::string_view text) {
    std::vector<std::uint8_t> key;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == ':') continue;
        int v = -1;
        if (c >= '0' && c <= '9') v = c - '0';
        if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        if (v < 0) return std::nullopt;
        if (high < 0) {
            high = v;
        } else {
            key.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    if (high >= 0 || key.size() < 16) return std::nullopt;
    return key;
}

std::optional<std::string> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<std::uint16_t> portNumber(std::string_view text) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// Exit codes: 0 done, 2 bad command line (as most command-line tools), 1 the
// pseudo-terminal could not be had.
constexpr int kUsageError = 2;
constexpr int kStartError = 1;

// What the command line asks for, or the exit code when it asks for no
// serving at all (help, version) or is wrong.
std::variant<Settings, int> parse(int argc, char** argv) {
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--network") {
            s.served = Served::Network;
        } else if (arg == "--fast") {
            s.fast = true;
        } else if (arg == "--hartip") {
            const auto port = i + 1 < argc ? portNumber(argv[i + 1]) : std::nullopt;
            if (!port) {
                std::fprintf(stderr, "%s: --hartip needs a port number (0 to 65535)\n%s",
                             kProgram.data(), kUsage);
                return kUsageError;
            }
            s.hartIpPort = port;
            ++i;
        } else if (arg == "--no-pty") {
            s.announcePty = false;
        } else if (arg == "--psk-identity" && i + 1 < argc) {
            s.pskIdentity = argv[++i];
        } else if ((arg == "--psk-key" || arg == "--psk-key-file") && i + 1 < argc) {
            const bool file = arg == "--psk-key-file";
            const std::optional<std::string> text =
                file ? readFile(argv[i + 1]) : std::optional<std::string>(argv[i + 1]);
            if (!text) {
                std::fprintf(stderr, "%s: cannot read the key file %s\n", kProgram.data(),
                             argv[i + 1]);
                return kUsageError;
            }
            s.pskKey = keyFromHex(*text);
            if (!s.pskKey) {
                std::fprintf(stderr, "%s: %s needs a key of at least 16 bytes in hexadecimal\n%s",
                             kProgram.data(), arg.data(), kUsage);
                return kUsageError;
            }
            ++i;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("%s %s\n", kProgram.data(), PROJECT_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "%s: unknown option '%s'\n%s", kProgram.data(), argv[i], kUsage);
            return kUsageError;
        }
    }
    if (s.pskKey && !s.hartIpPort) {
        std::fprintf(stderr, "%s: a key is for the HART-IP server: add --hartip\n%s",
                     kProgram.data(), kUsage);
        return kUsageError;
    }
    if (!s.announcePty && !s.hartIpPort) {
        std::fprintf(stderr, "%s: --no-pty leaves nothing to serve without --hartip\n%s",
                     kProgram.data(), kUsage);
        return kUsageError;
    }
    return s;
}

// SIGINT and SIGTERM are blocked in every thread (the simulator's threads
// inherit the mask) and taken here by sigwait, so the devices are shut down
// by their destructors on the main thread rather than inside a handler.
sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

int serve(const Settings& settings) {
    const sigset_t stop = stopSignals();
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    const sim::LineOptions line{.pace = !settings.fast};
    std::unique_ptr<sim::SimTransmitter> transmitter;
    std::unique_ptr<sim::SimNetwork> network;
    std::unique_ptr<sim::HartIpServer> hartIp;
    std::string path;
    const char* what = nullptr;
    try {
        sim::HartIpServer::Answerer answer;
        if (settings.served == Served::Network) {
            network = std::make_unique<sim::SimNetwork>(line);
            path = network->portPath();
            what = "the simulated network (polling addresses 0 and 5)";
            answer = sim::answering(*network);
        } else {
            transmitter = std::make_unique<sim::SimTransmitter>(line);
            path = transmitter->portPath();
            what = "the simulated transmitter";
            answer = sim::answering(*transmitter);
        }
        if (settings.hartIpPort) {
            sim::HartIpServerOptions options{.port = *settings.hartIpPort};
            if (settings.pskKey)
                options.security = sim::HartIpSecurity{settings.pskIdentity, *settings.pskKey};
            hartIp = std::make_unique<sim::HartIpServer>(answer, options);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", kProgram.data(), e.what());
        return kStartError;
    }
    if (settings.announcePty)
        std::printf("%s: serving %s on %s\n", kProgram.data(), what, path.c_str());
    if (hartIp)
        std::printf(settings.pskKey
                        ? "%s: serving %s over HART-IP on 127.0.0.1:%u (version 2, TLS and DTLS)\n"
                        : "%s: serving %s over HART-IP on 127.0.0.1:%u (TCP and UDP)\n",
                    kProgram.data(), what, static_cast<unsigned>(hartIp->port()));
    std::fflush(stdout);

    int signal = 0;
    while (sigwait(&stop, &signal) != 0) {
    }
    std::printf("%s: stopped by SIG%s\n", kProgram.data(), sigabbrev_np(signal));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const auto parsed = parse(argc, argv);
    if (const int* code = std::get_if<int>(&parsed)) return *code;
    return serve(std::get<Settings>(parsed));
}
