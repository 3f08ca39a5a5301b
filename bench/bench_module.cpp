// What the sound decoder module costs and when: quillmere-cli --version beside the same run told that the
// module is elsewhere (a program that never loads it), the libraries each run initialises, and extract of
// a sound archive with and without --wav, medians over rounds in which the pairs take turns going first.
//   bench_module CLI MKDEMO WORKDIR [ROUNDS]
#include "BenchRun.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

using bench::fresh;
using bench::median;
using bench::run;
using bench::Run;

namespace {

// The lines of the dynamic loader's report that hold `text`.
int linesWith(const fs::path& path, const std::string& text) {
    std::ifstream in(path);
    int count = 0;
    for (std::string line; std::getline(in, line);)
        count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_module CLI MKDEMO WORKDIR [ROUNDS]\n");
        return 2;
    }
    const std::string cli = fs::absolute(argv[1]).string();
    const std::string mkdemo = fs::absolute(argv[2]).string();
    const fs::path work = fs::absolute(argv[3]);
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 11;
    const int sounds = 2000;

    fresh(work);
    const fs::path game = work / "game";
    run({mkdemo, "--single-archive", std::to_string(sounds), "--archive", "CHASOUND", game.string()}, work);
    const std::vector<std::string> version = {cli, "--version"};
    const std::vector<std::string> elsewhere = {"QUILLMERE_SOUND_MODULE=/nonexistent"};
    const std::vector<std::string> stored = {cli, "--game", game.string(), "extract", "CHASOUND.BIF"};
    std::vector<std::string> wav = stored;
    wav.push_back("--wav");

    // The loader's own account: the libraries each run initialises, and the module's share.
    const fs::path report = work / "ld-debug.txt";
    const std::vector<std::string> debug = {"LD_DEBUG=files"};
    run(version, work, debug, report);
    const int versionLibraries = linesWith(report, "calling init:");
    const int versionModule = linesWith(report, "quillmere-sound.so [0];  dynamically loaded by");
    fresh(work / "debug");
    run(wav, work / "debug", debug, report);
    const int wavLibraries = linesWith(report, "calling init:");
    const int wavModuleLoads = linesWith(report, "quillmere-sound.so [0];  dynamically loaded by");
    fs::remove_all(work / "debug");

    std::vector<double> versionTimes, elsewhereTimes, versionRatio, storedTimes, wavTimes, wavRatio;
    long versionKb = 0, elsewhereKb = 0, storedKb = 0, wavKb = 0;
    for (int i = 0; i < rounds; ++i) {
        Run v, e, s, w;
        const auto timed = [&](const std::vector<std::string>& args, const char* folder) {
            fresh(work / folder);
            sync();
            return run(args, work / folder);
        };
        if (i % 2 == 0) {
            v = run(version, work);
            e = run(version, work, elsewhere);
            s = timed(stored, "stored");
            w = timed(wav, "wav");
        } else {
            e = run(version, work, elsewhere);
            v = run(version, work);
            w = timed(wav, "wav");
            s = timed(stored, "stored");
        }
        versionTimes.push_back(v.seconds);
        elsewhereTimes.push_back(e.seconds);
        versionRatio.push_back(v.seconds / e.seconds);
        storedTimes.push_back(s.seconds);
        wavTimes.push_back(w.seconds);
        wavRatio.push_back(w.seconds / s.seconds);
        versionKb = std::max(versionKb, v.maxRssKb);
        elsewhereKb = std::max(elsewhereKb, e.maxRssKb);
        storedKb = std::max(storedKb, s.maxRssKb);
        wavKb = std::max(wavKb, w.maxRssKb);
    }
    std::printf("--version: median %.1f ms, peak %.1f MB (target < 5 MB); with the module named elsewhere "
                "median %.1f ms, peak %.1f MB; median ratio %.2f\n",
                median(versionTimes) * 1e3, static_cast<double>(versionKb) / 1024.0,
                median(elsewhereTimes) * 1e3, static_cast<double>(elsewhereKb) / 1024.0,
                median(versionRatio));
    std::printf("libraries initialised: --version %d, extract --wav %d; the module loaded by --version %d "
                "time(s), by extract --wav of %d sounds %d time(s)\n",
                versionLibraries, wavLibraries, versionModule, sounds, wavModuleLoads);
    std::printf(
        "extract %d sounds: as stored median %.3f s, peak %.1f MB; --wav median %.3f s, peak %.1f MB; "
        "median ratio %.2f\n",
        sounds, median(storedTimes), static_cast<double>(storedKb) / 1024.0, median(wavTimes),
        static_cast<double>(wavKb) / 1024.0, median(wavRatio));
    fs::remove_all(work);
    return 0;
}
