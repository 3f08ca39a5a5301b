#include "Registry.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using qm::test::ScopedEnv;
using qm::test::TempDir;
using qm::test::writeBytes;

const std::string kGameKey = "SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate";
// Whatever the caller held before; values that leave the result alone must leave this.
const std::string kBefore = "before";

const std::string kHeader = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n\n";
// The game's key as Wine writes it: backslashes doubled, a time stamp after the name.
const std::string kGameKeyLine =
    R"([Software\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate] 1700000000)"
    "\n#time=1da0b0c0d0e0f00\n";

std::string gameKeyFile(const std::string& valueLines) {
    return kHeader + kGameKeyLine + valueLines + "\n";
}

std::string utf16le(const std::string& ascii) {
    std::string out;
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// hex(N): data the way Wine lays it out, a backslash ending every full line.
std::string hexData(int type, const std::string& bytes) {
    static const char* const kDigits = "0123456789abcdef";
    std::string out = type == 3 ? "hex:" : "hex(" + std::to_string(type) + "):";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0xF];
        if (i + 1 < bytes.size())
            out += (i % 24 == 23) ? ",\\\n  " : ",";
    }
    return out;
}

struct Outcome {
    bool ok;
    std::string result;
};

Outcome readFile(const std::string& fileText, const std::string& valueName = "Path",
                 const std::string& keyPath = kGameKey) {
    TempDir dir;
    writeBytes(dir / "system.reg", fileText);
    std::string result = kBefore;
    const bool ok = qm::readWineRegistryValue(dir / "system.reg", keyPath, valueName, result);
    return {ok, result};
}

struct ValueCase {
    const char* name;
    std::string valueLines; // below the game's key
    bool ok;
    std::string expected;
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

std::string caseName(const ::testing::TestParamInfo<ValueCase>& info) {
    return info.param.name;
}

class ValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueTest, ReadsAsWindowsWould) {
    const ValueCase& c = GetParam();
    const Outcome outcome = readFile(gameKeyFile(c.valueLines));
    EXPECT_EQ(outcome.ok, c.ok);
    EXPECT_EQ(outcome.result, c.expected);
}

// One reading for several values answers each as a reading of its own, into a text that starts empty;
// the same value asked twice and a value of another key do not get in each other's way.
TEST_P(ValueTest, ReadsTheSameAmongOtherValues) {
    const ValueCase& c = GetParam();
    TempDir dir;
    writeBytes(dir / "system.reg", gameKeyFile(c.valueLines) + "[Software\\\\Other] 1\n\"Path\"=\"other\"\n");
    const std::vector<std::string> texts = qm::readWineRegistryTexts(
        dir / "system.reg", {{kGameKey, "Path"}, {"Software\\Other", "Path"}, {kGameKey, "Path"}});
    const std::string expected = c.expected == kBefore ? "" : c.expected;
    EXPECT_EQ(texts, (std::vector<std::string>{expected, "other", expected}));
}

