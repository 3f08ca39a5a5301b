// Writes the fuzzers' seed corpora: demo games as mkdemo makes them, cut down to a size a fuzzer can
// mutate quickly, and hand-built hostile files. Usage: make_seeds FOLDER
#include "ByteReader.h"
#include "Endian.h"
#include "GameBuilder.h"
#include "Records.h"
#include "Sandbox.h"
#include "SoundBuilder.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>
#include <zip.h>

namespace fs = std::filesystem;
using qm::build::BifBuilder;
using qm::build::KeyBuilder;
using qm::build::TlkBuilder;

namespace {

constexpr std::size_t kDataKept = 40; // item files keep their name index at bytes 12-13

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Corpus {
public:
    Corpus(const fs::path& root, const std::string& name) : m_folder(root / name) {
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void add(const std::string& bytes) {
        qm::build::writeFile(m_folder / ("seed-" + std::to_string(m_count++)), bytes);
    }

private:
    fs::path m_folder;
    int m_count = 0;
};

// The archive with its file table as it is and every file's data cut to its first bytes.
std::string shrinkArchive(const fs::path& path) {
    qm::ByteReader bif(path);
    const std::int32_t count = qm::readFileEntryCount(bif);
    BifBuilder small;
    for (std::int32_t i = 0; i < count; ++i) {
        bif.seek(qm::kFileTableOffset + qm::kFileEntrySize * i);
        const qm::BifFileEntry entry = qm::readFileEntry(bif);
        std::string data(static_cast<std::size_t>(std::min<std::int32_t>(entry.dataSize, kDataKept)), '\0');
        bif.seek(entry.dataOffset);
        bif.readExact(std::as_writable_bytes(std::span(data.data(), data.size())));
        small.add(entry.locatorLow, entry.locatorHigh, entry.resourceType, data);
    }
    return small.bytes();
}

void demoSeeds(const fs::path& scratch, Corpus& catalogue, Corpus& walk, Corpus& extract, Corpus& tlk) {
    static const std::vector<std::string> kArchives = {"ITEMS", "CREATURE", "SPELLS", "CHASOUND"};
    for (const unsigned seed : {1u, 7u}) {
        const fs::path game = scratch / ("demo" + std::to_string(seed));
        qm::build::writeDemoGame(game, seed == 1 ? 3 : 1, seed);
        const std::string key = readAll(game / "chitin.key");
        catalogue.add(key);
        for (std::size_t a = 0; a < kArchives.size(); ++a) {
            const std::string bif = shrinkArchive(game / "data" / (kArchives[a] + ".BIF"));
            walk.add(qm::fuzz::joinGameInput(static_cast<std::uint8_t>(a), key, bif));
            extract.add(qm::fuzz::joinGameInput(static_cast<std::uint8_t>(a | 4), key, bif));
        }
        const std::string table = readAll(game / "Dialog.tlk");
        for (const std::int16_t n : {0, 1, 4, 9}) {
            std::string input{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF)};
            tlk.add(input + table);
        }
    }
}

void hostileGameSeeds(Corpus& walk, Corpus& extract) {
    KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    key.addResource("..\\..\\AB", 1005, 0, 240);
    key.addResource("C:/x|\x01\xE9", 1005, 1, 240);
    key.addResource("FAR", 1005, 2, 240);
    BifBuilder bif;
    bif.add(1005, "ITM V1  \x01\x02\x03\x04\x05\x06\x07\x08");
    bif.add(1005, "ITM V1  abcdefgh");
    bif.add(1005, "ITM V1  zz").dataOffset = -5;
    const std::string names = bif.bytes();

    BifBuilder huge = bif;
    huge.setFileEntryCount(std::numeric_limits<std::int32_t>::max());
    BifBuilder beyond;
    beyond.add(1005, "x").dataSize = std::numeric_limits<std::int32_t>::max();
    beyond.add(1005, "y").dataOffset = std::numeric_limits<std::int32_t>::max();
    beyond.add(1005, "z").dataSize = -7;
    KeyBuilder lost = key;
    lost.setResourceTableOffset(-1);

    for (const std::string& b : {names, huge.bytes(), beyond.bytes()}) {
        walk.add(qm::fuzz::joinGameInput(0, key.bytes(), b));
        extract.add(qm::fuzz::joinGameInput(0, key.bytes(), b));
    }
    walk.add(qm::fuzz::joinGameInput(0, lost.bytes(), names));
    extract.add(qm::fuzz::joinGameInput(0, lost.bytes(), names));
}

void catalogueSeeds(Corpus& catalogue) {
    KeyBuilder mixed;
    mixed.addArchive("movies\\CREATURE.BIF");
    mixed.addArchive("data\\items.bif");
    mixed.addArchive("data\\Spells.BIF ");
    mixed.addRawArchive(0xFFFFFFF0u, 40);
    mixed.addArchive("data\\CHASOUND.BIF");
    catalogue.add(mixed.bytes());

    // Names beyond the reach of the 16-bit position.
    KeyBuilder far;
    far.addArchive("data\\ITEMS.BIF");
    far.setNamesOffset(32758);
    catalogue.add(far.bytes());
}

void tlkSeeds(Corpus& tlk) {
    TlkBuilder table;
    table.add("Moonwrought Lantern");
    table.add("");
    table.entry(table.add("tail")).stringLength = 0xFFF0;
    const std::string bytes = table.bytes();
    // Long strings and a long table, past what mutation of the small seeds grows to.
    TlkBuilder big;
    big.add(std::string(9000, 'x'));
    for (int i = 0; i < 400; ++i)
        big.add("item " + std::to_string(i));
    big.add(std::string(20000, 'y'));
    const std::string bigBytes = big.bytes();
    for (const std::int16_t n : {0, 2, -1, 32767}) {
        std::string input{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF)};
        tlk.add(input + bytes);
    }
    for (const std::int16_t n : {0, 200, 401}) {
        std::string input{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF)};
        tlk.add(input + bigBytes);
    }
}

