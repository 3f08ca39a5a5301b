#include "GameBuilder.h"
#include "SoundBuilder.h"
#include "TextCipher.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <ctime>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <unordered_set>
#include <vector>
#include <zip.h>

namespace qm::build {

namespace {

// Enough entries that the program's fixed 141-entry archive scan only ever meets real names.
constexpr int kArchiveCount = 144;
constexpr int kMaxFileCount = 65535; // the locator's low half numbers the files of one archive
constexpr std::uint32_t kBulkMaxSize = 20000;
constexpr std::int16_t kItemType = 1005;
constexpr std::int16_t kSoundType = 4;
// Item files carry their name's string number at data offset 12.
constexpr std::uint32_t kItemMinSize = 14;

// SplitMix64: the same numbers on every platform, unlike the standard distributions.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) { return n == 0 ? 0 : static_cast<std::uint32_t>(next() % n); }
    std::uint32_t range(std::uint32_t low, std::uint32_t high) { return low + below(high - low + 1); }
    template <typename T, std::size_t N> const T& pick(const std::array<T, N>& items) {
        return items[below(N)];
    }

private:
    std::uint64_t m_state;
};

std::uint64_t mixSeed(std::uint64_t a, std::uint64_t b = 0, std::uint64_t c = 0) {
    Rng rng(a * 0x100000001B3ULL ^ (b << 32) ^ (c << 1) ^ 0xC0FFEEULL);
    rng.next();
    return rng.next();
}

struct ArchiveTheme {
    int index;
    const char* keyName;
    std::vector<std::int16_t> types;
};

// The four archives the program lists, at the table indexes whose LocatorHigh it expects (index * 16).
const std::vector<ArchiveTheme> kListedArchives = {
    {15, "data\\ITEMS.BIF", {1005}},
    {38, "data\\CREATURE.BIF", {1009}},
    {50, "data\\SPELLS.BIF", {1006}},
    {71, "data\\CHASOUND.BIF", {4}},
};

// Other archives written to disk; 3, 0 and 1016 lie outside the program's type table.
const std::vector<ArchiveTheme> kOtherArchives = {
    {0, "data\\ODDMENTS.BIF", {3, 1016, 1002, 1012, 1013, 0}},
    {3, "data\\GLYPHS.BIF", {1000}},
    {7, "data\\TALKING.BIF", {1011}},
    {12, "data\\TABLETS.BIF", {1008, 1003}},
    {20, "data\\SCRIPTOR.BIF", {1007}},
    {27, "data\\VISTAS.BIF", {1, 1004}},
    {33, "data\\HOLLOWS.BIF", {1010, 1001}},
    {44, "data\\WARES.BIF", {1014}},
    {58, "data\\ATLAS.BIF", {1015, 1012, 1013, 1002}},
    {63, "data\\AMBIENCE.BIF", {4}},
    {77, "data\\SKETCHES.BIF", {1000, 1004, 1, 3, 1016}},
    {90, "movies\\DAWNREEL.BIF", {2}},
    {101, "movies\\EMBERFAL.BIF", {2}},
};

// The CD layout of another release: the listed archives at other indexes, spelt in mixed case, and at the
// original ITEMS index an archive whose items have the same types and numbers as those of Items.bif.
const std::vector<ArchiveTheme> kCdListedArchives = {
    {9, "data\\Items.bif", {1005}},
    {5, "data\\Creature.bif", {1009}},
    {12, "data\\Spells.bif", {1006}},
    {3, "data\\CHASound.bif", {4}},
};
const std::vector<ArchiveTheme> kCdOtherArchives = {
    {0, "data\\ODDMENTS.BIF", {3, 1016, 1002, 1012, 1013, 0}},
    {1, "data\\GLYPHS.BIF", {1000}},
    {7, "data\\TALKING.BIF", {1011}},
    {13, "data\\TABLETS.BIF", {1008, 1003}},
    {15, "data\\ARMOURY.BIF", {1005}},
    {20, "data\\SCRIPTOR.BIF", {1007}},
    {27, "data\\VISTAS.BIF", {1, 1004}},
    {33, "data\\HOLLOWS.BIF", {1010, 1001}},
    {44, "data\\WARES.BIF", {1014}},
    {58, "data\\ATLAS.BIF", {1015, 1012, 1013, 1002}},
    {63, "data\\AMBIENCE.BIF", {4}},
    {77, "data\\SKETCHES.BIF", {1000, 1004, 1, 3, 1016}},
    {90, "movies\\DAWNREEL.BIF", {2}},
    {101, "movies\\EMBERFAL.BIF", {2}},
};
// The Enhanced Edition's layout: the listed archives where the original has none of its own.
const std::vector<ArchiveTheme> kEeListedArchives = {
    {17, "data\\Items.bif", {1005}},
    {2, "data\\Creature.bif", {1009}},
    {40, "data\\Spells.bif", {1006}},
    {66, "data\\CHASound.bif", {4}},
};
// The archive of the CD layout that lives on the first CD's folder, and the one as large as Items.bif.
constexpr std::string_view kCdArchive = "data\\CHASound.bif";
constexpr std::string_view kCdDecoy = "data\\ARMOURY.BIF";

constexpr std::array<std::int16_t, 22> kMixedTypes = {1,    2,    4,    1000, 1001, 1002, 1003, 1004,
                                                      1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012,
                                                      1013, 1014, 1015, 3,    1016, 1016};

constexpr std::array<const char*, 22> kOnsets = {"B", "BR", "D", "DR", "F", "G", "GL", "H", "K",  "KR", "L",
                                                 "M", "N",  "P", "PR", "R", "S", "SK", "T", "TH", "V",  "Z"};
constexpr std::array<const char*, 8> kVowels = {"A", "E", "I", "O", "U", "AE", "OU", "Y"};
constexpr std::array<const char*, 6> kCodas = {"N", "R", "K", "SH", "L", "X"};

constexpr std::array<const char*, 24> kAdjectives = {
    "Moonwrought", "Gloamwoven",  "Thistlebright", "Ashen",       "Brindled",     "Copperleaf",
    "Saltmarsh",   "Hollowed",    "Emberkissed",   "Wrenfeather", "Quietwater",   "Lanternlit",
    "Frostgilt",   "Mossbound",   "Duskwoven",     "Fenlight",    "Hearthsworn",  "Ravelled",
    "Tinker's",    "Cinderbrown", "Marrowbright",  "Stillwind",   "Sor\xE9lle's", "Gullwing"};
constexpr std::array<const char*, 24> kNouns = {
    "Lantern",   "Buckler", "Quill",   "Locket",  "Sabre",   "Cudgel",  "Circlet",   "Spindle",
    "Mantle",    "Girdle",  "Tankard", "Hatchet", "Lute",    "Brooch",  "Gauntlets", "Sling",
    "Tinderbox", "Amulet",  "Greaves", "Thimble", "Compass", "Longbow", "Ladle",     "Bracer"};
constexpr std::array<const char*, 8> kLore = {
    "It hums faintly when held near running water.",
    "The maker's mark is a heron standing on one leg.",
    "Sold by the barrel in the river towns, and rarely by the honest.",
    "Warm to the touch, even in the deepest frost.",
    "A tinker swore it once whistled a tune of its own.",
    "Its edges are worn smooth by many careful hands.",
    "Nobody in the valley remembers who first carried it.",
    "Smells of pine smoke and old rain."};

// Made-up uppercase words of 3 to 8 letters.
class NameMaker {
public:
    explicit NameMaker(std::uint64_t seed) : m_rng(seed) {}

