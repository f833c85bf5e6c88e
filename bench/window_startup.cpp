// How long the program takes to show its window, against a program that shows
// an empty QMainWindow, measured in the same run: from starting the process to
// the end of the window's first paint, offscreen (QT_QPA_PLATFORM=offscreen
// unless set otherwise).
//
//   window_startup [repetitions]   (default 9)
//
// Each is this same binary started again with "--child empty", "--child
// label" or "--child form", so loading the libraries costs each the same; only
// what happens after main() differs. The kinds take turns, after one untimed
// start of each that fills the page cache. The ratio is TForm1 against the
// empty QMainWindow; the window with one label is printed for scale: it is
// the least a window showing any text costs (loading the font database).
#include "app/main_window.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QWidget>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Sees the paint events of the first frame: the whole window paints in one
// pass, so the last paint event seen once the event loop is idle after the
// first one ends the first frame. What the program does after that frame (the
// window lists the serial devices then) is not start-up.
class PaintSpy : public QObject {
public:
    bool painted = false;
    Clock::time_point last{};

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            painted = true;
            last = Clock::now();
        }
        return false;
    }
};

std::int64_t nanoseconds(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The measured program: shows one window and tells the parent on stdout when
// its first frame was done (steady_clock is CLOCK_MONOTONIC, the same clock in
// both processes), with its own split of the time.
enum class Kind { Empty, Label, Form };

int child(int argc, char** argv, Kind kind) {
    const auto start = Clock::now();
    QApplication app(argc, argv);
    PaintSpy spy;
    app.installEventFilter(&spy);
    const double appMs = msSince(start);
    const auto built = Clock::now();
    std::unique_ptr<QMainWindow> w;
    if (kind == Kind::Form) {
        w = std::make_unique<TForm1>();
    } else {
        w = std::make_unique<QMainWindow>();
        if (kind == Kind::Label)
            w->setCentralWidget(new QLabel(QStringLiteral("RX460-K")));
        else
            w->setCentralWidget(new QWidget);
    }
    const double constructMs = msSince(built);
    const auto shown = Clock::now();
    w->show();
    const QDeadlineTimer deadline(30000);
    while (!spy.painted && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!spy.painted) return 1;
    const Clock::time_point firstFrame = spy.last;
    QCoreApplication::processEvents();
    if (spy.last != firstFrame) return 1; // more painted after the first frame: not one pass
    std::printf("%lld %.3f %.3f %.3f\n", static_cast<long long>(nanoseconds(firstFrame)), appMs,
                constructMs, msBetween(shown, firstFrame));
    std::fflush(stdout);
    // Tearing the window down is not part of start-up; skip it.
    std::_Exit(0);
}

struct Sample {
    double total = 0; // process start to first frame, as the parent sees it
    double app = 0;   // QApplication
    double construct = 0;
    double showPaint = 0;
};

Sample runChild(const char* self, const char* kind) {
    int fds[2];
    if (::pipe(fds) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string selfPath = self;
    char childFlag[] = "--child";
    std::string kindArg = kind;
    char* args[] = {selfPath.data(), childFlag, kindArg.data(), nullptr};
    pid_t pid = 0;
    const auto start = Clock::now();
    if (posix_spawn(&pid, self, &actions, nullptr, args, environ) != 0) std::exit(1);
    ::close(fds[1]);
    std::string line;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n')
        line += c;
    Sample s;
    ::close(fds[0]);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ::waitpid(pid, &status, 0);
    long long firstFrame = 0;
    if (std::sscanf(line.c_str(), "%lld %lf %lf %lf", &firstFrame, &s.app, &s.construct,
                    &s.showPaint) != 4) {
        std::printf("the %s window did not report its first paint\n", kind);
        std::exit(1);
    }
    s.total = (static_cast<double>(firstFrame) - static_cast<double>(nanoseconds(start))) / 1e6;
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Summary {
    double total, app, construct, showPaint, min, max;
};

Summary summarise(const std::vector<Sample>& samples) {
    std::vector<double> total, app, construct, show;
    for (const auto& s : samples) {
        total.push_back(s.total);
        app.push_back(s.app);
        construct.push_back(s.construct);
        show.push_back(s.showPaint);
    }
    return {median(total),
            median(app),
            median(construct),
            median(show),
            *std::min_element(total.begin(), total.end()),
            *std::max_element(total.begin(), total.end())};
}

void print(const char* what, const Summary& s) {
    std::printf("  %-18s %7.1f ms  (min %.1f, max %.1f; in main: QApplication %.1f, "
                "construction %.1f, show + first paint %.1f)\n",
                what, s.total, s.min, s.max, s.app, s.construct, s.showPaint);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) {
        int qtArgc = 1;
        const Kind kind = std::strcmp(argv[2], "form") == 0    ? Kind::Form
                          : std::strcmp(argv[2], "label") == 0 ? Kind::Label
                                                               : Kind::Empty;
        return child(qtArgc, argv, kind);
    }
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const char* self = "/proc/self/exe";
    char path[4096] = {};
    if (const ssize_t n = ::readlink(self, path, sizeof path - 1); n > 0) self = path;

    runChild(self, "empty");
    runChild(self, "label");
    runChild(self, "form");
    std::vector<Sample> empty;
    std::vector<Sample> label;
    std::vector<Sample> form;
    for (int i = 0; i < reps; ++i) {
        empty.push_back(runChild(self, "empty"));
        label.push_back(runChild(self, "label"));
        form.push_back(runChild(self, "form"));
    }
    const Summary e = summarise(empty);
    const Summary f = summarise(form);
    std::printf("start-up to the first painted frame, median of %d starts (%s):\n", reps,
                std::getenv("QT_QPA_PLATFORM"));
    print("empty QMainWindow", e);
    print("one QLabel", summarise(label));
    print("TForm1", f);
    std::printf("  ratio %.2f (target: 3.0 or less)\n", f.total / e.total);
    return 0;
}