void registrySeeds(Corpus& registry) {
    const std::string head =
        "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n";
    const std::string key =
        "[Software\\\\Microsoft\\\\DirectPlay\\\\Applications\\\\Baldur's Gate] 1700000000\n";
    registry.add(head + key + "#time=1d9c1f8a0b2c3d4\n\"Path\"=\"C:\\\\Games\\\\BG\\\\\"\n");
    registry.add(head + key + "\"path\"=str(2):\"C:\\\\Games\\\\Caf\\xe9\\\\\"\n\"Other\"=dword:0000002a\n");
    registry.add(head + key +
                 "\"Path\"=hex(1):43,00,3a,00,5c,00,47,00,61,00,6d,00,65,00,\\\n  73,00,5c,00,00,00\n");
    registry.add(head + key + "\"Path\"=dword:ffffffff\n");
    registry.add(head + key + "@=\"default\"\n\"Path\"=hex:43,3a,5c,42,47,5c,00\n");
    // Values at and past the 1024-byte limit, and a line past the 64 KiB a line may hold.
    for (const std::size_t length : {1023u, 1024u, 2100u})
        registry.add(head + key + "\"Path\"=\"C:\\\\" + std::string(length - 3, 'a') + "\"\n");
    registry.add(head + key + "\"Other\"=\"" + std::string(66000, 'b') + "\"\n\"Path\"=\"C:\\\\BG\"\n");
    registry.add(head +
                 "[Software\\\\Wow6432Node\\\\Microsoft\\\\DirectPlay\\\\Applications\\\\Baldur's Gate] 1\n"
                 "\"Path\"=\"C:\\\\Program Files\\\\Black Isle\\\\BGII - SvA\\\\\"\n");
}