    std::string next() {
        for (;;) {
            std::string word;
            const std::size_t target = m_rng.range(4, 8);
            while (word.size() + 2 <= target) {
                word += m_rng.pick(kOnsets);
                word += m_rng.pick(kVowels);
            }
            if (word.size() < target && m_rng.below(2) == 0)
                word += m_rng.pick(kCodas);
            if (word.size() >= 3 && word.size() <= 8 && m_used.insert(word).second)
                return word;
        }
    }
    void reserve(const std::string& word) { m_used.insert(word); }

private:
    Rng m_rng;
    std::unordered_set<std::string> m_used;
};

struct PlannedFile {
    std::string resRef;
    std::int16_t type = 0;
    std::uint32_t size = 0;
    std::uint64_t contentSeed = 0;
    std::int32_t nameString = 0; // items only
    int soundIndex = -1;         // the listed sound archive's files: which made-up sound
};

struct PlannedArchive {
    std::string keyName;
    bool onDisk = false;
    std::uint32_t fileLength = 0;
    std::uint16_t location = 1;
    std::string folder; // below the game folder, where it is not the game folder itself
    std::vector<PlannedFile> files;
};

// The Enhanced Edition's tables in UTF-8, in two languages; the German words are made up as the English.
constexpr std::array<const char*, 24> kEeAdjectives = {"Moonwrought",
                                                       "Gloamwoven",
                                                       "Thistlebright",
                                                       "Caf\xC3\xA9-brown",
                                                       "Na\xC3\xAFve",
                                                       "Jalape\xC3\xB1o-red",
                                                       "Saltmarsh",
                                                       "Fa\xC3\xA7"
                                                       "ade-carved",
                                                       "Emberkissed",
                                                       "Wrenfeather",
                                                       "Souffl\xC3\xA9-light",
                                                       "Lanternlit",
                                                       "Frostgilt",
                                                       "Mossbound",
                                                       "Duskwoven",
                                                       "Fenlight",
                                                       "Hearthsworn",
                                                       "Cr\xC3\xAApe-thin",
                                                       "Fianc\xC3\xA9"
                                                       "e's",
                                                       "Cinderbrown",
                                                       "Marrowbright",
                                                       "Ros\xC3\xA9-tinted",
                                                       "Sor\xC3\xA9lle's",
                                                       "Gullwing"};
constexpr std::array<const char*, 24> kEeAdjectivesDe = {"Mondgewirkte",        "D\xC3\xA4mmerwebende",
                                                         "Distelhelle",         "Aschgraue",
                                                         "Gestromte",           "Kupferbl\xC3\xA4ttrige",
                                                         "Salzmarsch-",         "Ausgeh\xC3\xB6hlte",
                                                         "Glutgek\xC3\xBCsste", "Zaunk\xC3\xB6nigs-",
                                                         "Stillwasser-",        "Laternenhelle",
                                                         "Frostvergoldete",     "Moosgebundene",
                                                         "Abendgewebte",        "Fennlicht-",
                                                         "Herdgeschworene",     "Verflochtene",
                                                         "Kesselflickers",      "Zunderbraune",
                                                         "Markhelle",           "Windstille",
                                                         "Sor\xC3\xA9lles",     "M\xC3\xB6wenfl\xC3\xBCgel-"};
constexpr std::array<const char*, 24> kNounsDe = {"Laterne",
                                                  "Rundschild",
                                                  "Feder",
                                                  "Medaillon",
                                                  "S\xC3\xA4"
                                                  "bel",
                                                  "Kn\xC3\xBCppel",
                                                  "Stirnreif",
                                                  "Spindel",
                                                  "Mantel",
                                                  "G\xC3\xBCrtel",
                                                  "Humpen",
                                                  "Beil",
                                                  "Laute",
                                                  "Brosche",
                                                  "Fausthandschuhe",
                                                  "Schleuder",
                                                  "Zunderb\xC3\xBC"
                                                  "chse",
                                                  "Amulett",
                                                  "Beinschienen",
                                                  "Fingerhut",
                                                  "Kompass",
                                                  "Langbogen",
                                                  "Sch\xC3\xB6pfkelle",
                                                  "Armschiene"};
constexpr std::array<const char*, 8> kLoreDe = {
    "Es summt leise, wenn man es nahe an flie\xC3\x9F"
    "endes Wasser h\xC3\xA4lt.",
    "Das Zeichen des Schmieds ist ein Reiher auf einem Bein.",
    "In den Flussst\xC3\xA4"
    "dten f\xC3\xA4sserweise verkauft, selten von Ehrlichen.",
    "Warm in der Hand, selbst im tiefsten Frost.",
    "Ein Kesselflicker schwor, es habe einst ein eigenes Lied gepfiffen.",
    "Seine Kanten sind von vielen sorgsamen H\xC3\xA4nden glattgegriffen.",
    "Niemand im Tal wei\xC3\x9F noch, wer es zuerst getragen hat.",
    "Riecht nach Kiefernrauch und altem Regen."};
// Item names of the Enhanced Edition's tables begin here at the earliest, past what a signed 16-bit number
// can hold.
constexpr int kEeFirstName = 32768;

std::uint32_t variedSize(Rng& rng) {
    const std::uint32_t roll = rng.below(100);
    if (roll < 3)
        return 0;
    if (roll < 55)
        return rng.range(16, 4096);
    if (roll < 85)
        return rng.range(4097, 60000);
    if (roll < 96)
        return rng.range(60001, 140000);
    return rng.range(140001, 420000);
}

// Sizes at the edges of the program's 65535-byte copy chunks, spread over each listed archive.
std::uint32_t listedSize(Rng& rng, int fileIndex) {
    switch (fileIndex) {
    case 1:
        return 65535;
    case 4:
        return 65536;
    case 7:
        return 131070;
    case 10:
        return 131071;
    case 13:
        return 0;
    case 17:
        return rng.range(250000, 350000);
    default:
        return variedSize(rng);
    }
}

std::string_view signatureFor(std::int16_t type) {
    switch (type) {
    case 1:
        return "BM";
    case 2:
        return "Interplay MVE File\x1A";
    case 4:
        return "RIFF";
    case 1000:
        return "BAM V1  ";
    case 1001:
        return "WED V1.3";
    case 1004:
        return "MOS V1  ";
    case 1005:
        return "ITM V1  ";
    case 1006:
        return "SPL V1  ";
    case 1008:
        return "2DA V1.0";
    case 1009:
        return "CRE V1.0";
    case 1010:
        return "AREAV1.0";
    case 1011:
        return "DLG V1.0";
    default:
        return {};
    }
}

// The listed sound archive's files hold tones in turn as WAVC (mono), WAVC (stereo), bare ACM and RIFF,
// each as long as its planned size allows and followed by zero bytes up to that size. A file too small
// for its sound keeps the made-up bytes of other files: a sound that does not decode.
std::optional<std::string> soundContent(const PlannedFile& file) {
    constexpr int kRate = 22050;
    const int kind = file.soundIndex % 4;
    const int channels = kind == 1 ? 2 : 1;
    const double frequency = 220.0 + 55.0 * (file.soundIndex % 9);
    std::size_t frames = 0;
    if (kind == 3) {
        frames = file.size >= 44 ? (file.size - 44) / 2 : 0;
    } else {
        const std::size_t header = kind == 2 ? 0 : 28;
        // Whole blocks of the encoder, as many as fit.
        std::size_t blocks = 0;
        while (header + build::acmStreamSize((blocks + 1) * kAcmRows) <= file.size)
            ++blocks;
        frames = blocks * kAcmRows / static_cast<std::size_t>(channels);
    }
    if (frames < static_cast<std::size_t>(kRate / 20))
        return std::nullopt;
    const std::vector<std::int16_t> samples = tone(channels, kRate, frames, frequency);
    std::string data = kind == 0   ? wavcFile(samples, 1, kRate)
                       : kind == 1 ? wavcFile(samples, 2, kRate)
                       : kind == 2 ? acmStream(samples, 1, kRate)
                                   : riffFile(samples, 1, kRate);
    data.resize(file.size, '\0');
    return data;
}

std::string makeContent(const PlannedFile& file) {
    if (file.soundIndex >= 0)
        if (std::optional<std::string> sound = soundContent(file))
            return std::move(*sound);
    std::string data(file.size, '\0');
    Rng rng(file.contentSeed);
    for (std::size_t i = 0; i < data.size(); i += 8) {
        std::uint64_t word = rng.next();
        for (std::size_t j = i; j < std::min(i + 8, data.size()); ++j, word >>= 8)
            data[j] = static_cast<char>(word & 0xFF);
    }
    const std::string_view signature = signatureFor(file.type);
    data.replace(0, std::min(signature.size(), data.size()), signature.substr(0, data.size()));
    if (file.type == kItemType && data.size() >= kItemMinSize) {
        // Unidentified name at 8 (the generic string 1), identified name at 12: the one the program shows.
        if (data.size() >= 16) {
            storeU32(data, 8, 1);
            storeU32(data, 12, static_cast<std::uint32_t>(file.nameString));
        } else {
            storeU16(data, 12, static_cast<std::uint16_t>(file.nameString));
        }
    }
    return data;
}

void checkCount(int count, const char* what) {
    if (count < 0 || count > kMaxFileCount)
        throw std::invalid_argument(std::string(what) + " must lie between 0 and 65535");
}

std::vector<PlannedArchive> planArchives(const DemoOptions& options) {
    checkCount(options.filesPerArchive, "the number of files per archive");
    checkCount(options.bulkFileCount, "the number of files of the bulk archive");
    const bool cd = options.layout == DemoLayout::Cd;
    const bool ee = options.layout == DemoLayout::Ee;
    const std::vector<ArchiveTheme>& listedThemes = cd   ? kCdListedArchives
                                                    : ee ? kEeListedArchives
                                                         : kListedArchives;
    const std::vector<ArchiveTheme>& otherThemes = cd ? kCdOtherArchives : kOtherArchives;
    const std::string bulkName = options.bulkArchive.empty() ? "" : "data\\" + options.bulkArchive + ".BIF";
    const auto isBulk = [&bulkName](std::string_view keyName) {
        return !bulkName.empty() && bulkName.size() == keyName.size() &&
               std::equal(keyName.begin(), keyName.end(), bulkName.begin(), [](char a, char b) {
                   return std::toupper(static_cast<unsigned char>(a)) ==
                          std::toupper(static_cast<unsigned char>(b));
               });
    };
    if (!bulkName.empty() && std::none_of(listedThemes.begin(), listedThemes.end(),
                                          [&](const ArchiveTheme& t) { return isBulk(t.keyName); }))
        throw std::invalid_argument("the bulk archive must be ITEMS, CREATURE, SPELLS or CHASOUND");

    // The archive table itself does not depend on the seed.
    std::vector<PlannedArchive> archives(kArchiveCount);
    std::vector<const ArchiveTheme*> themes(kArchiveCount, nullptr);
    NameMaker archiveNames(0x5EEDA2C1ULL);
    for (const ArchiveTheme& t : listedThemes)
        themes[static_cast<std::size_t>(t.index)] = &t;
    for (const ArchiveTheme& t : otherThemes)
        themes[static_cast<std::size_t>(t.index)] = &t;
    for (const auto* t : themes)
        if (t != nullptr) {
            std::string name = t->keyName;
            name = name.substr(name.find('\\') + 1, name.size() - name.find('\\') - 5);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            archiveNames.reserve(name);
        }
    Rng tableRng(0x7AB1EULL);
    for (int index = 0; index < kArchiveCount; ++index) {
        PlannedArchive& archive = archives[static_cast<std::size_t>(index)];
        if (const ArchiveTheme* t = themes[static_cast<std::size_t>(index)]) {
            archive.keyName = t->keyName;
            archive.onDisk = true;
        } else {
            const bool movie = index % 11 == 5;
            archive.keyName = (movie ? "movies\\" : "data\\") + archiveNames.next() + ".BIF";
            archive.fileLength = tableRng.range(4000, 6000000);
        }
        // Location flags: bit 0 the game folder's data, bit 1 its cache, bits 2 to 7 the CDs.
        archive.location = archive.keyName.starts_with("movies\\") ? 2 : 1;
        if (cd && archive.keyName == kCdArchive) {
            archive.location = 4;
            archive.folder = "CD1/";
        }
        if (ee && archive.keyName == kCdArchive)
            archive.folder = "lang/en_US/";
    }

    Rng rng(mixSeed(options.seed));
    NameMaker resRefs(mixSeed(options.seed, 1));
    const auto planFile = [&](int archiveIndex, int fileIndex, std::int16_t type, std::uint32_t size) {
        PlannedFile file;
        file.resRef = resRefs.next();
        file.type = type;
        // The Enhanced Edition's names need the whole 32-bit field, bytes 12 to 15.
        file.size = type == kItemType ? std::max(size, ee ? kItemMinSize + 2 : kItemMinSize) : size;
        file.contentSeed = mixSeed(options.seed, static_cast<std::uint64_t>(archiveIndex) + 2,
                                   static_cast<std::uint64_t>(fileIndex));
        return file;
    };

    for (int index = 0; index < kArchiveCount; ++index) {
        PlannedArchive& archive = archives[static_cast<std::size_t>(index)];
        const ArchiveTheme* t = themes[static_cast<std::size_t>(index)];
        if (t == nullptr) {
            // Some archives missing from disk still have their entries in the catalogue.
            if (index % 6 == 1)
                for (int i = 0, n = static_cast<int>(rng.range(1, 3)); i < n; ++i)
                    archive.files.push_back(planFile(index, i, rng.pick(kMixedTypes), variedSize(rng)));
            continue;
        }
        const bool listed = std::any_of(listedThemes.begin(), listedThemes.end(),
                                        [&](const ArchiveTheme& l) { return &l == t; });
        const bool bulk = isBulk(archive.keyName);
        const int n = bulk ? options.bulkFileCount
                      : listed || (cd && archive.keyName == kCdDecoy)
                          ? options.filesPerArchive
                          : options.filesPerArchive - static_cast<int>(rng.below(static_cast<std::uint32_t>(
                                                          options.filesPerArchive / 2 + 1)));
        archive.files.reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            const std::int16_t type = t->types[rng.below(static_cast<std::uint32_t>(t->types.size()))];
            const std::uint32_t size = bulk     ? rng.range(1, kBulkMaxSize)
                                       : listed ? listedSize(rng, i)
                                                : variedSize(rng);
            archive.files.push_back(planFile(index, i, type, size));
            if (listed && type == kSoundType)
                archive.files.back().soundIndex = i;
        }
        std::uint64_t length = 20 + 16 * archive.files.size();
        for (const PlannedFile& file : archive.files)
            length += file.size;
        if (length > static_cast<std::uint64_t>(INT32_MAX))
            throw std::invalid_argument("an archive would outgrow the 32-bit DataOffset field");
        archive.fileLength = static_cast<std::uint32_t>(length);
    }
    return archives;
}

