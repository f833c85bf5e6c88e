// rx460k-sim as a user runs it: started as its own process, it prints the
// pseudo-terminal it serves (and with --hartip its HART-IP port), answers
// command 0 there, and ends cleanly on SIGTERM; with a key it serves HART-IP
// version 2 only; --help, --version, a wrong option and an unusable key end
// at once.

#include "hartip_client.h"
#include "line_client.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using simtest::HartIpClient;
using simtest::hex;
using simtest::hexText;
using simtest::LineClient;

// rx460k-sim with `args`, its standard output on a pipe. Ends the process
// (SIGKILL) if a test leaves it running.
class Program {
public:
    explicit Program(std::vector<std::string> args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        args.insert(args.begin(), RX460K_SIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc =
            posix_spawn(&pid_, RX460K_SIM_PROGRAM, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
        if (rc != 0) throw std::runtime_error(std::string("posix_spawn: ") + std::strerror(rc));
        pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
        if (pidfd_ >= 0) ::close(pidfd_);
    }

    // Standard output up to and including the first line end, or all of it
    // when the program ends first.
    std::string readLine(std::chrono::milliseconds deadline = 10s) {
        const auto until = std::chrono::steady_clock::now() + deadline;
        while (text_.find('\n') == std::string::npos) {
            if (!readMore(until)) break;
        }
        const auto end = text_.find('\n');
        std::string line = text_.substr(0, end == std::string::npos ? end : end + 1);
        text_.erase(0, line.size());
        return line;
    }
    std::string readAll(std::chrono::milliseconds deadline = 10s) {
        const auto until = std::chrono::steady_clock::now() + deadline;
        while (readMore(until)) {
        }
        return std::exchange(text_, {});
    }

    void signal(int sig) { ::kill(pid_, sig); }

    // The wait status once the process ended, or nothing by `deadline`.
    std::optional<int> waitExit(std::chrono::milliseconds deadline = 10s) {
        pollfd p{pidfd_, POLLIN, 0};
        if (pidfd_ < 0 || ::poll(&p, 1, static_cast<int>(deadline.count())) != 1)
            return std::nullopt;
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
        pid_ = -1;
        return status;
    }

private:
    bool readMore(std::chrono::steady_clock::time_point until) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        char buf[256];
        const ssize_t n = ::read(out_, buf, sizeof buf);
        if (n <= 0) return false; // end of output
        text_.append(buf, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int pidfd_ = -1;
    std::string text_;
};

struct Served {
    const char* option; // nullptr: none
    const char* announced;
};
void PrintTo(const Served& x, std::ostream* os) {
    *os << (x.option ? x.option : "(no option)");
}

class ProgramServes : public ::testing::TestWithParam<Served> {};

TEST_P(ProgramServes, PrintsItsPtyAnswersCommand0AndStopsOnSigterm) {
    std::vector<std::string> args;
    if (GetParam().option) args.emplace_back(GetParam().option);
    Program program(args);
    const std::string line = program.readLine();
    const std::string prefix = std::string("rx460k-sim: serving ") + GetParam().announced + " on ";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    const std::string path = line.substr(prefix.size(), line.size() - prefix.size() - 1);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

    {
        LineClient client(path);
        client.send(hex("02 80 00 00 82"));
        const auto reply = client.nextReply();
        ASSERT_TRUE(reply);
        EXPECT_EQ(hexText(*reply), "06 80 00 0E 00 00 FE 26 05 05 05 01 01 08 00 01 02 03 5D");
    }

    program.signal(SIGTERM);
    const auto status = program.waitExit();
    ASSERT_TRUE(status) << "still running after SIGTERM";
    ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_EQ(program.readAll(), "rx460k-sim: stopped by SIGTERM\n");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProgramServes,
    ::testing::Values(Served{nullptr, "the simulated transmitter"},
                      Served{"--network", "the simulated network (polling addresses 0 and 5)"}),
    [](const auto& info) { return std::string(info.param.option ? "Network" : "Transmitter"); });

TEST(Program, NetworkAnswersAtAddress5) {
    Program program({"--network", "--fast"});
    const std::string line = program.readLine();
    const auto on = line.rfind(" on ");
    ASSERT_NE(on, std::string::npos) << line;
    LineClient client(line.substr(on + 4, line.size() - on - 5));
    client.send(hex("02 85 00 00 87"));
    const auto reply = client.nextReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->at(1), 0x85); // the HART 7 device's short address
    EXPECT_EQ(reply->at(10), 7);   // universal revision
    program.signal(SIGINT);
    const auto status = program.waitExit();
    ASSERT_TRUE(status && WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
}

// --hartip: the same devices over HART-IP on 127.0.0.1, beside the pty or
// (--no-pty) alone; the port chosen for 0 is printed.
TEST(Program, ServesHartIp) {
    for (const bool withPty : {true, false}) {
        SCOPED_TRACE(withPty ? "with the pty" : "--no-pty");
        std::vector<std::string> args{"--fast", "--hartip", "0"};
        if (!withPty) args.emplace_back("--no-pty");
        Program program(args);
        if (withPty) {
            const std::string line = program.readLine();
            ASSERT_EQ(line.rfind("rx460k-sim: serving the simulated transmitter on /dev/pts/", 0),
                      0u)
                << line;
        }
        const std::string line = program.readLine();
        const std::string prefix =
            "rx460k-sim: serving the simulated transmitter over HART-IP on 127.0.0.1:";
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
        ASSERT_EQ(line.substr(line.find(' ', prefix.size())), " (TCP and UDP)\n");
        const int port = std::stoi(line.substr(prefix.size()));
        ASSERT_GT(port, 0);

        for (const auto transport : {HartIpClient::Transport::Tcp, HartIpClient::Transport::Udp}) {
            HartIpClient client(transport, static_cast<std::uint16_t>(port));
            client.send(hex("01 00 00 00 00 01 00 0D 01 00 00 EA 60"));
            auto m = client.next();
            ASSERT_TRUE(m);
            EXPECT_EQ(hexText(*m), "01 01 00 00 00 01 00 0D 01 00 00 EA 60");
            client.send(hex("01 00 03 00 00 02 00 0D 02 80 00 00 82"));
            m = client.next();
            ASSERT_TRUE(m);
            EXPECT_EQ(hexText(*m), "01 01 03 00 00 02 00 1B 06 80 00 0E 00 00 FE 26 05 05 05 01 "
                                   "01 08 00 01 02 03 5D");
            client.send(hex("01 00 01 00 00 03 00 08"));
            m = client.next();
            ASSERT_TRUE(m);
            EXPECT_EQ(hexText(*m), "01 01 01 00 00 03 00 08");
        }

        program.signal(SIGTERM);
        const auto status = program.waitExit();
        ASSERT_TRUE(status && WIFEXITED(*status));
        EXPECT_EQ(WEXITSTATUS(*status), 0);
    }
}

// With a key: version 2 only. A version 1 initiate gets no answer; a version
// 2 initiate gets its answer in the clear (TLS follows, which the link's
// tests take up).
TEST(Program, ServesVersion2WithAKey) {
    const std::string keyFile = ::testing::TempDir() + "rx460k_sim_key.hex";
    {
        std::ofstream out(keyFile);
        out << "8f3a91c4d27b5e06a1f49c3387d2e65b\n";
    }
    Program program({"--fast", "--no-pty", "--hartip", "0", "--psk-key-file", keyFile});
    const std::string line = program.readLine();
    const std::string prefix =
        "rx460k-sim: serving the simulated transmitter over HART-IP on 127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    ASSERT_EQ(line.substr(line.find(' ', prefix.size())), " (version 2, TLS and DTLS)\n");
    const auto port = static_cast<std::uint16_t>(std::stoi(line.substr(prefix.size())));
    for (const auto transport : {HartIpClient::Transport::Tcp, HartIpClient::Transport::Udp}) {
        HartIpClient v1(transport, port);
        v1.send(hex("01 00 00 00 00 01 00 0D 01 00 00 EA 60"));
        EXPECT_FALSE(v1.next(std::chrono::milliseconds(300)));
        HartIpClient v2(transport, port);
        v2.send(hex("02 00 00 00 00 01 00 0D 01 00 00 EA 60"));
        const auto m = v2.next();
        ASSERT_TRUE(m);
        EXPECT_EQ(hexText(*m), "02 01 00 00 00 01 00 0D 01 00 00 EA 60");
    }
    program.signal(SIGTERM);
    const auto status = program.waitExit();
    ASSERT_TRUE(status && WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    std::remove(keyFile.c_str());
}

TEST(Program, RefusesAKeyItCannotUse) {
    const std::vector<std::vector<std::string>> rows{
        {"--hartip", "0", "--psk-key", "00112233445566778899aabbccddee"}, // 15 bytes
        {"--hartip", "0", "--psk-key", "www.hartcomm.org"},               // not hex
        {"--hartip", "0", "--psk-key-file", "/nonexistent/key.hex"},
        {"--psk-key", "00112233445566778899aabbccddeeff"}, // no HART-IP server to use it
        {"--hartip", "0", "--psk-key"},
    };
    for (const auto& args : rows) {
        SCOPED_TRACE(args.back());
        Program program(args);
        const auto status = program.waitExit();
        ASSERT_TRUE(status && WIFEXITED(*status));
        EXPECT_EQ(WEXITSTATUS(*status), 2);
        EXPECT_EQ(program.readAll(), ""); // the complaint goes to standard error
    }
}

struct Ends {
    const char* option;
    int exitCode;
    const char* output; // standard output: all of it, or its start
    bool whole;
};
void PrintTo(const Ends& x, std::ostream* os) {
    *os << x.option;
}

class ProgramEnds : public ::testing::TestWithParam<Ends> {};

TEST_P(ProgramEnds, AtOnceWithItsExitCode) {
    Program program({GetParam().option});
    const auto status = program.waitExit();
    ASSERT_TRUE(status);
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), GetParam().exitCode);
    const std::string out = program.readAll();
    if (GetParam().whole)
        EXPECT_EQ(out, GetParam().output);
    else
        EXPECT_EQ(out.rfind(GetParam().output, 0), 0u) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProgramEnds,
    ::testing::Values(Ends{"--help", 0, "Usage: rx460k-sim ", false},
                      Ends{"--version", 0, "rx460k-sim " RX460K_VERSION "\n", true},
                      // The complaint goes to standard error.
                      Ends{"--bogus", 2, "", true}, Ends{"--hartip", 2, "", true},
                      Ends{"--no-pty", 2, "", true}),
    [](const auto& info) {
        std::string o = std::string(info.param.option).substr(2);
        std::erase(o, '-');
        return o;
    });

} // namespace
