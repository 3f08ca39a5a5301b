#include "GameBuilder.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: mkdemo [--layout release|cd|ee] [--files N] [--strings N] [--seed S] FOLDER\n"
    "       mkdemo --single-archive N [--archive ITEMS|CREATURE|SPELLS|CHASOUND] [--files N] [--seed S] "
    "FOLDER\n"
    "\n"
    "Writes a made-up game folder (chitin.key, data/*.BIF, movies/*.BIF, Dialog.tlk) into FOLDER.\n"
    "  --layout release|cd  the original release's layout (default), or a CD install of another release:\n"
    "                       mixed-case names, the archives at other catalogue positions, CHASound.bif\n"
    "                       in CD1/data/ named by Baldur.ini; or the Enhanced Edition's: \"/\" in the\n"
    "                       catalogue, lang/en_US/ and lang/de_DE/ with UTF-8 string tables and data/,\n"
    "                       data/DEFAULT.BIF (an encrypted IDS, a 2DA, a TIS in a tileset), an item in\n"
    "                       override/ and dlc/sod-dlc.zip (mod.key, data/SODITEMS.BIF stored,\n"
    "                       data/SODAREA.BIF deflated, lang/en_US/dialog.tlk with the DLC's item names)\n"
    "  --strings N          strings of each ee string table, 0 to 1000000 (default 40960)\n"
    "  --files N            files per archive, 0 to 65535 (default 24)\n"
    "  --seed S             seed of the made-up contents (default 1)\n"
    "  --single-archive N   the chosen archive holds N files of 1 to 20000 bytes instead (0 to 65535)\n"
    "  --archive NAME       the archive --single-archive fills (default ITEMS)\n";

int usageError(std::string_view message) {
    std::fprintf(stderr, "mkdemo: %.*s\n%s", static_cast<int>(message.size()), message.data(), kUsage);
    return 2;
}

template <typename T> std::optional<T> parseNumber(std::string_view text, T low, T high) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char** argv) {
    qm::build::DemoOptions options;
    std::string folder;
    bool bulk = false;
    std::string archive = "ITEMS";

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--files" || arg == "--seed" || arg == "--single-archive" || arg == "--archive" ||
            arg == "--layout" || arg == "--strings") {
            if (i + 1 >= argc)
                return usageError(std::string(arg) + " needs a value");
            const std::string_view value = argv[++i];
            if (arg == "--layout") {
                if (value != "release" && value != "cd" && value != "ee")
                    return usageError("--layout takes release, cd or ee");
                options.layout = value == "cd"   ? qm::build::DemoLayout::Cd
                                 : value == "ee" ? qm::build::DemoLayout::Ee
                                                 : qm::build::DemoLayout::Release;
                continue;
            }
            if (arg == "--strings") {
                const auto count = parseNumber<int>(value, 0, 1000000);
                if (!count)
                    return usageError("--strings takes a number from 0 to 1000000");
                options.stringCount = *count;
                continue;
            }
            if (arg == "--archive") {
                archive.assign(value);
                std::transform(archive.begin(), archive.end(), archive.begin(),
                               [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
                continue;
            }
            if (arg == "--seed") {
                const auto seed = parseNumber<unsigned long long>(value, 0, 0xFFFFFFFFULL);
                if (!seed)
                    return usageError("--seed takes a number from 0 to 4294967295");
                options.seed = static_cast<unsigned>(*seed);
                continue;
            }
            const auto count = parseNumber<int>(value, 0, 65535);
            if (!count)
                return usageError(std::string(arg) + " takes a number from 0 to 65535");
            if (arg == "--files") {
                options.filesPerArchive = *count;
            } else {
                bulk = true;
                options.bulkFileCount = *count;
            }
            continue;
        }
        if (arg.starts_with("-") && arg.size() > 1)
            return usageError("unknown option " + std::string(arg));
        if (!folder.empty())
            return usageError("only one FOLDER");
        folder = arg;
    }
    if (folder.empty())
        return usageError("FOLDER is missing");
    if (bulk) {
        if (archive != "ITEMS" && archive != "CREATURE" && archive != "SPELLS" && archive != "CHASOUND")
            return usageError("--archive takes ITEMS, CREATURE, SPELLS or CHASOUND");
        options.bulkArchive = archive;
    }

    try {
        qm::build::writeDemoGame(folder, options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkdemo: %s\n", e.what());
        return 1;
    }
    return 0;
}