// Item names for Dialog.tlk, with lore lines in between, so string numbers are neither 0-based nor dense.
// Bulk archives reuse a pool of names; the numbers stay far below 32768.
// The items of the archives on disk, whose names the string table gives.
std::vector<PlannedFile*> plannedItems(std::vector<PlannedArchive>& archives) {
    std::vector<PlannedFile*> items;
    for (PlannedArchive& archive : archives)
        if (archive.onDisk)
            for (PlannedFile& file : archive.files)
                if (file.type == kItemType)
                    items.push_back(&file);
    return items;
}

// The numbers 0 to count - 1 in an order the generator chooses: which adjective goes with which noun.
std::vector<int> shuffledCombos(std::size_t count, Rng& rng) {
    std::vector<int> combos(count);
    for (std::size_t i = 0; i < combos.size(); ++i)
        combos[i] = static_cast<int>(i);
    for (std::size_t i = combos.size() - 1; i > 0; --i)
        std::swap(combos[i], combos[rng.below(static_cast<std::uint32_t>(i + 1))]);
    return combos;
}

std::string planStrings(std::vector<PlannedArchive>& archives, std::uint64_t seed) {
    const std::vector<PlannedFile*> items = plannedItems(archives);
    Rng rng(mixSeed(seed, 0x71C));
    const std::vector<int> combos = shuffledCombos(kAdjectives.size() * kNouns.size(), rng);

    TlkBuilder tlk;
    tlk.add("");
    tlk.add("Curious Trinket");
    const std::size_t pool = std::min(items.size(), combos.size());
    std::vector<std::int32_t> numbers(pool);
    for (std::size_t j = 0; j < pool; ++j) {
        if (j % 3 == 2) {
            const int lore = tlk.add(kLore[rng.below(static_cast<std::uint32_t>(kLore.size()))]);
            if (j % 6 == 5)
                tlk.entry(lore).soundResRef = "LORE" + std::to_string(j % 1000);
        }
        const auto combo = static_cast<std::size_t>(combos[j]);
        numbers[j] = tlk.add(std::string(kAdjectives[combo % kAdjectives.size()]) + " " +
                             kNouns[combo / kAdjectives.size()]);
    }
    tlk.add("The ferryman asks no questions and answers fewer.");
    for (std::size_t k = 0; k < items.size(); ++k)
        items[k]->nameString = numbers[k % pool];
    return tlk.bytes();
}

