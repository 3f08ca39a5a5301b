// The windows' promises, checked after every operation: the game folder's files stay byte for byte as
// they were, and nothing appears outside the current folder. Hostile archives end an operation with a
// run-time error box, never the program.
#include "Extract.h"
#include "FolderState.h"
#include "FrmEdit.h"
#include "FrmMain.h"
#include "FrmSearch.h"
#include "GameBuilder.h"
#include "GameFolder.h"
#include "HostPath.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

namespace fs = std::filesystem;
using qm::build::BifBuilder;
using qm::build::KeyBuilder;
using qm::test::CaseName;
using qm::test::CurrentDir;
using qm::test::folderState;
using qm::test::FolderState;
using qm::test::TempDir;

constexpr std::int32_t kMaxI32 = std::numeric_limits<std::int32_t>::max();

struct Box {
    QString title;
    QString text;
    std::string where = {}; // the box's last line, what failed (see placeOf)
};

Box runtimeError(int number, const char* description, std::string where) {
    return {QStringLiteral("Quillmere"),
            QStringLiteral("Run-time error '%1':\n\n%2").arg(number).arg(description), std::move(where)};
}

const Box kDone{QStringLiteral("End of Extraction"), QStringLiteral("              Done !")};
const Box kSelectAFile{QStringLiteral("Error"), QStringLiteral("Select a file")};

// The same hostile game as the command line's checks: each supported archive hostile in its own way.
void writeHostileGame(const fs::path& game) {
    KeyBuilder key;
    for (const char* name :
         {"data\\ITEMS.BIF", "data\\CREATURE.BIF", "data\\SPELLS.BIF", "data\\CHASOUND.BIF"})
        key.addArchive(name);
    BifBuilder items;
    const std::vector<std::string> names = {"..\\..\\UP", "/etc/pw", "C:\\AUX", "\x01\x1B\x7F", "\xE9p\xE9"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        key.addResource(names[i], 1005, static_cast<std::int16_t>(i), 240);
        items.add(1005, "ITM V1  " + std::string(8, '\0'));
    }
    BifBuilder creatures;
    key.addResource("BEAST", 1009, 0, 608);
    creatures.add(1009, "CRE V1.0");
    creatures.setFileEntryCount(kMaxI32);
    BifBuilder spells;
    key.addResource("SPARK", 1006, 0, 800);
    key.addResource("GLOOM", 1006, 1, 800);
    spells.add(1006, "SPL V1  ");
    spells.add(1006, "SPL V1  ").dataOffset = -100;
    qm::build::writeFile(game / "chitin.key", key.bytes());
    qm::build::writeFile(game / "data" / "ITEMS.BIF", items.bytes());
    qm::build::writeFile(game / "data" / "CREATURE.BIF", creatures.bytes());
    qm::build::writeFile(game / "data" / "SPELLS.BIF", spells.bytes());
    qm::build::writeFile(game / "data" / "CHASOUND.BIF", "BIFF");
    qm::build::TlkBuilder tlk;
    tlk.add("Quill");
    tlk.entry(tlk.add("Lantern")).stringLength = 0x8000;
    qm::build::writeFile(game / "Dialog.tlk", tlk.bytes());
}

// A game folder and a current folder side by side, the game named through QUILLMERE_GAME_DIR.
class WindowGuarantees : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(game());
        fs::create_directories(work());
        m_cwd.emplace(work());
        m_gameDir.set(game().string());
    }
    void TearDown() override {
        if (m_main) {
            if (FrmSearch* search = m_main->searchWindow())
                search->close();
            if (FrmEdit* edit = m_main->editWindow())
                edit->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_gameDir.unset();
        m_cwd.reset();
    }

    fs::path game() const { return m_root / "game"; }
    fs::path work() const { return m_root / "work"; }

    // A box's last line as the program writes it: "data\\..." names an archive below the game folder, as the
    // host spells it, with what follows its name; anything else stands as it is.
    QString placeOf(const std::string& where) const {
        if (!where.starts_with("data\\"))
            return QString::fromStdString(where);
        const std::size_t end = std::min(where.find(','), where.size());
        const std::string BGpath = qm::withFolderSeparator(game().string());
        return QString::fromStdString(qm::displayPath(qm::hostPath(BGpath + where.substr(0, end))) +
                                      where.substr(end));
    }

    void remember() {
        m_gameBefore = folderState(game());
        m_outsideBefore = folderState(m_root.path(), work());
    }
    // Runs one operation, expecting the given box (or none), and checks the promises after it.
    void operate(const char* what, const std::optional<Box>& box, const std::function<void()>& operation) {
        SCOPED_TRACE(what);
        if (box)
            m_dialogs.expectMessage(box->title,
                                    box->where.empty() ? box->text : box->text + "\n" + placeOf(box->where));
        operation();
        EXPECT_EQ(m_dialogs.pending(), 0u);
        EXPECT_EQ(folderState(game()), m_gameBefore) << "the game folder changed";
        EXPECT_EQ(folderState(m_root.path(), work()), m_outsideBefore)
            << "written outside the current folder";
    }

    FrmMain& startMain() {
        remember();
        operate("start", std::nullopt, [&] { m_main = std::make_unique<FrmMain>(m_dialogs); });
        return *m_main;
    }
    void choose(const QString& entry, const std::optional<Box>& box) {
        const QList<QListWidgetItem*> found = m_main->List1->findItems(entry, Qt::MatchFixedString);
        ASSERT_EQ(found.size(), 1) << entry.toStdString();
        operate("choice", box, [&] { m_main->List1->setCurrentItem(found.front()); });
    }

    TempDir m_root;
    std::optional<CurrentDir> m_cwd;
    qm::test::ScopedEnv m_gameDir{"QUILLMERE_GAME_DIR"};
    ScriptedDialogs m_dialogs;
    std::unique_ptr<FrmMain> m_main;
    FolderState m_gameBefore;
    FolderState m_outsideBefore;
};