INSTANTIATE_TEST_SUITE_P(
    Strings, ValueTest,
    ::testing::Values(
        ValueCase{"GameFolder", R"("Path"="C:\\Games\\BG\\")", true, R"(C:\Games\BG\)"},
        ValueCase{"StrTagForm", R"("Path"=str:"C:\\BG\\")", true, R"(C:\BG\)"},
        ValueCase{"EmptyText", R"("Path"="")", true, ""},
        ValueCase{"StoredWithoutNul", "\"Path\"=" + hexData(1, utf16le("C:\\BG")), true, "C:\\BG"},
        ValueCase{"StoredWithNul", "\"Path\"=" + hexData(1, utf16le(std::string("C:\\BG\0", 6))), true,
                  "C:\\BG"},
        ValueCase{"OnlyOneNulRemoved", "\"Path\"=" + hexData(1, utf16le(std::string("AB\0\0", 4))), true,
                  std::string("AB\0", 3)},
        ValueCase{"InnerNulKept", "\"Path\"=" + hexData(1, utf16le(std::string("A\0B", 3))), true,
                  std::string("A\0B", 3)},
        ValueCase{"ZeroLength", "\"Path\"=hex(1):", true, ""},
        ValueCase{"HexOverSeveralLines", "\"Path\"=hex(1):43,00,3a,00,\\\n  5c,00,47,00,\\\n  00,00", true,
                  "C:\\G"},
        ValueCase{"SpacesAroundEquals", R"("Path" = "C:\\BG\\")", true, R"(C:\BG\)"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Escapes, ValueTest,
    ::testing::Values(ValueCase{"BackslashAndQuote", R"("Path"="a\\b\"c")", true, "a\\b\"c"},
                      ValueCase{"HexEscapeLatin1", R"("Path"="caf\x00e9")", true, "caf\xE9"},
                      ValueCase{"HexEscapeShortForm", R"("Path"="\xe9!")", true, "\xE9!"},
                      ValueCase{"HexEscapeStopsAfterFourDigits", R"("Path"="\x0041b")", true, "Ab"},
                      ValueCase{"EuroSignToCodePage", R"("Path"="\x20ac")", true, "\x80"},
                      ValueCase{"OutsideCodePage", R"("Path"="a\x263ab")", true, "a?b"},
                      ValueCase{"SurrogatePairOneByteEachHalf", R"("Path"="\xd83d\xde00")", true, "??"},
                      ValueCase{"ControlEscapes", R"("Path"="\a\b\e\f\n\r\t\v")", true, "\a\b\x1b\f\n\r\t\v"},
                      ValueCase{"OctalEscapes", R"("Path"="\101\0B")", true, std::string("A\0B", 3)},
                      ValueCase{"OctalAtMostThreeDigits", R"("Path"="\0101")", true, "\b1"},
                      ValueCase{"OtherEscapeIsTheCharacter", R"("Path"="\q\]")", true, "q]"},
                      ValueCase{"BareX", R"("Path"="\xz")", true, "xz"},
                      ValueCase{"RawUtf8", "\"Path\"=\"caf\xC3\xA9\"", true, "caf\xE9"},
                      ValueCase{"RawLatin1Byte", "\"Path\"=\"caf\xE9\"", true, "caf\xE9"},
                      ValueCase{"RawOverlongUtf8IsLatin1", "\"Path\"=\"a\xC0\xA9\"", true, "a\xC0\xA9"}),
    caseName);