// The Enhanced Edition's two tables, item names at the same numbers in both, from kEeFirstName on. The
// strings before and after them are lore lines, one to three each, so that 100,000 strings make a table
// of about 12 MB, as the edition's own.
struct EditionTables {
    std::string english;
    std::string german;
    TlkBuilder englishStrings; // the DLC's table extends the English one
};

EditionTables planEditionStrings(std::vector<PlannedArchive>& archives, std::uint64_t seed, int stringCount) {
    const std::vector<PlannedFile*> items = plannedItems(archives);
    Rng rng(mixSeed(seed, 0xEE));
    const std::vector<int> combos = shuffledCombos(kEeAdjectives.size() * kNouns.size(), rng);

    TlkBuilder english;
    TlkBuilder german;
    const auto addLore = [&] {
        std::string en;
        std::string de;
        for (std::uint32_t line = 0, lines = rng.range(1, 3); line < lines; ++line) {
            const std::uint32_t k = rng.below(static_cast<std::uint32_t>(kLore.size()));
            if (line != 0) {
                en += ' ';
                de += ' ';
            }
            en += kLore[k];
            de += kLoreDe[k];
        }
        english.add(en);
        german.add(de);
    };
    english.add("");
    german.add("");
    const std::size_t pool = std::min(items.size(), combos.size());
    // The names close a large table, as far from its start as they can be: every look-up then sums the
    // most lengths.
    const std::size_t firstName = std::max<std::size_t>(
        kEeFirstName,
        static_cast<std::size_t>(std::max(stringCount, 0)) -
            std::min<std::size_t>(static_cast<std::size_t>(std::max(stringCount, 0)), pool + pool / 3 + 1));
    while (english.stringCount() < firstName)
        addLore();
    std::vector<std::int32_t> numbers(pool);
    for (std::size_t j = 0; j < pool; ++j) {
        if (j % 3 == 2)
            addLore();
        const auto combo = static_cast<std::size_t>(combos[j]);
        const std::string adjective = kEeAdjectivesDe[combo % kEeAdjectivesDe.size()];
        numbers[j] = english.add(std::string(kEeAdjectives[combo % kEeAdjectives.size()]) + " " +
                                 kNouns[combo / kEeAdjectives.size()]);
        german.add(adjective + (adjective.ends_with('-') ? "" : " ") +
                   kNounsDe[combo / kEeAdjectives.size()]);
    }
    while (english.stringCount() < static_cast<std::size_t>(stringCount))
        addLore();
    for (std::size_t k = 0; k < items.size(); ++k)
        items[k]->nameString = numbers[k % pool];
    return {english.bytes(), german.bytes(), english};
}

