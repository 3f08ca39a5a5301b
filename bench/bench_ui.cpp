// The windows' costs, offscreen: whole-archive extraction in the main window against quillmere-cli on the
// same archive, and the editor's load and check on an archive of 32,767 entries. Medians of one run.
//   bench_ui CLI WORKDIR [ROUNDS]
#include "Dialogs.h"
#include "FrmEdit.h"
#include "FrmMain.h"
#include "GameBuilder.h"

#include <QApplication>
#include <QListWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
    void beep() override {}
    void message(const QString&, const QString&) override {}
    bool askYesNo(const QString&, const QString&) override { return false; }
    [[noreturn]] void endProgram(int exitCode) override { std::exit(exitCode); }
};

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void fresh(const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
}

double runCli(const std::string& cli, const fs::path& game, const fs::path& dir) {
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        execl(cli.c_str(), cli.c_str(), "--game", game.c_str(), "extract", "CREATURE.BIF", nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench: quillmere-cli failed\n");
        std::exit(1);
    }
    return seconds(start);
}

void choose(FrmMain& main, const QString& archive) {
    const auto found = main.List1->findItems(archive, Qt::MatchExactly);
    if (found.isEmpty()) {
        std::fprintf(stderr, "bench: %s not listed\n", qPrintable(archive));
        std::exit(1);
    }
    found.front()->setSelected(true);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_ui CLI WORKDIR [ROUNDS]\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const std::string cli = fs::absolute(argv[1]).string();
    const fs::path work = fs::absolute(argv[2]);
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    fresh(work);
    const fs::path game = work / "game", big = work / "game-32767";
    qm::build::writeDemoGame(game, {24, 1, "CREATURE", 20000});
    qm::build::writeDemoGame(big, {24, 1, "ITEMS", 32767});
    AutoDialogs dialogs;

    setenv("QUILLMERE_GAME_DIR", game.c_str(), 1);
    std::vector<double> windowTimes, cliTimes, ratios;
    {
        FrmMain main(dialogs);
        main.show();
        choose(main, QStringLiteral("CREATURE.BIF"));
        for (int i = 0; i < rounds; ++i) {
            const fs::path a = work / "a", b = work / "b";
            fresh(a);
            fresh(b);
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
                theirs = runCli(cli, game, b);
            };
            // Taking turns at going first keeps either from paying for the other's writes.
            if (i % 2 == 0) {
                windowRun();
                cliRun();
            } else {
                cliRun();
                windowRun();
            }
            std::fprintf(stderr, "round %d: main window %.3f s, quillmere-cli %.3f s\n", i + 1, ours, theirs);
            windowTimes.push_back(ours);
            cliTimes.push_back(theirs);
            ratios.push_back(ours / theirs);
        }
    }
    std::printf(
        "extract 20000 files: main window median %.3f s, quillmere-cli median %.3f s, median ratio %.2f "
        "(target <= 1.30)\n",
        median(windowTimes), median(cliTimes), median(ratios));

    setenv("QUILLMERE_GAME_DIR", big.c_str(), 1);
    std::vector<double> loads, checks;
    {
        FrmMain main(dialogs);
        choose(main, QStringLiteral("ITEMS.BIF"));
        for (int i = 0; i < rounds; ++i) {
            auto start = Clock::now();
            FrmEdit* editor = main.showEdit();
            loads.push_back(seconds(start));
            if (editor == nullptr || editor->List1->count() != 32767) {
                std::fprintf(stderr, "bench: the editor did not list 32767 entries\n");
                return 1;
            }
            start = Clock::now();
            editor->List1->item(32000)->setCheckState(Qt::Checked);
            checks.push_back(seconds(start));
            delete editor;
        }
    }
    std::printf("editor load on 32767 entries: median %.3f s (target < 1 s)\n", median(loads));
    std::printf("checking an entry there: median %.1f ms\n", median(checks) * 1000.0);
    fs::remove_all(work);
    return 0;
}