struct ArchiveCase {
    const char* name;
    bool hostile;
    const char* entry;
    std::optional<Box> choiceBox;
    Box extractBox;
    std::optional<Box> editBox; // the editor's load failed with this box
    std::optional<Box> pickBox;
};

// Cases show their names in test reports.
void PrintTo(const ArchiveCase& c, std::ostream* os) {
    *os << c.name;
}

class WindowOperations : public WindowGuarantees, public ::testing::WithParamInterface<ArchiveCase> {};

TEST_P(WindowOperations, EveryOperationKeepsTheGameAndWritesOnlyHere) {
    const ArchiveCase& c = GetParam();
    if (c.hostile)
        writeHostileGame(game());
    else
        qm::build::writeDemoGame(game(), 3);
    FrmMain& main = startMain();
    choose(c.entry, c.choiceBox);
    operate("whole-archive extraction", c.extractBox, [&] { main.Cmdextract_Click(); });
    if (!main.cmdedit->isEnabled()) {
        EXPECT_TRUE(c.choiceBox.has_value()) << "Edit stays disabled only after a failed choice";
        return;
    }
    operate("editor", c.editBox, [&] { main.cmdedit_Click(); });
    FrmEdit* edit = main.editWindow();
    ASSERT_EQ(edit != nullptr, !c.editBox.has_value());
    if (edit == nullptr)
        return;
    for (int row = 0; row < edit->List1->count(); ++row)
        operate("check", std::nullopt, [&] { edit->List1->item(row)->setCheckState(Qt::Checked); });
    operate("selective extraction", c.pickBox, [&] { edit->Cmdextract_Click(); });
    operate("search window", std::nullopt, [&] { edit->MnuSearch_Click(); });
    operate("editor closed", std::nullopt, [&] { edit->MnuClose_Click(); });
}

INSTANTIATE_TEST_SUITE_P(
    Archives, WindowOperations,
    ::testing::Values(
        ArchiveCase{"DemoItems", false, "ITEMS.BIF", std::nullopt, kDone, std::nullopt, std::nullopt},
        ArchiveCase{"DemoCreatures", false, "CREATURE.BIF", std::nullopt, kDone, std::nullopt, std::nullopt},
        ArchiveCase{"HostileNames", true, "ITEMS.BIF", std::nullopt, kDone, std::nullopt, std::nullopt},
        ArchiveCase{"HugeCount", true, "CREATURE.BIF", std::nullopt,
                    runtimeError(62, "the file table runs past the end of the archive", "data\\CREATURE.bif"),
                    runtimeError(62, "the file table runs past the end of the archive", "data\\CREATURE.bif"),
                    std::nullopt},
        ArchiveCase{"NegativeOffset", true, "SPELLS.BIF", std::nullopt,
                    runtimeError(63, "the file's data start before the archive",
                                 "data\\SPELLS.bif, entry 1: GLOOM.SPL"),
                    std::nullopt,
                    runtimeError(63, "the file's data start before the archive",
                                 "data\\SPELLS.bif, entry 1: GLOOM.SPL")},
        ArchiveCase{"CutHeader", true, "CHASOUND.BIF",
                    runtimeError(62, "the archive ends inside its header", "data\\CHASOUND.bif"),
                    kSelectAFile, std::nullopt, std::nullopt}),
    CaseName());