std::string repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Limits, ValueTest,
    ::testing::Values(
        ValueCase{"Text1023Accepted", "\"Path\"=\"" + std::string(1023, 'a') + "\"", true,
                  std::string(1023, 'a')},
        ValueCase{"Text1024Fails", "\"Path\"=\"" + std::string(1024, 'a') + "\"", false, ""},
        ValueCase{"EscapedText1023Accepted", "\"Path\"=\"" + repeat(R"(\x00e9)", 1023) + "\"", true,
                  std::string(1023, '\xE9')},
        ValueCase{"EscapedText1024Fails", "\"Path\"=\"" + repeat(R"(\x00e9)", 1024) + "\"", false, ""},
        ValueCase{"UnterminatedText1024Accepted", "\"Path\"=" + hexData(1, utf16le(std::string(1024, 'a'))),
                  true, std::string(1024, 'a')},
        ValueCase{"UnterminatedText1025Fails", "\"Path\"=" + hexData(1, utf16le(std::string(1025, 'a'))),
                  false, ""},
        ValueCase{"Binary1024Accepted", "\"Path\"=" + hexData(3, std::string(1024, '\x7f')), true, kBefore},
        ValueCase{"Binary1025Fails", "\"Path\"=" + hexData(3, std::string(1025, '\x7f')), false, ""},
        ValueCase{"ExpandText1024Fails", "\"Path\"=str(2):\"" + std::string(1024, 'a') + "\"", false, ""},
        ValueCase{"HugeLineFails", "\"Path\"=\"" + std::string(200000, 'a') + "\"", false, ""},
        ValueCase{"HugeHexFails", "\"Path\"=" + hexData(1, std::string(100000, 'a')), false, ""}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    OtherTypes, ValueTest,
    ::testing::Values(
        ValueCase{"ExpandStringLeavesResult", R"("Path"=str(2):"%ProgramFiles%\\BG\\")", true, kBefore},
        ValueCase{"ExpandHexLeavesResult", "\"Path\"=" + hexData(2, utf16le("C:\\")), true, kBefore},
        ValueCase{"BinaryLeavesResult", R"("Path"=hex:43,3a,5c,00)", true, kBefore},
        ValueCase{"MultiStringLeavesResult", R"("Path"=str(7):"a\0b\0")", true, kBefore},
        ValueCase{"NoneTypeLeavesResult", R"("Path"=hex(0):)", true, kBefore}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Numbers, ValueTest,
    ::testing::Values(ValueCase{"One", "\"Path\"=dword:00000001", true, "1"},
                      ValueCase{"Zero", "\"Path\"=dword:00000000", true, "0"},
                      ValueCase{"Large", "\"Path\"=dword:6553f100", true, "1700000000"},
                      ValueCase{"UpperCaseDigits", "\"Path\"=dword:0000ABCD", true, "43981"},
                      ValueCase{"AllBitsSetIsSigned", "\"Path\"=dword:ffffffff", true, "-1"},
                      ValueCase{"HighBitOnly", "\"Path\"=dword:80000000", true, "-2147483648"},
                      ValueCase{"FewDigits", "\"Path\"=dword:10", true, "16"},
                      ValueCase{"TwoBytesAreSixteenBits", "\"Path\"=hex(4):ff,ff", true, "-1"},
                      ValueCase{"OneByte", "\"Path\"=hex(4):ff", true, "255"},
                      ValueCase{"ThreeBytes", "\"Path\"=hex(4):ff,ff,7f", true, "8388607"},
                      ValueCase{"LowFourBytesOfMore", "\"Path\"=hex(4):01,02,03,04,05", true, "67305985"},
                      ValueCase{"NoBytes", "\"Path\"=hex(4):", true, ""}),
    caseName);

// Each alone under the key: the line is skipped, so the value is missing.
INSTANTIATE_TEST_SUITE_P(
    MalformedLines, ValueTest,
    ::testing::Values(ValueCase{"NoEquals", R"("Path" "C:\\")", false, ""},
                      ValueCase{"NoData", R"("Path"=)", false, ""},
                      ValueCase{"UnterminatedName", R"("Path=")", false, ""},
                      ValueCase{"UnterminatedText", R"("Path"="C:\\BG)", false, ""},
                      ValueCase{"UnknownTag", R"("Path"=text:"C:\\")", false, ""},
                      ValueCase{"DwordWithoutDigits", R"("Path"=dword:)", false, ""},
                      ValueCase{"DwordTooLong", R"("Path"=dword:123456789)", false, ""},
                      ValueCase{"DwordTrailingJunk", R"("Path"=dword:12x)", false, ""},
                      ValueCase{"HexTypeNotHex", R"("Path"=hex(zz):00)", false, ""},
                      ValueCase{"HexTypeUnclosed", R"("Path"=hex(1:41,00)", false, ""},
                      ValueCase{"HexBadDigit", R"("Path"=hex:4g)", false, ""},
                      ValueCase{"HexThreeDigits", R"("Path"=hex:414)", false, ""},
                      ValueCase{"ContinuationNeverEnds", "\"Path\"=hex(1):41,00,\\", false, ""},
                      ValueCase{"ContinuationBroken", "\"Path\"=hex(1):41,00,\\\n\"Other\"=\"x\"", false, ""},
                      ValueCase{"EscapeAtLineEnd", "\"Path\"=\"C:\\", false, ""}),
    caseName);

struct LookupCase {
    const char* name;
    std::string file; // the whole registry file
    std::string valueName;
    std::string keyPath;
    bool ok;
    std::string expected;
};

void PrintTo(const LookupCase& c, std::ostream* os) {
    *os << c.name;
}

class LookupTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LookupTest, FindsTheKeysValue) {
    const LookupCase& c = GetParam();
    const Outcome outcome = readFile(c.file, c.valueName, c.keyPath);
    EXPECT_EQ(outcome.ok, c.ok);
    EXPECT_EQ(outcome.result, c.expected);
}

