#pragma once
// The program's command line: --help, --version, --port PORT, --trace FILE
// and --monitor FILE.
//
// The arguments are read twice. Before the application object exists,
// --help and --version are answered and a mistyped option or stray argument
// fails (exit 2): all three must work without a display, and QApplication
// needs one. The toolkit's own options (-platform, -style, ...) are known
// then; QApplication takes them out of the list, and the second reading, on
// what is left, reads --port, --trace and --monitor.

#include <QString>
#include <QStringList>

class TForm1;

namespace app {

// What the command line asks of the window once it exists.
struct StartOptions {
    // Port-list text to open at start ("COM3", a device path, a HART-IP
    // address, or the simulated transmitter's entry); empty: the window
    // starts closed.
    QString port;
    // `--trace FILE`: the whole run's traffic goes into FILE as it happens
    // (.txt or .pcapng); empty: no trace.
    QString trace;
    // `--monitor FILE`: every sample the monitor takes goes into FILE as
    // CSV as it is taken; empty: none.
    QString monitor;
};

enum class Stage {
    BeforeApplication, // answers --help and --version, refuses what no one knows
    AfterApplication,  // the toolkit's options are gone: anything unknown is an error
};

struct CommandLine {
    bool exit = false; // answered here: print `output` and end with `exitCode`
    int exitCode = 0;  // 0 after --help/--version, kUsageError after a bad argument
    QString output;    // for stdout when exitCode is 0, else for stderr
    StartOptions start;
};

inline constexpr int kUsageError = 2;

// `arguments` includes the program name first, as argv does.
CommandLine readCommandLine(const QStringList& arguments, Stage stage);

// argv as text, for the reading before QApplication exists.
QStringList rawArguments(int argc, const char* const* argv);

// "rx460k 0.2.0": what --version prints; the version is the one the window's
// version label shows.
QString versionText();

// The word `--port simulated` stands for the simulated transmitter's entry
// in the port list; any other text is the port list's text as given.
QString portListText(const QString& portOption);

// Prints a CommandLine that ends the program and returns its exit code.
int finish(const CommandLine& commandLine);

// Starts the trace and the monitor's log file, then opens the port asked
// for, as the Open button would. A file that cannot be written, or a port
// that fails to open, shows an error box and leaves the window usable.
void applyStartOptions(TForm1& window, const StartOptions& options);

} // namespace app