// Short made-up sounds of every kind the reader knows, and their headers with nothing behind them.
void soundSeeds(Corpus& sound) {
    const auto mono = qm::build::tone(1, 22050, 1024, 440.0);
    const auto stereo = qm::build::tone(2, 11025, 512, 330.0);
    const std::string seeds[] = {qm::build::wavcFile(mono, 1, 22050), qm::build::wavcFile(stereo, 2, 11025),
                                 qm::build::acmStream(mono, 1, 22050), qm::build::riffFile(stereo, 2, 11025)};
    for (const std::string& seed : seeds) {
        sound.add(seed);
        sound.add(seed.substr(0, 48));
    }
}

// The format's catalogue and archives as the game's layers read them: a catalogue with names in each
// separator form and a tileset's locator, and archives of files and of a tileset.
void keyFileSeeds(Corpus& keyfile) {
    KeyBuilder key;
    key.addArchive("data\\AR0010.BIF");
    key.addArchive(":data:AR0011.BIF");
    key.addArchive("lang/en_US/data/X.bif");
    key.addResource("SWORD", 1005, 0, 0);
    key.addResource("sword", 1005, 1, 16);
    key.addResource("AR0010", 1003, 0x4000, 32);
    keyfile.add(key.bytes());
    BifBuilder bif;
    bif.add(1005, "ITM V1  abcdefgh");
    bif.add(5, 0, 1005, "ITM V1  ");
    keyfile.add(bif.bytes());
    std::string tiles = "BIFFV1  ";
    for (const std::uint32_t field : {0u, 1u, 20u, 1u << 14, 40u, 2u, 4u})
        qm::endian::appendU32(tiles, field);
    tiles += std::string("\xEB\x03\0\0", 4) + "TILETILE";
    keyfile.add(tiles);
}

// Zips as DLCs hold them, written by libzip: a stored and a deflated member, a folder entry.
void zipSeeds(const fs::path& scratch, Corpus& zips) {
    KeyBuilder key;
    key.addArchive("data/DLC.bif");
    key.addResource("NEW", 1005, 0, 0);
    BifBuilder bif;
    bif.add(1005, std::string(200, 'n'));
    const std::vector<std::string> members = {key.bytes(), bif.bytes()};
    for (const bool deflate : {false, true}) {
        fs::create_directories(scratch);
        const fs::path path = scratch / "seed.zip";
        int error = 0;
        zip_t* zip = zip_open(path.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (zip == nullptr)
            throw std::runtime_error("libzip cannot write " + path.string());
        const char* names[] = {"mod.key", "data/DLC.bif"};
        for (std::size_t i = 0; i < members.size(); ++i) {
            zip_source_t* source = zip_source_buffer(zip, members[i].data(), members[i].size(), 0);
            const zip_int64_t index = zip_file_add(zip, names[i], source, ZIP_FL_ENC_UTF_8);
            zip_set_file_compression(zip, static_cast<zip_uint64_t>(index),
                                     deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
        }
        zip_dir_add(zip, "lang/", ZIP_FL_ENC_UTF_8);
        if (zip_close(zip) != 0)
            throw std::runtime_error("libzip cannot write " + path.string());
        zips.add(readAll(path));
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    try {
        const fs::path root = argv[1];
        const fs::path scratch = root / "scratch";
        Corpus catalogue(root, "catalogue");
        Corpus walk(root, "walk");
        Corpus extract(root, "extract");
        Corpus tlk(root, "tlkstring");
        Corpus registry(root, "registry");
        Corpus sound(root, "sound");
        Corpus keyfile(root, "keyfile");
        Corpus zips(root, "zip");
        demoSeeds(scratch, catalogue, walk, extract, tlk);
        hostileGameSeeds(walk, extract);
        catalogueSeeds(catalogue);
        tlkSeeds(tlk);
        registrySeeds(registry);
        soundSeeds(sound);
        keyFileSeeds(keyfile);
        zipSeeds(scratch, zips);
        fs::remove_all(scratch);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
