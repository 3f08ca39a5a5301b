// The whole game from the command line, side by side in one run: `resources --json` over a catalogue of
// 37,000 resources in 80 archives (time and peak memory), and `get --type CRE '*'` against `extract` of the
// archive that holds those creatures, the same bytes written.
//   bench_game CLI WORKDIR [ROUNDS]    (0 rounds: write the game into WORKDIR/game and keep it, for a
//   profiler)
#include "BenchRun.h"
#include "GameBuilder.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int kArchives = 80;
constexpr int kResources = 37000;
constexpr int kCreatures = 5000;
constexpr std::int16_t kCreType = 1009;
// Types of the other archives: items, spells, scripts, dialogues, areas, tables, sounds.
constexpr std::int16_t kOtherTypes[] = {1005, 1006, 1007, 1011, 1010, 1012, 4};

// MONSTERS.BIF at catalogue position 0 holds every creature; the other 79 archives share the rest. Entries
// carry the whole locator, as the Enhanced Edition's archives do.
void writeGame(const fs::path& game) {
    qm::build::KeyBuilder key;
    std::vector<qm::build::BifBuilder> bifs(kArchives);
    std::uint32_t state = 12345;
    const auto next = [&state] { return state = state * 1103515245u + 12345u; };
    for (int r = 0; r < kResources; ++r) {
        const int archive = r < kCreatures ? 0 : 1 + r % (kArchives - 1);
        const std::int16_t type =
            r < kCreatures ? kCreType : kOtherTypes[static_cast<std::size_t>(r) % std::size(kOtherTypes)];
        qm::build::BifBuilder& bif = bifs[static_cast<std::size_t>(archive)];
        const auto low = static_cast<std::int16_t>(bif.fileCount());
        const auto high = static_cast<std::int16_t>(archive << 4);
        const std::size_t size = r < kCreatures ? 300 + next() % 3000 : 60 + next() % 200;
        bif.add(low, high, type, std::string(size, static_cast<char>('a' + r % 26)));
        char resRef[9];
        std::snprintf(resRef, sizeof resRef, "R%07d", r);
        key.addResource(resRef, type, low, high);
    }
    for (int a = 0; a < kArchives; ++a) {
        const std::string name = a == 0 ? "MONSTERS.BIF" : "AREA" + std::to_string(a) + ".BIF";
        const std::string bytes = bifs[static_cast<std::size_t>(a)].bytes();
        key.addArchive("data\\" + name, static_cast<std::uint32_t>(bytes.size()));
        qm::build::writeFile(game / "data" / name, bytes);
    }
    qm::build::writeFile(game / "chitin.key", key.bytes());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_game CLI WORKDIR [ROUNDS]\n");
        return 2;
    }
    const std::string cli = fs::absolute(argv[1]).string();
    const fs::path work = fs::absolute(argv[2]);
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 7;
    const fs::path game = work / "game";
    bench::fresh(work);
    writeGame(game);
    if (rounds == 0)
        return 0;

    std::vector<double> listing, gets, extracts, ratios;
    long listingKb = 0;
    for (int i = 0; i < rounds; ++i) {
        const bench::Run l = bench::run({cli, "--game", game.string(), "--json", "resources"}, work);
        listing.push_back(l.seconds);
        listingKb = std::max(listingKb, l.maxRssKb);
        // The two take turns going first, each into a fresh folder.
        bench::Run g, x;
        for (int turn = 0; turn < 2; ++turn) {
            const fs::path dir = work / (turn == 0 ? "first" : "second");
            bench::fresh(dir);
            if ((i + turn) % 2 == 0)
                g = bench::run({cli, "--game", game.string(), "get", "--type", "CRE", "*"}, dir);
            else
                x = bench::run({cli, "--game", game.string(), "extract", "MONSTERS.BIF"}, dir);
        }
        gets.push_back(g.seconds);
        extracts.push_back(x.seconds);
        ratios.push_back(g.seconds / x.seconds);
    }
    std::printf("resources --json, %d resources in %d archives: median %.3f s (target < 0.1 s), peak memory "
                "%.1f MB (target < 20 MB)\n",
                kResources, kArchives, bench::median(listing), static_cast<double>(listingKb) / 1024.0);
    std::printf("get --type CRE '*' (%d files): median %.3f s; extract MONSTERS.BIF: median %.3f s; median "
                "ratio %.2f (target <= 1.30)\n",
                kCreatures, bench::median(gets), bench::median(extracts), bench::median(ratios));
    fs::remove_all(work);
    return 0;
}