const std::string kWowGameKeyLine =
    R"([Software\\Wow6432Node\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate] 1)"
    "\n";

INSTANTIATE_TEST_SUITE_P(
    Keys, LookupTest,
    ::testing::Values(
        LookupCase{"MissingValueFails", gameKeyFile(R"("Version"="1.0")"), "Path", kGameKey, false, ""},
        LookupCase{"MissingKeyFails",
                   kHeader + "[Software\\\\Microsoft\\\\DirectPlay] 1\n\"Path\"=\"C:\\\\\"\n", "Path",
                   kGameKey, false, ""},
        LookupCase{"KeyMatchIgnoresLetterCase",
                   kHeader + R"([software\\MICROSOFT\\directplay\\Applications\\BALDUR'S gate] 1)"
                             "\n"
                             R"("Path"="C:\\BG\\")",
                   "Path", kGameKey, true, R"(C:\BG\)"},
        LookupCase{"KeyMatchFoldsLatin1Letters",
                   kHeader + R"([Software\\\x00c9diteur] 1)"
                             "\n"
                             R"("Path"="x")",
                   "Path",
                   "SOFTWARE\\\xE9"
                   "DITEUR",
                   true, "x"},
        LookupCase{"ValueNameIgnoresLetterCase", gameKeyFile(R"("PATH"="C:\\BG\\")"), "path", kGameKey, true,
                   R"(C:\BG\)"},
        LookupCase{"ValueNameInMixedCase", gameKeyFile(R"("PATH"="C:\\BG\\")"), "Path", kGameKey, true,
                   R"(C:\BG\)"},
        LookupCase{"FoundBelowWow6432Node", kHeader + kWowGameKeyLine + R"("Path"="D:\\BG\\")", "Path",
                   kGameKey, true, R"(D:\BG\)"},
        LookupCase{"KeyAsGivenWinsOverWow6432Node",
                   kHeader + kWowGameKeyLine + R"("Path"="D:\\Wow\\")" + "\n" + kGameKeyLine +
                       R"("Path"="C:\\Plain\\")" + "\n",
                   "Path", kGameKey, true, R"(C:\Plain\)"},
        LookupCase{"SubkeyValueIsNotTheKeys",
                   kHeader + R"([Software\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate\\Extra] 1)"
                             "\n"
                             R"("Path"="C:\\BG\\")",
                   "Path", kGameKey, false, ""},
        LookupCase{"KeyWithLongerNameIsAnotherKey",
                   kHeader + R"([Software\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate II] 1)"
                             "\n"
                             R"("Path"="C:\\BG2\\")",
                   "Path", kGameKey, false, ""},
        LookupCase{"ValuesAfterTheNextKeyLineBelongToThatKey",
                   gameKeyFile("[Software\\\\Other] 1\n\"Path\"=\"C:\\\\\""), "Path", kGameKey, false, ""},
        LookupCase{"BrokenKeyLineEndsTheKeysValues", gameKeyFile("[Software\\\\Broken\n\"Path\"=\"C:\\\\\""),
                   "Path", kGameKey, false, ""},
        LookupCase{"LaterLineForTheSameValueWins",
                   gameKeyFile(R"("Path"="C:\\Old\\")"
                               "\n"
                               R"("Path"="C:\\New\\")"),
                   "Path", kGameKey, true, R"(C:\New\)"},
        LookupCase{"MalformedLaterLineKeepsEarlierValue",
                   gameKeyFile(R"("Path"="C:\\BG\\")"
                               "\n"
                               R"("Path"=bogus)"),
                   "Path", kGameKey, true, R"(C:\BG\)"},
        LookupCase{"LineAfterBrokenContinuationIsReadAfresh",
                   gameKeyFile("\"Path\"=hex(1):41,00,\\\n\"Path\"=\"C:\\\\BG\\\\\""), "Path", kGameKey, true,
                   R"(C:\BG\)"},
        LookupCase{"DefaultValueByEmptyName", gameKeyFile("@=\"default\"\n\"Path\"=\"C:\\\\\""), "", kGameKey,
                   true, "default"},
        LookupCase{"NamedValueBesideTheDefault", gameKeyFile("@=\"default\"\n\"Path\"=\"C:\\\\\""), "Path",
                   kGameKey, true, "C:\\"},
        LookupCase{"WindowsLineEnds",
                   "WINE REGISTRY Version 2\r\n\r\n"
                   R"([Software\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate] 1)"
                   "\r\n"
                   R"("Path"=hex(1):43,00,3a,00,\)"
                   "\r\n  5c,00\r\n",
                   "Path", kGameKey, true, "C:\\"}),
    qm::test::CaseName{});

