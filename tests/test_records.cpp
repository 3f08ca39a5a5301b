#include "ByteReader.h"
#include "ByteSource.h"
#include "FailingSource.h"
#include "FileError.h"
#include "GameBuilder.h"
#include "Records.h"
#include "SafeName.h"
#include "StringTable.h"
#include "TempDir.h"
#include "TestSupport.h"
#include "TextCipher.h"
#include "TypeTable.h"

#include <gtest/gtest.h>
#include <utility>

using qm::test::TempDir;

namespace {

std::string name(std::string_view eight) {
    std::array<std::uint8_t, 8> bytes{};
    for (std::size_t i = 0; i < 8 && i < eight.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(eight[i]);
    return qm::resRefName(bytes);
}

} // namespace

TEST(ResRefName, SkipsZeroBytesWhereverTheyStand) {
    EXPECT_EQ(name(std::string("AB\0CD\0\0\0", 8)), "ABCD");
    EXPECT_EQ(name(std::string("\0\0\0\0\0\0\0Z", 8)), "Z");
    EXPECT_EQ(name("ABCDEFGH"), "ABCDEFGH");
    EXPECT_EQ(name(std::string(8, '\0')), "");
    EXPECT_EQ(name(std::string("lower\0\0\0", 8)), "lower");
}

struct TypeCase {
    const char* label;
    std::int16_t code;
    const char* extension;
};

class ExtensionForTypeTest : public testing::TestWithParam<TypeCase> {};

TEST_P(ExtensionForTypeTest, GivesTheTableExtensionOrTheSignedCode) {
    EXPECT_EQ(qm::ExtensionForType(GetParam().code), GetParam().extension);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ExtensionForTypeTest,
    testing::Values(TypeCase{"Bitmap", 1, "BMP"}, TypeCase{"Movie", 2, "MVE"}, TypeCase{"Sound", 4, "WAV"},
                    TypeCase{"Animation", 1000, "BAM"}, TypeCase{"FirstOfRun", 1001, "WED"},
                    TypeCase{"Ids", 1003, "IDS"}, TypeCase{"Table", 1008, "2DA"},
                    TypeCase{"Creature", 1009, "CRE"}, TypeCase{"SaveA", 1012, "GAM"},
                    TypeCase{"SaveB", 1013, "GAM"}, TypeCase{"LastOfRun", 1015, "WMP"},
                    TypeCase{"AfterRun", 1016, " 1016"}, TypeCase{"Zero", 0, " 0"},
                    TypeCase{"BetweenTwoAndFour", 3, " 3"}, TypeCase{"BelowRun", 999, " 999"},
                    TypeCase{"MinusOne", -1, "-1"}, TypeCase{"Lowest", -32768, "-32768"},
                    TypeCase{"Highest", 32767, " 32767"}),
    [](const testing::TestParamInfo<TypeCase>& p) { return std::string(p.param.label); });

TEST(Records, ReadsFixedTablePositionsAndSignedFields) {
    TempDir dir;
    std::string key(24 + 12 * 2, '\0');
    // ResourceCount 2, of which one is stored; ResourceTableOffset 59; archive entry 1: NameOffset
    // 0x00010030, of which only the low half (48) counts, and NameLength 11.
    key[12] = 2;
    key[20] = 59;
    key[24 + 12 + 4] = 48;
    key[24 + 12 + 6] = 1;
    key[24 + 12 + 8] = 11;
    key += std::string("data\\X.BIF\0", 11);
    key += std::string("AB\0\0\0\0\0\0\xFF\xFF\x05\x00\x60\x02", 14);
    qm::test::writeBytes(dir / "chitin.key", key);
    qm::ByteReader r(dir / "chitin.key");
    EXPECT_EQ(qm::ArchiveNameBlock(r).name(1), "X.BIF");
    const std::vector<qm::KeyResourceRecord> records = qm::readResourceTable(r);
    ASSERT_EQ(records.size(), 1u) << "a table cut short ends at its last whole entry";
    EXPECT_EQ(qm::resRefName(records[0].resRef), "AB");
    EXPECT_EQ(records[0].resourceType, -1);
    EXPECT_EQ(records[0].locatorLow, 5);
    EXPECT_EQ(records[0].locatorHigh, 608);
}

TEST(Records, FileTableStartsAtOffsetTwentyWhateverTheHeaderSays) {
    TempDir dir;
    std::string bif(20 + 16 * 2, '\0');
    bif.replace(0, 8, "BIFFV1  ");
    bif[8] = 2;
    bif[16] = 99; // a header offset the reader must not follow
    const std::string second("\x01\x00\x00\x00\x10\x00\x00\x00\xFF\xFF\xFF\xFF\xED\x03", 14);
    bif.replace(20 + 16, 14, second);
    qm::test::writeBytes(dir / "a.bif", bif);
    qm::ByteReader r(dir / "a.bif");
    EXPECT_EQ(qm::readFileEntryCount(r), 2);
    r.seek(qm::kFileTableOffset + qm::kFileEntrySize);
    const auto e = qm::readFileEntry(r);
    EXPECT_EQ(e.locatorLow, 1);
    EXPECT_EQ(e.dataOffset, 16);
    EXPECT_EQ(e.dataSize, -1);
    EXPECT_EQ(e.resourceType, 1005);
    const auto bounds = qm::readDataBounds(r, 1);
    EXPECT_EQ(bounds.dataOffset, 16);
    EXPECT_EQ(bounds.dataSize, -1);
}

TEST(SafeName, ReplacesSeparatorsForbiddenCharactersAndControlCodes) {
    EXPECT_EQ(qm::safeName("..\\..\\EVIL"), ".._.._EVIL");
    EXPECT_EQ(qm::safeName("a/b:c*d?e\"f<g>h|i"), "a_b_c_d_e_f_g_h_i");
    EXPECT_EQ(qm::safeName(std::string("ta\tb\x01\x7F", 6)), "ta_b__");
    EXPECT_EQ(qm::safeName("\x80\x81\x8D\x8E\x8F\x90\x9D\x9F"), "\x80__\x8E___\x9F")
        << "the bytes that decode to C1 controls; the euro sign, Z and Y with marks stay";
    EXPECT_EQ(qm::safeName("CAF\xC9 OK"), "CAF\xC9 OK") << "8-bit letters and blanks are fine in names";
}

TEST(SafeName, WindowsDeviceNamesAndTrailingDotsBecomeOrdinaryFiles) {
    const std::pair<const char*, const char*> rows[] = {{"CON.ITM", "_CON.ITM"},
                                                        {"nul.WAV", "_nul.WAV"},
                                                        {"Aux.x.y", "_Aux.x.y"},
                                                        {"COM1. 3", "_COM1. 3"},
                                                        {"lpt9.CRE", "_lpt9.CRE"},
                                                        {"PRN", "_PRN"},
                                                        {"COM0.ITM", "COM0.ITM"},
                                                        {"CONSOLE.ITM", "CONSOLE.ITM"},
                                                        {"LPT10.ITM", "LPT10.ITM"},
                                                        {"AB.", "AB._"},
                                                        {"AB ", "AB _"},
                                                        {"CON.", "_CON._"},
                                                        {"SWORD.ITM", "SWORD.ITM"}};
    for (const auto& [name, expected] : rows)
        EXPECT_EQ(qm::windowsSafeFileName(name), expected) << name;
#ifdef _WIN32
    EXPECT_EQ(qm::windowsOutputName("CON.ITM"), "_CON.ITM");
#else
    EXPECT_EQ(qm::windowsOutputName("CON.ITM"), "CON.ITM") << "Linux names stay as they are";
#endif
}

// Encrypted text tables: FF FF, then the text XORed with the game's 64-byte key. The stored bytes here
// were worked out by hand from the key's first bytes (88 A8 8F) and its last (CA).
TEST(TextCipher, DecryptsMarkedTablesAndLeavesOthersAlone) {
    struct Row {
        const char* label;
        std::string stored;
        std::string plain;
        bool encrypted;
    };
    const Row rows[] = {
        {"HandXored", "\xFF\xFF\xC1\xEC\xDC", "IDS", true},
        {"MarkAlone", "\xFF\xFF", "", true},
        {"NotEncrypted", "2DA V1.0\r\n0\r\n", "2DA V1.0\r\n0\r\n", false},
        {"OneMarkByteIsNoMark", "\xFFIDS", "\xFFIDS", false},
        {"Empty", "", "", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(qm::isEncryptedText(row.stored), row.encrypted) << row.label;
        EXPECT_EQ(qm::decryptText(row.stored), row.plain) << row.label;
        if (row.encrypted) {
            EXPECT_EQ(qm::encryptText(row.plain), row.stored) << row.label;
        }
    }
}

TEST(TextCipher, KeyRepeatsAndEveryByteValueSurvivesTheRoundTrip) {
    const std::string as = qm::encryptText(std::string(65, 'A'));
    ASSERT_EQ(as.size(), 67u);
    EXPECT_EQ(as[2], '\xC9') << "'A' ^ 0x88";
    EXPECT_EQ(as[65], '\x8B') << "'A' ^ 0xCA, the key's last byte";
    EXPECT_EQ(as[66], '\xC9') << "the key starts again at text byte 64";

    std::string plain;
    for (int i = 0; i < 600; ++i)
        plain += static_cast<char>(i * 7 % 256);
    const std::string stored = qm::encryptText(plain);
    EXPECT_NE(stored.substr(2), plain);
    EXPECT_EQ(qm::decryptText(stored), plain);
}

namespace {

// A read that fails part-way through a game file reports the medium's error number to the caller; each
// reader reads from memory here, as the fuzzers do.
struct FailingReadCase {
    const char* name;
    std::int64_t failAt;
    int number;
};

class FailingRead : public ::testing::TestWithParam<FailingReadCase> {};

} // namespace

TEST_P(FailingRead, ReportsTheMediumsNumber) {
    const FailingReadCase& c = GetParam();
    qm::build::KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    for (int i = 0; i < 40; ++i)
        key.addResource("R" + std::to_string(i), 1005, static_cast<std::int16_t>(i), 240);
    qm::build::TlkBuilder tlk;
    for (int i = 0; i < 40; ++i)
        tlk.add("string " + std::to_string(i));
    const auto failing = [&c](std::string bytes) {
        return std::make_unique<qm::test::FailingSource>(std::move(bytes), c.failAt, c.number);
    };
    qm::ByteReader catalogue(failing(key.bytes()));
    EXPECT_EQ(qm::test::errorNumberOf([&] { qm::readResourceTable(catalogue); }), c.number);
    qm::ByteReader names(failing(key.bytes()));
    EXPECT_EQ(qm::test::errorNumberOf([&] { const qm::ArchiveNameBlock block(names); }), c.number);
    qm::ByteReader archive(failing(qm::build::BifBuilder().bytes() + std::string(600, 'x')));
    EXPECT_EQ(qm::test::errorNumberOf([&] {
                  archive.seek(0);
                  std::string all(600, '\0');
                  archive.readExact(std::as_writable_bytes(std::span(all.data(), all.size())));
              }),
              c.number);
    EXPECT_EQ(qm::test::errorNumberOf([&] {
                  qm::StringTable strings(failing(tlk.bytes()));
                  for (std::int16_t n = 0; n < 40; ++n)
                      strings.get(n);
              }),
              c.number);
}

INSTANTIATE_TEST_SUITE_P(Media, FailingRead,
                         ::testing::Values(FailingReadCase{"InTheHeader", 10, qm::PermissionDenied},
                                           FailingReadCase{"InTheTables", 60, qm::PathFileAccessError},
                                           FailingReadCase{"FurtherOn", 400, qm::DiskFull}),
                         qm::test::CaseName{});