// `separator` joins folder and name in the archive table: "\\" in the original, "/" in the Enhanced Edition.
// `closing` entries follow all others.
std::string catalogue(const std::vector<PlannedArchive>& archives, char separator = '\\',
                      const std::vector<KeyResource>& closing = {}) {
    KeyBuilder key;
    for (const PlannedArchive& archive : archives) {
        std::string name = archive.keyName;
        std::replace(name.begin(), name.end(), '\\', separator);
        key.addArchive(name, archive.fileLength, archive.location);
    }

    struct Ref {
        int archive;
        int file;
    };
    std::vector<std::vector<Ref>> groups;
    for (int a = 0; a < static_cast<int>(archives.size()); ++a) {
        const auto count = static_cast<int>(archives[static_cast<std::size_t>(a)].files.size());
        if (count == 0)
            continue;
        auto& group = groups.emplace_back();
        for (int f = 0; f < count; ++f)
            group.push_back({a, f});
    }
    // Grouped by archive, in file-table order: the program's forward scan needs that. A group borrows the
    // first entries of the next one in between its own, which keeps both groups in order.
    std::vector<Ref> order;
    std::size_t borrowed = 0;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const std::vector<Ref> own(groups[g].begin() + static_cast<std::ptrdiff_t>(borrowed),
                                   groups[g].end());
        borrowed = 0;
        if (g + 1 < groups.size() && own.size() >= 3)
            borrowed = std::min<std::size_t>(2, groups[g + 1].size());
        for (std::size_t i = 0, lent = 0; i < own.size(); ++i) {
            order.push_back(own[i]);
            if (lent < borrowed && i + 1 == (lent + 1) * own.size() / (borrowed + 1))
                order.push_back(groups[g + 1][lent++]);
        }
    }
    for (const Ref& ref : order) {
        const PlannedFile& file =
            archives[static_cast<std::size_t>(ref.archive)].files[static_cast<std::size_t>(ref.file)];
        key.addResource(file.resRef, file.type,
                        static_cast<std::int16_t>(static_cast<std::uint16_t>(ref.file)),
                        static_cast<std::int16_t>(ref.archive * 16));
    }
    for (const KeyResource& resource : closing)
        key.addResource(resource.resRef, resource.type, resource.locatorLow, resource.locatorHigh);
    return key.bytes();
}