TEST(RegistryFile, WithoutWineHeaderNothingIsRead) {
    const Outcome outcome = readFile(kGameKeyLine + R"("Path"="C:\\BG\\")"
                                                    "\n");
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.result, "");
}

TEST(RegistryFile, EmptyFileFails) {
    const Outcome outcome = readFile("");
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.result, "");
}

TEST(RegistryFile, MissingFileFails) {
    TempDir dir;
    std::string result = kBefore;
    EXPECT_FALSE(qm::readWineRegistryValue(dir / "system.reg", kGameKey, "Path", result));
    EXPECT_EQ(result, "");
}

TEST(RegistryFile, FolderInsteadOfFileFails) {
    TempDir dir;
    fs::create_directory(dir / "system.reg");
    std::string result = kBefore;
    EXPECT_FALSE(qm::readWineRegistryValue(dir / "system.reg", kGameKey, "Path", result));
    EXPECT_EQ(result, "");
}

TEST(RegistryFile, JunkLinesAroundTheValueAreSkipped) {
    const std::string junk =
        "garbage\n\"Path\n=\"x\"\n\"Path\"=hex(zz):00\n#link\n;comment\n\\\n  41,00\n@\n\"\"\n";
    const Outcome outcome = readFile(kHeader + junk + kGameKeyLine + junk +
                                     R"("Path"="C:\\BG\\")"
                                     "\n" +
                                     junk);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.result, R"(C:\BG\)");
}

TEST(RegistryFile, RandomBytesBeforeTheKeyAreSkipped) {
    std::mt19937 random(12345);
    std::string junk;
    for (int i = 0; i < 512 * 1024; ++i)
        junk += static_cast<char>(random() & 0xFF);
    const Outcome outcome = readFile(kHeader + junk + "\n" + kGameKeyLine +
                                     R"("Path"="C:\\BG\\")"
                                     "\n");
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.result, R"(C:\BG\)");
}

TEST(RegistryFile, HugeLinesAreSkipped) {
    const std::string huge = "\"" + std::string(8 * 1024 * 1024, 'x');
    const Outcome outcome = readFile(kHeader + huge + "\n" + kGameKeyLine + huge + "\n" +
                                     R"("Path"="C:\\BG\\")"
                                     "\n" +
                                     huge);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.result, R"(C:\BG\)");
}

TEST(RegistryFile, KeyAfterManyOthersIsFound) {
    std::string file = kHeader;
    for (int i = 0; i < 50000; ++i)
        file += "[Software\\\\Filler\\\\Key" + std::to_string(i) + "] 1\n\"Path\"=\"C:\\\\Filler\\\\\"\n";
    file += kGameKeyLine + R"("Path"="C:\\BG\\")"
                           "\n";
    const Outcome outcome = readFile(file);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.result, R"(C:\BG\)");
}

