// The windows' costs as a user waits for them, on the display it is given (run it under Xvfb with a
// window manager: bench/run-windows.sh), side by side in one run, as medians:
//   - start-up: from the program's start to its main window being painted;
//   - the editor's load on 20,000 and on 32,767 entries, from the click to the editor being painted;
//   - whole-archive extraction of 20,000 files in the main window against quillmere-cli.
//   bench_ui CLI WORKDIR [ROUNDS]
#include "Artwork.h"
#include "BenchRun.h"
#include "Dialogs.h"
#include "FrmEdit.h"
#include "FrmMain.h"
#include "GameBuilder.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Answers every box at once, as a user who only clicks OK.
class AutoDialogs : public Dialogs {
public:
    void beep() override { ++beeps; }
    void message(const QString&, const QString&) override {}
    bool askYesNo(const QString&, const QString&) override { return false; }
    [[noreturn]] void endProgram(int exitCode) override { std::exit(exitCode); }
    int beeps = 0;
};

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Waits until a widget of `window` has been painted: the window itself may be covered whole by opaque
// children, which Qt then paints instead.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* window) : m_window(window) { qApp->installEventFilter(this); }
    ~PaintWatch() override { qApp->removeEventFilter(this); }
    void wait() {
        while (!m_painted)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            if (auto* widget = qobject_cast<QWidget*>(object);
                widget != nullptr && widget->window() == m_window)
                m_painted = true;
        return false;
    }

private:
    QWidget* m_window;
    bool m_painted = false;
};

void choose(FrmMain& main, const QString& archive) {
    const auto found = main.List1->findItems(archive, Qt::MatchExactly);
    if (found.isEmpty()) {
        std::fprintf(stderr, "bench: %s not listed\n", qPrintable(archive));
        std::exit(1);
    }
    found.front()->setSelected(true);
}

// The program's start, as its main() does it, in a process of its own so that loading the libraries
// counts; prints the seconds from `startNs` (steady clock) to the main window's first paint.
int startupChild(long long startNs) {
    int argc = 1;
    char name[] = "quillmere";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QApplication::setWindowIcon(qm::artwork::programIcon());
    AutoDialogs dialogs;
    FrmMain window(dialogs);
    PaintWatch watch(&window);
    window.show();
    watch.wait();
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
    std::printf("%.6f\n", static_cast<double>(now.count() - startNs) / 1e9);
    return 0;
}

double runStartup(const char* self) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        std::exit(1);
    const auto start = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        const std::string at = std::to_string(start.count());
        execl(self, self, "--startup-child", at.c_str(), nullptr);
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[64] = {};
    const ssize_t got = read(pipeFds[0], buffer, sizeof buffer - 1);
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got <= 0) {
        std::fprintf(stderr, "bench: the start-up child reported nothing\n");
        std::exit(1);
    }
    return std::atof(buffer);
}

