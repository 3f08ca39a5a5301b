// Side-by-side timings of quillmere-cli against tar and against the floor of extraction (a program that
// only creates each file, copies its bytes in the kernel and keeps a log line per file) on the same files,
// medians over rounds in which the three take turns going first; and of picking against extracting, and
// against itself into a crowded WorkDir.
//   bench_cli [--floor FLOOR] CLI MKDEMO WORKDIR [ROUNDS]
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

int main(int argc, char** argv) {
    std::string floorProgram;
    if (argc > 2 && std::string(argv[1]) == "--floor") {
        floorProgram = fs::absolute(argv[2]).string();
        argc -= 2;
        argv += 2;
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_cli [--floor FLOOR] CLI MKDEMO WORKDIR [ROUNDS]\n");
        return 2;
    }
    const std::string cli = fs::absolute(argv[1]).string();
    const std::string mkdemo = fs::absolute(argv[2]).string();
    const fs::path work = fs::absolute(argv[3]);
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 5;

    const fs::path game = work / "game";
    const fs::path big = work / "game-32767";
    fresh(work);
    run({mkdemo, "--single-archive", "20000", "--archive", "CREATURE", game.string()}, work);
    run({mkdemo, "--single-archive", "32767", "--archive", "ITEMS", big.string()}, work);
    // The Enhanced Edition: 3000 items named from the end of a 100,000-string table of about 12 MB.
    const fs::path edition = work / "game-ee";
    run({mkdemo, "--layout", "ee", "--strings", "100000", "--single-archive", "3000", "--archive", "ITEMS",
         edition.string()},
        work);

    // Picking: every file of a 65,535-entry archive, beside extracting the same archive whole.
    const fs::path huge = work / "game-65535";
    run({mkdemo, "--single-archive", "65535", "--archive", "ITEMS", huge.string()}, work);
    // 500 picks spread over the 20,000 files, into a WorkDir that already holds 30,000 others and into an
    // empty one.
    std::vector<std::string> pick500 = {cli, "--game", game.string(), "pick", "CREATURE.BIF"};
    for (int k = 0; k < 500; ++k)
        pick500.push_back(std::to_string(k * 40));
    const fs::path crowded = work / "crowded";
    fs::create_directories(crowded / "WorkDir");
    for (int k = 0; k < 30000; ++k)
        std::ofstream(crowded / "WorkDir" / ("FILL" + std::to_string(k) + ".DAT"));

    // The tar holds exactly the files that extraction writes, made from a first extraction.
    const fs::path seed = work / "seed";
    fresh(seed);
    run({cli, "--game", game.string(), "extract", "CREATURE.BIF"}, seed);
    run({"tar", "-cf", (work / "creature.tar").string(), "CREATURE", "CREATURE.log"}, seed);
    fs::remove_all(seed);

    // Each run starts in a fresh folder with nothing left to write back from earlier ones.
    const auto timed = [&](const std::vector<std::string>& args, const char* folder) {
        const fs::path dir = work / folder;
        fresh(dir);
        sync();
        return run(args, dir);
    };
    const std::vector<std::string> ourArgs = {cli, "--game", game.string(), "extract", "CREATURE.BIF"};
    const std::vector<std::string> tarArgs = {"tar", "-xf", (work / "creature.tar").string()};
    const std::vector<std::string> floorArgs = {
        floorProgram, (game / "data" / "CREATURE.BIF").string(), "CREATURE", "CRE", "cfr", "log"};

    const std::vector<std::string> extractAll = {cli, "--game", huge.string(), "extract", "ITEMS.BIF"};
    const std::vector<std::string> pickAll = {cli, "--game", huge.string(), "pick", "ITEMS.BIF", "*"};
    // The crowded WorkDir keeps its 30,000 files; what a run picked into it is removed before the next.
    const auto intoCrowded = [&] {
        for (const auto& entry : fs::directory_iterator(crowded / "WorkDir"))
            if (entry.path().filename().string().rfind("FILL", 0) != 0)
                fs::remove(entry.path());
        sync();
        return run(pick500, crowded);
    };

    std::vector<double> ours, tars, floors, toTar, toFloor, listing, editionListing;
    std::vector<double> picksAll, extractsAll, pickToExtract, crowdedPicks, emptyPicks, crowdedToEmpty;
    long peakKb = 0;
    for (int i = 0; i < rounds; ++i) {
        // Each pair takes turns going first.
        Run p, x, c, e;
        if (i % 2 == 0) {
            p = timed(pickAll, "pick-all");
            x = timed(extractAll, "extract-all");
            c = intoCrowded();
            e = timed(pick500, "pick-empty");
        } else {
            x = timed(extractAll, "extract-all");
            p = timed(pickAll, "pick-all");
            e = timed(pick500, "pick-empty");
            c = intoCrowded();
        }
        fs::remove_all(work / "pick-all");
        fs::remove_all(work / "extract-all");
        picksAll.push_back(p.seconds);
        extractsAll.push_back(x.seconds);
        pickToExtract.push_back(p.seconds / x.seconds);
        crowdedPicks.push_back(c.seconds);
        emptyPicks.push_back(e.seconds);
        crowdedToEmpty.push_back(c.seconds / e.seconds);
    }
    for (int i = 0; i < rounds; ++i) {
        Run q, t, f;
        // The three take turns going first, so that none pays for another's deletions or dirty pages.
        for (int turn = 0; turn < 3; ++turn) {
            switch ((i + turn) % 3) {
            case 0:
                q = timed(ourArgs, "ours");
                break;
            case 1:
                t = timed(tarArgs, "tar");
                break;
            default:
                if (!floorProgram.empty())
                    f = timed(floorArgs, "floor");
                break;
            }
        }
        ours.push_back(q.seconds);
        tars.push_back(t.seconds);
        toTar.push_back(q.seconds / t.seconds);
        if (!floorProgram.empty()) {
            floors.push_back(f.seconds);
            toFloor.push_back(q.seconds / f.seconds);
        }
        peakKb = std::max(peakKb, q.maxRssKb);
        listing.push_back(run({cli, "--game", big.string(), "files", "ITEMS.BIF"}, work).seconds);
        editionListing.push_back(run({cli, "--game", edition.string(), "files", "ITEMS.BIF"}, work).seconds);
    }
    std::printf("extract 20000 files: quillmere-cli median %.3f s, tar -xf median %.3f s, median ratio %.2f "
                "(target < 1.00)\n",
                median(ours), median(tars), median(toTar));
    if (!floorProgram.empty())
        std::printf(
            "extract 20000 files: floor (copy_file_range) median %.3f s, quillmere-cli / floor median "
            "ratio %.2f (target <= 1.05)\n",
            median(floors), median(toFloor));
    else
        std::printf("extract 20000 files: no floor program given (--floor), floor not measured\n");
    std::printf("extract peak memory: %.1f MB (target < 10 MB)\n", static_cast<double>(peakKb) / 1024.0);
    std::printf("files on 32767 entries: median %.3f s (target < 0.5 s)\n", median(listing));
    std::printf("pick ITEMS.BIF '*' of 65535 files: median %.3f s, extract of the same median %.3f s, median "
                "ratio %.2f (target <= 1.30)\n",
                median(picksAll), median(extractsAll), median(pickToExtract));
    std::printf(
        "500 picks into a WorkDir of 30000 files: median %.3f s, into an empty WorkDir median %.3f s, "
        "median ratio %.2f (target <= 1.50)\n",
        median(crowdedPicks), median(emptyPicks), median(crowdedToEmpty));
    std::error_code ec;
    std::printf(
        "files ITEMS.BIF, Enhanced Edition (3000 items, 100000 strings, %.1f MB table): median %.3f s "
        "(target < 0.2 s)\n",
        static_cast<double>(fs::file_size(edition / "lang/en_US/dialog.tlk", ec)) / 1e6,
        median(editionListing));
    fs::remove_all(work);
    return 0;
}