#ifndef _WIN32

// Sets an environment variable for one test and puts the old state back.

TEST(Readregvalue, ReadsSystemRegOfWinePrefix) {
    TempDir prefix;
    ScopedEnv winePrefix("WINEPREFIX");
    winePrefix.set(prefix.path().string());
    writeBytes(prefix / "system.reg", gameKeyFile(R"("Path"="C:\\Games\\BG\\")"));
    std::string result;
    EXPECT_TRUE(qm::readregvalue(qm::kHkeyLocalMachine, kGameKey, "Path", result));
    EXPECT_EQ(result, R"(C:\Games\BG\)");
    EXPECT_EQ(result.size(), 12u);
}

TEST(Readregvalue, CurrentUserReadsUserReg) {
    TempDir prefix;
    ScopedEnv winePrefix("WINEPREFIX");
    winePrefix.set(prefix.path().string());
    writeBytes(prefix / "system.reg", kHeader + "[Software\\\\Quillmere] 1\n\"Where\"=\"machine\"\n");
    writeBytes(prefix / "user.reg", kHeader + "[Software\\\\Quillmere] 1\n\"Where\"=\"user\"\n");
    std::string result;
    EXPECT_TRUE(qm::readregvalue(qm::kHkeyCurrentUser, "Software\\Quillmere", "Where", result));
    EXPECT_EQ(result, "user");
    EXPECT_TRUE(qm::readregvalue(qm::kHkeyLocalMachine, "Software\\Quillmere", "Where", result));
    EXPECT_EQ(result, "machine");
}

TEST(Readregvalue, OtherRootFails) {
    TempDir prefix;
    ScopedEnv winePrefix("WINEPREFIX");
    winePrefix.set(prefix.path().string());
    writeBytes(prefix / "system.reg", gameKeyFile(R"("Path"="C:\\BG\\")"));
    std::string result = kBefore;
    EXPECT_FALSE(qm::readregvalue(0x80000000, kGameKey, "Path", result));
    EXPECT_EQ(result, "");
}

TEST(Readregvalue, DefaultPrefixIsDotWineInHome) {
    TempDir home;
    ScopedEnv winePrefix("WINEPREFIX");
    ScopedEnv homeVar("HOME");
    winePrefix.unset();
    homeVar.set(home.path().string());
    writeBytes(home / ".wine/system.reg", gameKeyFile(R"("Path"="C:\\Home\\")"));
    std::string result;
    EXPECT_TRUE(qm::readregvalue(qm::kHkeyLocalMachine, kGameKey, "Path", result));
    EXPECT_EQ(result, R"(C:\Home\)");
}

TEST(Readregvalue, EmptyWinePrefixCountsAsUnset) {
    TempDir home;
    ScopedEnv winePrefix("WINEPREFIX");
    ScopedEnv homeVar("HOME");
    winePrefix.set("");
    homeVar.set(home.path().string());
    writeBytes(home / ".wine/system.reg", gameKeyFile(R"("Path"="C:\\Home\\")"));
    EXPECT_EQ(qm::winePrefix(), home.path() / ".wine");
    std::string result;
    EXPECT_TRUE(qm::readregvalue(qm::kHkeyLocalMachine, kGameKey, "Path", result));
    EXPECT_EQ(result, R"(C:\Home\)");
}

TEST(Readregvalue, PrefixWithoutRegistryFails) {
    TempDir prefix;
    ScopedEnv winePrefix("WINEPREFIX");
    winePrefix.set(prefix.path().string());
    std::string result = kBefore;
    EXPECT_FALSE(qm::readregvalue(qm::kHkeyLocalMachine, kGameKey, "Path", result));
    EXPECT_EQ(result, "");
}

#endif

} // namespace