// Sizes that a 32-bit total cannot hold.
TEST_F(WindowGuarantees, HugeSizesAddUpWithoutOverflow) {
    KeyBuilder key;
    key.addArchive("data\\SPELLS.BIF");
    BifBuilder spells;
    for (std::int16_t i = 0; i < 3; ++i) {
        key.addResource("HUGE" + std::to_string(i), 1006, i, 800);
        spells.add(1006, "SPL V1  ").dataSize = kMaxI32;
    }
    qm::build::writeFile(game() / "chitin.key", key.bytes());
    qm::build::writeFile(game() / "data" / "SPELLS.BIF", spells.bytes());
    FrmMain& main = startMain();
    choose(QStringLiteral("SPELLS.BIF"), std::nullopt);
    operate("editor", std::nullopt, [&] { main.cmdedit_Click(); });
    FrmEdit* edit = main.editWindow();
    ASSERT_NE(edit, nullptr);
    for (int row = 0; row < 3; ++row)
        operate("check", std::nullopt, [&] { edit->List1->item(row)->setCheckState(Qt::Checked); });
    EXPECT_EQ(edit->txttotalfiles->text(), "3");
    EXPECT_EQ(edit->txttotalsize->text(), "6442450941");
    operate("uncheck", std::nullopt, [&] { edit->List1->item(1)->setCheckState(Qt::Unchecked); });
    EXPECT_EQ(edit->txttotalsize->text(), "4294967294");
    operate("selective extraction",
            runtimeError(62, "the file's data run past the end of the archive",
                         "data\\SPELLS.bif, entry 0: HUGE0.SPL"),
            [&] { edit->Cmdextract_Click(); });
}

// Beyond the 16-bit counters: the editor lists, details and copies entries past 32767.
TEST_F(WindowGuarantees, FortyThousandEntriesInTheEditor) {
    constexpr int kCount = 40000;
    KeyBuilder key;
    key.addArchive("data\\SPELLS.BIF");
    BifBuilder spells;
    for (int i = 0; i < kCount; ++i) {
        key.addResource("S" + std::to_string(i), 1006,
                        static_cast<std::int16_t>(static_cast<std::uint16_t>(i)), 800);
        spells.add(1006, std::to_string(i));
    }
    qm::build::writeFile(game() / "chitin.key", key.bytes());
    qm::build::writeFile(game() / "data" / "SPELLS.BIF", spells.bytes());
    FrmMain& main = startMain();
    choose(QStringLiteral("SPELLS.BIF"), std::nullopt);
    operate("editor", std::nullopt, [&] { main.cmdedit_Click(); });
    FrmEdit* edit = main.editWindow();
    ASSERT_NE(edit, nullptr);
    ASSERT_EQ(edit->List1->count(), kCount);
    EXPECT_EQ(main.PBprogress->value(), 0) << "the load's bar ends at 0";
    for (const int row : {32767, 32768, kCount - 1}) {
        EXPECT_EQ(edit->List1->item(row)->text().toStdString(), "S" + std::to_string(row) + ".SPL");
        operate("check", std::nullopt, [&] { edit->List1->item(row)->setCheckState(Qt::Checked); });
        EXPECT_EQ(edit->txtsize->text().toStdString(), std::to_string(std::to_string(row).size()));
    }
    EXPECT_EQ(edit->txttotalfiles->text(), "3");
    operate("selective extraction", std::nullopt, [&] { edit->Cmdextract_Click(); });
    for (const int row : {32767, 32768, kCount - 1})
        EXPECT_EQ(qm::test::readBytes(work() / "WorkDir" / ("S" + std::to_string(row) + ".SPL")),
                  std::to_string(row));
    EXPECT_EQ(edit->txttotalfiles->text(), "0");
}

#ifndef _WIN32
// Lowers this process's file-size limit for its lifetime, with SIGXFSZ ignored as the program's main()
// ignores it, so a write past the limit fails instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};
#endif

TEST_F(WindowGuarantees, AFileSizeLimitEndsBothExtractionsWithError61) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file-size limit per process to lower";
#else
    // The eighth file of each demo archive holds 131070 bytes.
    qm::build::writeDemoGame(game(), 8);
    FrmMain& main = startMain();
    choose(QStringLiteral("ITEMS.BIF"), std::nullopt);
    // The file that outgrows the limit, as the boxes name it.
    const std::string eighth = qm::listArchive(main.selection(), {}).files.at(7).text;
    const int open = qm::test::openFileCount();
    {
        FileSizeLimit limit(100000);
        operate("whole-archive extraction", runtimeError(61, "Disk full", "ITEMS/" + eighth),
                [&] { main.Cmdextract_Click(); });
    }
    EXPECT_EQ(qm::test::openFileCount(), open) << "files left open";
    operate("editor", std::nullopt, [&] { main.cmdedit_Click(); });
    FrmEdit* edit = main.editWindow();
    ASSERT_NE(edit, nullptr);
    operate("check", std::nullopt, [&] { edit->List1->item(7)->setCheckState(Qt::Checked); });
    const int openWithEditor = qm::test::openFileCount();
    {
        FileSizeLimit limit(100000);
        operate("selective extraction",
                runtimeError(61, "Disk full", "WorkDir/" + eighth + ".quillmere-part"),
                [&] { edit->Cmdextract_Click(); });
    }
    EXPECT_EQ(qm::test::openFileCount(), openWithEditor) << "files left open";
    EXPECT_EQ(edit->List1->item(7)->checkState(), Qt::Checked) << "the file not written stays checked";
#endif
}

} // namespace
