// readregvalue through advapi32, against values that tests/wine-registry-values.sh wrote with reg.exe
// (the ctest fixture wine_registry).
#include "GameFolder.h"
#include "Registry.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

const std::string kGameKey = "SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate";
const std::string kTestKey = "SOFTWARE\\Quillmere Tests";
const std::string kBefore = "before";

struct Outcome {
    bool ok;
    std::string result;
};

Outcome read(const std::string& key, const std::string& value, std::uint32_t root = qm::kHkeyLocalMachine) {
    std::string result = kBefore;
    const bool ok = qm::readregvalue(root, key, value, result);
    return {ok, result};
}

// Sets an environment variable for one test and puts back what was there.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_saved = old;
        _putenv_s(m_name, value.c_str());
    }
    ~ScopedVariable() { _putenv_s(m_name, m_saved ? m_saved->c_str() : ""); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_saved;
};

} // namespace

TEST(WindowsRegistry, GamePathKeepsItsTrailingSeparator) {
    const Outcome o = read(kGameKey, "Path");
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.result, "C:\\Games\\BG\\");
}

TEST(WindowsRegistry, ValueNameIgnoresLetterCase) {
    const Outcome o = read(kGameKey, "PATH");
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.result, "C:\\Games\\BG\\");
}

TEST(WindowsRegistry, ThousandAndTwentyThreeCharactersFitTheBuffer) {
    const Outcome o = read(kTestKey, "Fits");
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.result, std::string(1023, 'a'));
}

TEST(WindowsRegistry, OneCharacterMoreFailsAndEmptiesResult) {
    ASSERT_TRUE(read(kTestKey, "Fits").ok) << "the fixture's values are missing";
    const Outcome o = read(kTestKey, "TooLong");
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.result, "");
}

TEST(WindowsRegistry, EmptyStringGivesEmptyText) {
    const Outcome o = read(kTestKey, "Empty");
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.result, "");
}

TEST(WindowsRegistry, ExpandableStringSucceedsButLeavesResult) {
    const Outcome o = read(kTestKey, "Expand");
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.result, kBefore);
}

TEST(WindowsRegistry, BinaryValueSucceedsButLeavesResult) {
    const Outcome o = read(kTestKey, "Bytes");
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.result, kBefore);
}

TEST(WindowsRegistry, NumberIsSignedDecimal) {
    EXPECT_EQ(read(kTestKey, "Answer").result, "42");
    const Outcome o = read(kTestKey, "AllOnes");
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.result, "-1");
}

TEST(WindowsRegistry, MissingValueFailsAndEmptiesResult) {
    ASSERT_TRUE(read(kTestKey, "Fits").ok) << "the fixture's values are missing";
    const Outcome o = read(kTestKey, "Nothing");
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.result, "");
}

TEST(WindowsRegistry, MissingKeyFailsAndEmptiesResult) {
    const Outcome o = read(kTestKey + "\\Nowhere", "Path");
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.result, "");
}

TEST(WindowsRegistry, KeyOnlyInThe32BitViewIsFound) {
    const Outcome o = read(kTestKey + "\\Only32", "Path");
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.result, "C:\\Old\\");
}

TEST(WindowsRegistry, ValueOfAnotherRootIsNotFound) {
    ASSERT_TRUE(read(kGameKey, "Path").ok) << "the fixture's values are missing";
    const Outcome o = read(kGameKey, "Path", qm::kHkeyCurrentUser);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.result, "");
}

TEST(WindowsGameFolder, RegistryTextIsTheFolderAsItIs) {
    ScopedVariable unset("QUILLMERE_GAME_DIR", "");
    EXPECT_EQ(qm::discoverGameFolder(), "C:\\Games\\BG\\");
}

TEST(WindowsGameFolder, VariableWinsAndGetsASeparator) {
    ScopedVariable dir("QUILLMERE_GAME_DIR", "D:\\Other");
    EXPECT_EQ(qm::discoverGameFolder(), "D:\\Other\\");
}