// Streams the data, so a bulk archive is never held in memory whole.
// `locatorHigh` is what the archive's own entries store above the file's index: 0 in the original release,
// 16 x the archive's index (the whole locator) in others.
void writeArchive(const std::filesystem::path& path, const PlannedArchive& archive,
                  std::int16_t locatorHigh) {
    BifBuilder table;
    std::uint32_t dataAt = static_cast<std::uint32_t>(20 + 16 * archive.files.size());
    for (const PlannedFile& file : archive.files) {
        BifFile& entry = table.add(static_cast<std::int16_t>(table.fileCount()), locatorHigh, file.type, {});
        entry.dataOffset = static_cast<std::int32_t>(dataAt);
        entry.dataSize = static_cast<std::int32_t>(file.size);
        dataAt += file.size;
    }
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string head = table.bytes();
    out.write(head.data(), static_cast<std::streamsize>(head.size()));
    for (const PlannedFile& file : archive.files) {
        const std::string data = makeContent(file);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

// What the Enhanced Edition holds beyond the planned archives: data/DEFAULT.BIF at a catalogue position
// whose made-up archive is not on disk, with an encrypted IDS, a 2DA and a tileset; an override/ item; and
// the DLC zip. All of it comes after the planned archives and strings, which stay as they were.
constexpr std::size_t kEeDefaultIndex = 6;
// The format's documented type codes, beyond the program's own table.
constexpr std::int16_t kIdsType = 1008;
constexpr std::int16_t kTableType = 1012;
constexpr std::int16_t kTisType = 1003;
constexpr std::int16_t kAreaType = 1010;
constexpr std::int16_t kCreatureType = 1009;
// A tile of a TIS inside a BIF: a 256-colour palette and 64 x 64 palette indexes, no header.
constexpr std::int32_t kTileSize = 1024 + 64 * 64;
// The catalogue's 32-bit locator: archive bits 31-20, tileset bits 19-14, file bits 13-0.
constexpr std::uint32_t kArchiveShift = 20;
constexpr std::uint32_t kTilesetShift = 14;
// A fixed date for the zip's members (the edition's DLC came out in spring 2016), so runs agree.
constexpr int kZipYear = 2016;

// ResRefs with digits, which the made-up words of NameMaker never spell.
constexpr const char* kIdsResRef = "STATS1";
constexpr const char* kTableResRef = "XPLEVEL1";
constexpr const char* kTisResRef = "AR0010";
constexpr std::string_view kIdsText = "IDS V1.0\r\n"
                                      "0 NONE\r\n"
                                      "1 STRENGTH\r\n"
                                      "2 DEXTERITY\r\n"
                                      "3 CONSTITUTION\r\n"
                                      "4 INTELLIGENCE\r\n"
                                      "5 WISDOM\r\n"
                                      "6 CHARISMA\r\n";
constexpr std::string_view kTableText = "2DA V1.0\r\n"
                                        "0\r\n"
                                        "          LEVEL1  LEVEL2  LEVEL3\r\n"
                                        "FIGHTER   0       2000    4000\r\n"
                                        "MAGE      0       2500    5000\r\n";
constexpr std::string_view kDlcTableText = "2DA V1.0\r\n"
                                           "0\r\n"
                                           "          LEVEL1  LEVEL2  LEVEL3  LEVEL4\r\n"
                                           "FIGHTER   0       2000    4000    8000\r\n"
                                           "MAGE      0       2500    5000    10000\r\n";

struct DlcItem {
    const char* resRef; // empty: the base game's item of that position in Items.bif
    const char* name;
};
// The DLC's item names, new strings of its table: its copies of the first two base items, then its own.
constexpr std::array<DlcItem, 5> kDlcItems = {{{"", "Bridgewarden's Horn"},
                                               {"", "Fianc\xC3\xA9"
                                                    "e's Locket"},
                                               {"BDQUIL01", "Fordkeeper's Quill"},
                                               {"BDLANT02", "Coalition Lantern"},
                                               {"BDBUCK03", "Sunward Buckler"}}};

struct ZipMember {
    std::string name;
    std::string data;
    bool deflate = false;
};

struct EditionExtras {
    std::string defaultArchive;
    std::vector<KeyResource> defaultEntries; // close chitin.key
    std::string overrideName;                // empty: Items.bif holds fewer than two items
    std::string overrideData;
    std::vector<ZipMember> dlc;
};

PlannedFile extraFile(std::string resRef, std::int16_t type, std::uint32_t size, std::uint64_t seed) {
    PlannedFile file;
    file.resRef = std::move(resRef);
    file.type = type;
    file.size = size;
    file.contentSeed = seed;
    return file;
}

EditionExtras planEditionExtras(std::vector<PlannedArchive>& archives, TlkBuilder strings,
                                std::uint64_t seed) {
    EditionExtras extras;
    Rng rng(mixSeed(seed, 0xD1C));

    const auto defaultHigh = static_cast<std::int16_t>(16 * kEeDefaultIndex);
    const std::uint32_t tileset = kEeDefaultIndex << kArchiveShift | 1u << kTilesetShift;
    BifBuilder defaults;
    defaults.add(0, defaultHigh, kIdsType, encryptText(kIdsText));
    defaults.add(1, defaultHigh, kTableType, std::string(kTableText));
    defaults.addTileset(tileset, 2, kTileSize,
                        makeContent(extraFile(kTisResRef, kTisType, 2 * kTileSize, rng.next())));
    extras.defaultArchive = defaults.bytes();
    extras.defaultEntries = {
        {kIdsResRef, kIdsType, 0, defaultHigh},
        {kTableResRef, kTableType, 1, defaultHigh},
        {kTisResRef, kTisType, static_cast<std::int16_t>(tileset & 0xFFFF), defaultHigh}};
    PlannedArchive& slot = archives[kEeDefaultIndex];
    slot.keyName = "data\\DEFAULT.BIF";
    slot.fileLength = static_cast<std::uint32_t>(extras.defaultArchive.size());
    slot.location = 1;

    // The override names the first item after the second, with the same bytes otherwise.
    const std::vector<PlannedFile>& items =
        archives[static_cast<std::size_t>(kEeListedArchives[0].index)].files;
    if (items.size() >= 2) {
        PlannedFile renamed = items[0];
        renamed.nameString = items[1].nameString;
        extras.overrideName = items[0].resRef + ".ITM";
        extras.overrideData = makeContent(renamed);
    }

    // The DLC's own catalogue: its archives 0 and 1, whose entries hold the whole locator as the
    // edition's do. Its items are named by strings past the end of the base table.
    KeyBuilder key;
    BifBuilder dlcItems;
    BifBuilder dlcArea;
    const auto addTo = [&key](BifBuilder& bif, std::int16_t archive, const PlannedFile& file) {
        const auto high = static_cast<std::int16_t>(16 * archive);
        const auto low = static_cast<std::int16_t>(bif.fileCount());
        bif.add(low, high, file.type, makeContent(file));
        key.addResource(file.resRef, file.type, low, high);
    };
    for (std::size_t k = 0; k < kDlcItems.size(); ++k) {
        PlannedFile item;
        if (*kDlcItems[k].resRef != '\0')
            item = extraFile(kDlcItems[k].resRef, kItemType, rng.range(16, 4096), rng.next());
        else if (k < items.size())
            item = items[k];
        else
            continue;
        item.nameString = strings.add(kDlcItems[k].name);
        addTo(dlcItems, 0, item);
    }
    addTo(dlcArea, 1, extraFile("BD0010", kAreaType, rng.range(200, 3000), rng.next()));
    {
        const auto low = static_cast<std::int16_t>(dlcArea.fileCount());
        dlcArea.add(low, 16, kTableType, std::string(kDlcTableText));
        key.addResource(kTableResRef, kTableType, low, 16);
    }
    addTo(dlcArea, 1, extraFile("BDGUARD1", kCreatureType, rng.range(300, 2000), rng.next()));

    std::string itemsBif = dlcItems.bytes();
    std::string areaBif = dlcArea.bytes();
    key.addArchive("data/SODITEMS.BIF", static_cast<std::uint32_t>(itemsBif.size()));
    key.addArchive("data/SODAREA.BIF", static_cast<std::uint32_t>(areaBif.size()));
    extras.dlc.push_back({"mod.key", key.bytes(), true});
    extras.dlc.push_back({"data/SODITEMS.BIF", std::move(itemsBif), false});
    extras.dlc.push_back({"data/SODAREA.BIF", std::move(areaBif), true});
    extras.dlc.push_back({"lang/en_US/dialog.tlk", strings.bytes(), true});
    return extras;
}

// libzip stores a member's time as local DOS time: a time made from local fields gives the same bytes in
// every time zone.
std::time_t fixedZipTime() {
    std::tm fields{};
    fields.tm_year = kZipYear - 1900;
    fields.tm_mon = 2;
    fields.tm_mday = 31;
    fields.tm_hour = 12;
    fields.tm_isdst = -1;
    return std::mktime(&fields);
}

void writeZip(const std::filesystem::path& path, const std::vector<ZipMember>& members) {
    std::filesystem::create_directories(path.parent_path());
    int error = 0;
    zip_t* zip = zip_open(path.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (zip == nullptr)
        throw std::runtime_error("cannot write " + path.string());
    const std::time_t time = fixedZipTime();
    const auto fail = [&]() -> void {
        const std::string why = zip_strerror(zip);
        zip_discard(zip);
        throw std::runtime_error("cannot write " + path.string() + ": " + why);
    };
    // libzip reads the buffers only when it closes the zip: `members` outlives that.
    for (const ZipMember& member : members) {
        zip_source_t* source = zip_source_buffer(zip, member.data.data(), member.data.size(), 0);
        if (source == nullptr)
            fail();
        const zip_int64_t index = zip_file_add(zip, member.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            fail();
        }
        const auto at = static_cast<zip_uint64_t>(index);
        if (zip_set_file_compression(zip, at, member.deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 9) != 0 ||
            zip_file_set_mtime(zip, at, time, 0) != 0)
            fail();
    }
    if (zip_close(zip) != 0)
        fail();
}

} // namespace

void writeDemoGame(const std::filesystem::path& folder, const DemoOptions& options) {
    const bool cd = options.layout == DemoLayout::Cd;
    const bool ee = options.layout == DemoLayout::Ee;
    if (ee && (options.stringCount < 0 || options.stringCount > 1000000))
        throw std::invalid_argument("the number of strings must lie between 0 and 1000000");
    std::vector<PlannedArchive> archives = planArchives(options);
    const std::string tlk = ee ? std::string() : planStrings(archives, options.seed);
    const EditionTables tables =
        ee ? planEditionStrings(archives, options.seed, options.stringCount) : EditionTables{};
    std::filesystem::create_directories(folder);
    for (std::size_t index = 0; index < archives.size(); ++index) {
        const PlannedArchive& archive = archives[index];
        if (!archive.onDisk)
            continue;
        std::string relative = archive.folder + archive.keyName;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        const auto locatorHigh = cd || ee ? static_cast<std::int16_t>(16 * index) : std::int16_t{0};
        writeArchive(folder / relative, archive, locatorHigh);
        // Each language keeps its own copy of the spoken archives.
        if (ee && archive.folder.starts_with("lang/en_US/"))
            writeArchive(folder / ("lang/de_DE/" + relative.substr(archive.folder.size())), archive,
                         locatorHigh);
    }
    if (ee) {
        const EditionExtras extras = planEditionExtras(archives, tables.englishStrings, options.seed);
        writeFile(folder / "data/DEFAULT.BIF", extras.defaultArchive);
        writeFile(folder / "chitin.key", catalogue(archives, '/', extras.defaultEntries));
        writeFile(folder / "lang/en_US/dialog.tlk", tables.english);
        writeFile(folder / "lang/de_DE/dialog.tlk", tables.german);
        if (!extras.overrideName.empty())
            writeFile(folder / "override" / extras.overrideName, extras.overrideData);
        writeZip(folder / "dlc/sod-dlc.zip", extras.dlc);
        return;
    }
    writeFile(folder / (cd ? "Chitin.key" : "chitin.key"), catalogue(archives));
    writeFile(folder / (cd ? "dialog.tlk" : "Dialog.tlk"), tlk);
    if (cd)
        // As the installer leaves it: the game folder and its CD folders by their Windows paths.
        writeFile(folder / "Baldur.ini", "[Program Options]\r\nPath Search Order=HD0 CD1\r\n\r\n[Alias]\r\n"
                                         "HD0:=C:\\Games\\BG\\\r\nCD1:=C:\\Games\\BG\\CD1\\\r\n"
                                         "CD2:=C:\\Games\\BG\\CD2\\\r\n");
}

void writeDemoGame(const std::filesystem::path& folder, int filesPerArchive, unsigned seed) {
    DemoOptions options;
    options.filesPerArchive = filesPerArchive;
    options.seed = seed;
    writeDemoGame(folder, options);
}

} // namespace qm::build