double editorLoad(FrmMain& main, int expected, int& beeps, const AutoDialogs& dialogs) {
    const int before = dialogs.beeps;
    const auto start = Clock::now();
    QTest::mouseClick(main.cmdedit, Qt::LeftButton);
    FrmEdit* editor = main.editWindow();
    if (editor == nullptr || editor->List1->count() != expected) {
        std::fprintf(stderr, "bench: the editor did not list %d entries\n", expected);
        std::exit(1);
    }
    PaintWatch watch(editor);
    watch.wait();
    const double took = seconds(start);
    beeps = dialogs.beeps - before;
    editor->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return took;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--startup-child") == 0)
        return startupChild(std::atoll(argv[2]));
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_ui CLI WORKDIR [ROUNDS]\n");
        return 2;
    }
    if (std::getenv("DISPLAY") == nullptr)
        std::fprintf(stderr,
                     "bench: no DISPLAY; the offscreen platform paints nothing and hides the costs\n");
    const std::string cli = fs::absolute(argv[1]).string();
    const fs::path work = fs::absolute(argv[2]);
    const int rounds = std::max(argc > 3 ? std::atoi(argv[3]) : 5, 1);
    bench::fresh(work);
    const fs::path game = work / "game-20000", big = work / "game-32767";
    qm::build::writeDemoGame(game, {24, 1, "ITEMS", 20000});
    qm::build::writeDemoGame(big, {24, 1, "ITEMS", 32767});

    setenv("QUILLMERE_GAME_DIR", game.c_str(), 1);
    std::vector<double> startups;
    for (int i = 0; i < rounds; ++i)
        startups.push_back(runStartup(argv[0]));
    std::printf("start-up to the painted main window: median %.3f s (target < 0.2 s)\n",
                bench::median(startups));

    QApplication app(argc, argv);
    std::vector<double> drawings;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        qm::artwork::parchmentScroll();
        qm::artwork::titleLettering();
        qm::artwork::programIcon();
        drawings.push_back(seconds(start));
    }
    std::printf("of which drawing the main window's pictures: median %.1f ms\n",
                bench::median(drawings) * 1000.0);
    AutoDialogs dialogs;
    std::vector<double> windowTimes, cliTimes, ratios, loads;
    int beeps = 0;
    {
        FrmMain main(dialogs);
        main.show();
        PaintWatch(&main).wait();
        choose(main, QStringLiteral("ITEMS.BIF"));
        for (int i = 0; i < rounds; ++i)
            loads.push_back(editorLoad(main, 20000, beeps, dialogs));
        for (int i = 0; i < rounds; ++i) {
            const fs::path a = work / "a", b = work / "b";
            bench::fresh(a);
            bench::fresh(b);
            double ours = 0, theirs = 0;
            const auto windowRun = [&] {
                sync();
                fs::current_path(a);
                const auto start = Clock::now();
                main.Cmdextract_Click();
                ours = seconds(start);
                fs::current_path(work);
            };
            const auto cliRun = [&] {
                sync();
                theirs = bench::run({cli, "--game", game.string(), "extract", "ITEMS.BIF"}, b).seconds;
            };
            // Taking turns at going first keeps either from paying for the other's writes.
            if (i % 2 == 0) {
                windowRun();
                cliRun();
            } else {
                cliRun();
                windowRun();
            }
            windowTimes.push_back(ours);
            cliTimes.push_back(theirs);
            ratios.push_back(ours / theirs);
        }
    }
    std::printf("editor load on 20000 entries: median %.3f s (target < 0.3 s), %d beep at the end\n",
                bench::median(loads), beeps);
    std::printf("extract 20000 files: main window median %.3f s, quillmere-cli median %.3f s, median ratio "
                "%.2f (target <= 1.10)\n",
                bench::median(windowTimes), bench::median(cliTimes), bench::median(ratios));

    setenv("QUILLMERE_GAME_DIR", big.c_str(), 1);
    loads.clear();
    {
        FrmMain main(dialogs);
        main.show();
        PaintWatch(&main).wait();
        choose(main, QStringLiteral("ITEMS.BIF"));
        for (int i = 0; i < rounds; ++i)
            loads.push_back(editorLoad(main, 32767, beeps, dialogs));
    }
    std::printf("editor load on 32767 entries: median %.3f s (target < 0.5 s)\n", bench::median(loads));

    // One check change with the Enhanced Edition's 100,000-string table: the handler and the repaint it
    // causes. The first change opens the table and sums its lengths up to the name; later ones reuse them.
    const fs::path edition = work / "game-ee";
    qm::build::DemoOptions ee;
    ee.layout = qm::build::DemoLayout::Ee;
    ee.stringCount = 100000;
    ee.bulkArchive = "ITEMS";
    ee.bulkFileCount = 3000;
    qm::build::writeDemoGame(edition, ee);
    setenv("QUILLMERE_GAME_DIR", edition.c_str(), 1);
    std::vector<double> firstChecks, checks;
    {
        FrmMain main(dialogs);
        main.show();
        PaintWatch(&main).wait();
        choose(main, QStringLiteral("Items.bif"));
        for (int i = 0; i < rounds; ++i) {
            QTest::mouseClick(main.cmdedit, Qt::LeftButton);
            FrmEdit* editor = main.editWindow();
            if (editor == nullptr || editor->List1->count() != 3000) {
                std::fprintf(stderr, "bench: the editor did not list the edition's items\n");
                return 1;
            }
            PaintWatch(editor).wait();
            for (int k = 0; k < 20; ++k) {
                const auto start = Clock::now();
                PaintWatch watch(editor);
                editor->List1->item((k * 997 + i * 31) % 3000)->setCheckState(Qt::Checked);
                watch.wait();
                (k == 0 ? firstChecks : checks).push_back(seconds(start));
            }
            if (editor->Txtname->text().isEmpty()) {
                std::fprintf(stderr, "bench: the edition's item has no name\n");
                return 1;
            }
            editor->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    std::printf("check change, Enhanced Edition table of 100000 strings: first median %.1f ms, then median "
                "%.1f ms (target < 16 ms)\n",
                bench::median(firstChecks) * 1000.0, bench::median(checks) * 1000.0);
    fs::remove_all(work);
    return 0;
}
