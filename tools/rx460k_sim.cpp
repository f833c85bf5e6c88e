// rx460k-sim: the simulated HART devices of rx460k on a pseudo-terminal, so
// that other HART tools (or a second rx460k) can be tried against them
// without a modem. Runs until SIGINT or SIGTERM.

#include "sim/sim_network.h"
#include "sim/sim_transmitter.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include <pthread.h>

namespace {

constexpr std::string_view kProgram = "rx460k-sim";

constexpr const char* kUsage =
    "Usage: rx460k-sim [--network] [--fast]\n"
    "Serves simulated HART field devices on a pseudo-terminal and prints its path.\n"
    "Open that path as the serial port of a HART master (1200 baud, 8O1).\n"
    "\n"
    "  --network   the simulated network: the simulated transmitter at polling\n"
    "              address 0 and a HART 7 device at polling address 5\n"
    "              (default: the simulated transmitter alone)\n"
    "  --fast      answer at the pseudo-terminal's speed, not at 1200 baud\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Runs until interrupted (Ctrl+C) or sent SIGTERM.\n";

enum class Served { Transmitter, Network };

struct Settings {
    Served served = Served::Transmitter;
    bool fast = false;
    // HART-IP comes later: "--hartip PORT" adds a port here, parse() reads
    // it, and serve() starts the HART-IP server for the same devices beside
    // the pseudo-terminal.
};

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
    std::string path;
    const char* what = nullptr;
    try {
        if (settings.served == Served::Network) {
            network = std::make_unique<sim::SimNetwork>(line);
            path = network->portPath();
            what = "the simulated network (polling addresses 0 and 5)";
        } else {
            transmitter = std::make_unique<sim::SimTransmitter>(line);
            path = transmitter->portPath();
            what = "the simulated transmitter";
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", kProgram.data(), e.what());
        return kStartError;
    }
    std::printf("%s: serving %s on %s\n", kProgram.data(), what, path.c_str());
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
