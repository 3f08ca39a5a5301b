#include "Artwork.h"
#include "Endian.h"
#include "FileError.h"
#include "Fonts.h"
#include "FrmEdit.h"
#include "FrmMain.h"
#include "FrmSearch.h"
#include "GameBuilder.h"
#include "HostPath.h"
#include "ScriptedDialogs.h"
#include "SignalValues.h"
#include "TempDir.h"
#include "TestSupport.h"
#include "frmAbout.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using qm::test::CurrentDir;
using qm::test::TempDir;

namespace {

const QString kDone = QStringLiteral("              Done !");

struct CreatureFile {
    std::string name;
    std::string data;
};

// A catalogue and a creatures archive whose names and contents the test knows, plus an empty items
// archive. The catalogue ties creature files to LocatorHigh 608, as the game's does.
void writeCreatureGame(const fs::path& game, const std::vector<CreatureFile>& files) {
    qm::build::KeyBuilder key;
    key.addArchive("data\\CREATURE.BIF");
    key.addArchive("data\\ITEMS.BIF");
    qm::build::BifBuilder creatures;
    std::int16_t index = 0;
    for (const CreatureFile& file : files) {
        key.addResource(file.name, 1009, index++, 608);
        creatures.add(1009, file.data);
    }
    qm::build::writeFile(game / "chitin.key", key.bytes());
    qm::build::writeFile(game / "data" / "CREATURE.BIF", creatures.bytes());
    qm::build::writeFile(game / "data" / "ITEMS.BIF", qm::build::BifBuilder().bytes());
}

std::vector<std::string> listTexts(const FrmMain& window) {
    std::vector<std::string> texts;
    for (int row = 0; row < window.List1->count(); ++row)
        texts.push_back(window.List1->item(row)->text().toStdString());
    return texts;
}

int rowOf(const FrmMain& window, const QString& text) {
    const auto found = window.List1->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? -1 : window.List1->row(found.front());
}

std::int32_t storedFileEntryCount(const fs::path& bif) {
    const std::string bytes = qm::test::readBytes(bif);
    EXPECT_GE(bytes.size(), 12u) << "the archive ends inside its header";
    return qm::endian::loadI32(qm::endian::asBytes(bytes.data(), bytes.size()), 8);
}

bool isEmptyFolder(const fs::path& folder) {
    return fs::directory_iterator(folder) == fs::directory_iterator();
}

void processDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The next widget that Tab reaches from `from`, whatever its enabled state.
QWidget* nextTabStop(QWidget* from) {
    for (QWidget* w = from->nextInFocusChain(); w != from; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) != 0)
            return w;
    return nullptr;
}

// Each case runs in a fresh current folder, with the game folder named through QUILLMERE_GAME_DIR.
class FrmMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_game);
        fs::create_directories(m_work);
        m_cwd.emplace(m_work);
        m_gameDir.set(m_game.string());
    }
    void TearDown() override {
        m_gameDir.unset();
        m_cwd.reset();
    }
    // The box of a start without a catalogue, which says why the list is empty.
    void expectNoCatalogueBox() {
        m_dialogs.expectMessage("Quillmere",
                                QStringLiteral("No chitin.key in %1.\nStart Quillmere with the game folder: "
                                               "quillmere GAME_FOLDER")
                                    .arg(QString::fromStdString(m_game.string())));
    }

    TempDir m_temp;
    const fs::path m_game = m_temp / "game";
    const fs::path m_work = m_temp / "work";
    std::optional<CurrentDir> m_cwd;
    qm::test::ScopedEnv m_gameDir{"QUILLMERE_GAME_DIR"};
    ScriptedDialogs m_dialogs;
};

using FrmMainStartUp = FrmMainTest;

namespace {

// The box of an archive that vanished after the list was filled: it names the archive as the host spells
// the game folder and the archive's game-style name.
QString missingArchiveBox(const std::string& gamePath) {
    return QStringLiteral("Run-time error '%1':\n\n%2\n%3")
        .arg(qm::FileNotFound)
        .arg(QString::fromStdString(qm::errorDescription(qm::FileNotFound)))
        .arg(QString::fromStdString(qm::displayPath(qm::hostPath(gamePath))));
}

} // namespace

TEST_F(FrmMainStartUp, WithoutCatalogueOpensEmptyWithEditDisabledAndSaysWhy) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    EXPECT_EQ(m_dialogs.pending(), 0u);
    EXPECT_EQ(m_dialogs.beeps, 0) << "the box comes without a beep";
    EXPECT_EQ(window.List1->count(), 0);
    EXPECT_FALSE(window.cmdedit->isEnabled());
    EXPECT_TRUE(window.Cmdextract->isEnabled());
    EXPECT_EQ(window.PBprogress->value(), 0);
    EXPECT_TRUE(window.LblExtract->text().isEmpty());
    EXPECT_EQ(window.selection().BGpath, (m_game / "").string());
    EXPECT_TRUE(window.selection().targetfile.empty());
    EXPECT_EQ(m_dialogs.shown.size(), 1u) << "one box";
    window.MNUallArchives->trigger();
    EXPECT_EQ(m_dialogs.shown.size(), 1u) << "only the start says it";
}

TEST_F(FrmMainStartUp, WithoutCatalogueExtractAnswersSelectAFileAndWritesNothing) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    const QSignalSpy progress(&window, &FrmMain::progressChanged);
    m_dialogs.expectMessage("Error", "Select a file");
    QTest::mouseClick(window.Cmdextract, Qt::LeftButton);
    EXPECT_EQ(m_dialogs.pending(), 0u);
    EXPECT_EQ(m_dialogs.beeps, 1);
    EXPECT_TRUE(isEmptyFolder(m_work));
    EXPECT_TRUE(progress.empty());
}

TEST_F(FrmMainStartUp, DemoGameListsTheFourArchivesInAlphabeticalOrder) {
    qm::build::writeDemoGame(m_game, 4);
    FrmMain window(m_dialogs);
    EXPECT_EQ(listTexts(window),
              (std::vector<std::string>{"CHASOUND.BIF", "CREATURE.BIF", "ITEMS.BIF", "SPELLS.BIF"}));
    EXPECT_EQ(window.listNames(),
              (std::vector<std::string>{"CHASOUND.BIF", "CREATURE.BIF", "ITEMS.BIF", "SPELLS.BIF"}));
    EXPECT_TRUE(window.List1->selectedItems().isEmpty());
    EXPECT_FALSE(window.cmdedit->isEnabled());
    EXPECT_TRUE(window.selection().targetfile.empty());
}

TEST_F(FrmMainStartUp, ListIgnoresLetterCaseWhenSortingAndKeepsDuplicates) {
    qm::build::KeyBuilder key;
    for (const char* name : {"data\\spells.bif", "data\\ITEMS.BIF", "data\\Creature.bif",
                             "data\\chasound.bif", "data\\ITEMS.BIF"})
        key.addArchive(name);
    qm::build::writeFile(m_game / "chitin.key", key.bytes());
    FrmMain window(m_dialogs);
    EXPECT_EQ(listTexts(window), (std::vector<std::string>{"chasound.bif", "Creature.bif", "ITEMS.BIF",
                                                           "ITEMS.BIF", "spells.bif"}));
}

TEST_F(FrmMainStartUp, TakingTheFocusChoosesNothing) {
    qm::build::writeDemoGame(m_game, 4);
    FrmMain window(m_dialogs);
    window.show();
    // The list receives the focus as Tab or the window's activation gives it.
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(window.List1, &focusIn);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.List1->selectedItems().isEmpty());
    EXPECT_EQ(window.List1->currentRow(), -1) << "no entry is drawn as if chosen";
    EXPECT_FALSE(window.cmdedit->isEnabled());
    EXPECT_TRUE(window.selection().targetfile.empty());
    QTest::keyClick(window.List1, Qt::Key_Down);
    EXPECT_EQ(window.selection().targetfile, "CHASOUND") << "the first Down chooses the first entry";
}

// Named by the variable or given to the window, as its command line does.
TEST_F(FrmMainStartUp, MissingGameFolderEndsTheProgramAfterTheErrorBox) {
    const std::string nowhere = (m_temp / "nowhere/").string();
    for (const bool given : {false, true}) {
        if (!given)
            m_gameDir.set(nowhere);
        // The box names the folder to correct.
        m_dialogs.expectMessage("ERROR",
                                QStringLiteral("%1 : %2\n%3")
                                    .arg(qm::PathNotFound)
                                    .arg(QString::fromStdString(qm::errorDescription(qm::PathNotFound)))
                                    .arg(QString::fromStdString(nowhere)));
        try {
            FrmMain window(m_dialogs, given ? std::optional<std::string>(nowhere) : std::nullopt);
            ADD_FAILURE() << "the window was created";
        } catch (const ProgramEnded& end) {
            EXPECT_EQ(end.exitCode, 1);
        }
    }
    EXPECT_EQ(m_dialogs.beeps, 2);
}

TEST_F(FrmMainStartUp, GivenGameFolderWinsOverDiscovery) {
    const fs::path other = m_temp / "other";
    qm::build::writeDemoGame(other, 2);
    FrmMain window(m_dialogs, other.string() + "/");
    EXPECT_EQ(window.selection().BGpath, other.string() + "/");
    EXPECT_EQ(window.List1->count(), 4);
}

// The game as an installed one is found: through the registry value its installer wrote, no variable, no
// argument. The Windows stage runs this in a Wine prefix whose registry names the demo game it wrote, on a
// real display with the windows platform plugin; elsewhere the installed game is unknown and it skips.
TEST(FrmMainInstalledGame, ShowsTheFourArchivesOfTheGameTheRegistryNames) {
    if (!qEnvironmentVariableIsSet("QUILLMERE_TEST_INSTALLED_DEMO"))
        GTEST_SKIP() << "QUILLMERE_TEST_INSTALLED_DEMO is not set: no installed demo game to find";
    qm::test::ScopedEnv gameDir("QUILLMERE_GAME_DIR");
    gameDir.unset();
    ScriptedDialogs dialogs;
    FrmMain window(dialogs);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle().toStdString(), "Quillmere Ziro");
    EXPECT_EQ(listTexts(window),
              (std::vector<std::string>{"CHASOUND.BIF", "CREATURE.BIF", "ITEMS.BIF", "SPELLS.BIF"}));
    EXPECT_TRUE(dialogs.shown.empty());
}

using FrmMainSelection = FrmMainTest;

TEST_F(FrmMainSelection, ChoosingAnArchiveFillsTheStateAndEnablesEdit) {
    qm::build::writeDemoGame(m_game, 4);
    FrmMain window(m_dialogs);
    const fs::path items = m_game / "data" / "ITEMS.BIF";
    window.List1->setCurrentRow(rowOf(window, "ITEMS.BIF"));

    EXPECT_TRUE(window.cmdedit->isEnabled());
    EXPECT_EQ(window.selection().targetdir, "data\\");
    EXPECT_EQ(window.selection().targetfile, "ITEMS");
    EXPECT_EQ(window.selection().biffid, 240);
    EXPECT_EQ(window.selection().begin_i, 1);
    EXPECT_EQ(window.selection().nbpart, 1);
    EXPECT_EQ(window.selection().nbfile, storedFileEntryCount(items));
    EXPECT_EQ(window.selection().nbfile_2, window.selection().nbfile);
    EXPECT_EQ(window.selection().taillefile, static_cast<std::int32_t>(fs::file_size(items)));
    EXPECT_EQ(window.selection().BGpath, (m_game / "").string());
    EXPECT_TRUE(m_dialogs.shown.empty());
}

TEST_F(FrmMainSelection, KeyboardChoiceSelectsTheHighlightedEntry) {
    qm::build::writeDemoGame(m_game, 4);
    FrmMain window(m_dialogs);
    QTest::keyClick(window.List1, Qt::Key_Down);
    const auto selected = window.List1->selectedItems();
    ASSERT_EQ(selected.size(), 1);
    const std::string text = selected.front()->text().toStdString();
    EXPECT_EQ(window.selection().targetfile, text.substr(0, text.size() - 4));
    EXPECT_TRUE(window.cmdedit->isEnabled());
}

TEST_F(FrmMainSelection, EditStaysEnabledAcrossLaterChoices) {
    qm::build::writeDemoGame(m_game, 4);
    FrmMain window(m_dialogs);
    window.List1->setCurrentRow(rowOf(window, "SPELLS.BIF"));
    window.List1->setCurrentRow(rowOf(window, "CHASOUND.BIF"));
    EXPECT_TRUE(window.cmdedit->isEnabled());
    EXPECT_EQ(window.selection().targetfile, "CHASOUND");
    EXPECT_EQ(window.selection().biffid, 1136);
}

TEST_F(FrmMainSelection, VanishedArchiveShowsRunTimeErrorAndKeepsThePreviousChoice) {
    qm::build::writeDemoGame(m_game, 4);
    FrmMain window(m_dialogs);
    window.List1->setCurrentRow(rowOf(window, "CREATURE.BIF"));
    const qm::SelectionState before = window.selection();
    fs::remove(m_game / "data" / "ITEMS.BIF");

    m_dialogs.expectMessage("Quillmere", missingArchiveBox(window.selection().BGpath + "data\\ITEMS.bif"));
    window.List1->setCurrentRow(rowOf(window, "ITEMS.BIF"));

    EXPECT_EQ(m_dialogs.pending(), 0u);
    EXPECT_EQ(window.selection().targetfile, before.targetfile);
    EXPECT_EQ(window.selection().targetdir, before.targetdir);
    EXPECT_EQ(window.selection().biffid, before.biffid);
    EXPECT_EQ(window.selection().nbfile, before.nbfile);
    EXPECT_EQ(window.selection().nbfile_2, before.nbfile_2);
    EXPECT_EQ(window.selection().taillefile, before.taillefile);
    EXPECT_TRUE(window.cmdedit->isEnabled());
    // The list shows the archive the state stands for again.
    const int creature = rowOf(window, "CREATURE.BIF");
    EXPECT_EQ(window.List1->currentRow(), creature);
    EXPECT_TRUE(window.List1->item(creature)->isSelected());
}

// Each key that reaches a vanished archive shows its box once; the list goes back to the chosen entry
// (none at first), so the next key starts from there.
TEST_F(FrmMainSelection, KeyboardChoiceOfAVanishedArchiveShowsOneBox) {
    qm::build::writeDemoGame(m_game, 4);
    FrmMain window(m_dialogs);
    window.show();
    fs::remove(m_game / "data" / "CHASOUND.BIF");
    fs::remove(m_game / "data" / "SPELLS.BIF");
    struct Step {
        Qt::Key key;
        const char* missing; // the archive the box names
        const char* chosen;  // the archive the state and the list stand for afterwards
    };
    for (const Step& step : {Step{Qt::Key_Down, "CHASOUND", ""}, Step{Qt::Key_End, "CHASOUND", ""},
                             Step{Qt::Key_Home, "CHASOUND", ""}, Step{Qt::Key_PageDown, "CHASOUND", ""}}) {
        m_dialogs.expectMessage(
            "Quillmere", missingArchiveBox(window.selection().BGpath + "data\\" + step.missing + ".bif"));
        QTest::keyClick(window.List1, step.key);
        QCoreApplication::processEvents();
        EXPECT_EQ(m_dialogs.pending(), 0u);
        EXPECT_EQ(window.selection().targetfile, step.chosen);
        EXPECT_TRUE(window.List1->selectedItems().isEmpty());
    }
    window.List1->setCurrentRow(rowOf(window, "CREATURE.BIF"));
    m_dialogs.expectMessage("Quillmere", missingArchiveBox(window.selection().BGpath + "data\\SPELLS.bif"));
    QTest::keyClick(window.List1, Qt::Key_End);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_dialogs.pending(), 0u);
    EXPECT_EQ(window.selection().targetfile, "CREATURE");
    EXPECT_EQ(window.List1->currentRow(), rowOf(window, "CREATURE.BIF"));
    QTest::keyClick(window.List1, Qt::Key_Down);
    EXPECT_EQ(window.selection().targetfile, "ITEMS") << "the next key starts from the chosen entry";
}

TEST_F(FrmMainSelection, FailedFirstChoiceLeavesEditDisabled) {
    qm::build::writeDemoGame(m_game, 4);
    FrmMain window(m_dialogs);
    fs::remove(m_game / "data" / "SPELLS.BIF");
    m_dialogs.expectMessage("Quillmere", missingArchiveBox(window.selection().BGpath + "data\\SPELLS.bif"));
    window.List1->setCurrentRow(rowOf(window, "SPELLS.BIF"));
    EXPECT_FALSE(window.cmdedit->isEnabled());
    EXPECT_TRUE(window.selection().targetfile.empty());
    EXPECT_EQ(window.selection().nbfile, 0);
    EXPECT_TRUE(window.List1->selectedItems().isEmpty()) << "nothing is shown as chosen";
}

using FrmMainExtract = FrmMainTest;

TEST_F(FrmMainExtract, WritesFolderAndLogAndMovesTheProgressBar) {
    const std::vector<CreatureFile> files = {
        {"GOBLIN", "goblin bytes"}, {"OGRE", std::string(70000, 'o')}, {"WOLF", ""}, {"KOBOLD", "kobold"}};
    writeCreatureGame(m_game, files);
    FrmMain window(m_dialogs);
    window.show();
    window.List1->setCurrentRow(rowOf(window, "CREATURE.BIF"));
    const QSignalSpy progress(&window, &FrmMain::progressChanged);

    m_dialogs.expectMessage("End of Extraction", kDone);
    QTest::mouseClick(window.Cmdextract, Qt::LeftButton);

    EXPECT_EQ(m_dialogs.pending(), 0u);
    EXPECT_EQ(m_dialogs.beeps, 1);
    EXPECT_EQ(floatsOf(progress), (std::vector<float>{0.0f, 25.0f, 50.0f, 75.0f, 0.0f}));
    EXPECT_EQ(window.PBprogress->value(), 0);

    std::string expectedLog;
    for (const CreatureFile& file : files) {
        const fs::path output = m_work / "CREATURE" / (file.name + ".CRE");
        ASSERT_TRUE(fs::exists(output)) << output;
        EXPECT_EQ(qm::test::readBytes(output), file.data) << file.name;
        expectedLog += file.name + ".CRE\r\n";
    }
    EXPECT_EQ(qm::test::readBytes(m_work / "CREATURE.log"), expectedLog);
    // The selection survives the run, so the same archive can be extracted again.
    EXPECT_EQ(window.selection().targetfile, "CREATURE");
}

TEST_F(FrmMainExtract, ProgressBarShowsWholeNumbersOfTheExactValues) {
    writeCreatureGame(m_game, {{"A", "1"}, {"B", "2"}, {"C", "3"}});
    FrmMain window(m_dialogs);
    window.List1->setCurrentRow(rowOf(window, "CREATURE.BIF"));
    std::vector<int> barValues;
    QObject::connect(window.PBprogress, &QProgressBar::valueChanged, [&](int v) { barValues.push_back(v); });
    const QSignalSpy progress(&window, &FrmMain::progressChanged);

    m_dialogs.expectMessage("End of Extraction", kDone);
    window.Cmdextract_Click();

    const std::vector<float> exact = floatsOf(progress);
    ASSERT_EQ(exact.size(), 4u);
    EXPECT_EQ(exact[1], static_cast<float>(1.0 / 3.0 * 100.0));
    EXPECT_EQ(exact[2], static_cast<float>(2.0 / 3.0 * 100.0));
    EXPECT_EQ(barValues, (std::vector<int>{33, 66, 0}));
}

TEST_F(FrmMainExtract, ReturnAndEnterPressTheFocusedButton) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    window.show();
    window.Cmdextract->setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        m_dialogs.expectMessage("Error", "Select a file");
        QTest::keyClick(window.Cmdextract, key);
        EXPECT_EQ(m_dialogs.pending(), 0u);
    }
}

TEST_F(FrmMainExtract, EmptyArchiveStillSaysDone) {
    writeCreatureGame(m_game, {{"A", "1"}});
    FrmMain window(m_dialogs);
    window.List1->setCurrentRow(rowOf(window, "ITEMS.BIF"));
    ASSERT_EQ(window.selection().nbfile, 0);
    const QSignalSpy progress(&window, &FrmMain::progressChanged);
    m_dialogs.expectMessage("End of Extraction", kDone);
    window.Cmdextract_Click();
    EXPECT_EQ(floatsOf(progress), (std::vector<float>{0.0f}));
    EXPECT_TRUE(fs::is_directory(m_work / "ITEMS"));
    EXPECT_EQ(qm::test::readBytes(m_work / "ITEMS.log"), "");
}

TEST_F(FrmMainExtract, ArchiveGoneSinceTheChoiceShowsRunTimeErrorAndTheProgramGoesOn) {
    writeCreatureGame(m_game, {{"A", "1"}});
    FrmMain window(m_dialogs);
    window.List1->setCurrentRow(rowOf(window, "CREATURE.BIF"));
    fs::remove(m_game / "data" / "CREATURE.BIF");
    m_dialogs.expectMessage("Quillmere", missingArchiveBox(window.selection().BGpath + "data\\CREATURE.bif"));
    window.Cmdextract_Click();
    EXPECT_EQ(m_dialogs.pending(), 0u);
    EXPECT_EQ(window.selection().targetfile, "CREATURE");
}

// An existence test that fails on the output side names the path and stops the run; the program goes on.
TEST_F(FrmMainExtract, OutputExistenceFailureNamesThePathAndTheProgramGoesOn) {
    writeCreatureGame(m_game, {{"A", "1"}});
    FrmMain window(m_dialogs);
    window.List1->setCurrentRow(rowOf(window, "CREATURE.BIF"));
    // A folder where the log belongs: the log's existence test cannot open it.
    fs::create_directories(m_work / "CREATURE.log");
    m_dialogs.expectMessage("ERROR",
                            QStringLiteral("%1 : %2\n%3")
                                .arg(qm::PathFileAccessError)
                                .arg(QString::fromStdString(qm::errorDescription(qm::PathFileAccessError)))
                                .arg(QString::fromStdString(qm::displayPath(qm::hostPath("CREATURE.log")))));
    window.Cmdextract_Click(); // an end of the program would throw ProgramEnded out of the test
    EXPECT_EQ(m_dialogs.pending(), 0u);
    EXPECT_EQ(m_dialogs.beeps, 1);

    fs::remove(m_work / "CREATURE.log");
    m_dialogs.expectMessage("End of Extraction", kDone);
    window.Cmdextract_Click();
    EXPECT_EQ(qm::test::readBytes(m_work / "CREATURE" / "A.CRE"), "1");
}

using FrmMainRoutines = FrmMainTest;

TEST_F(FrmMainRoutines, ExistenceTestsAnswerWithoutBoxes) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    qm::test::writeBytes(m_work / "present.txt", "");
    fs::create_directories(m_work / "Folder");
    EXPECT_TRUE(window.fileexist("present.txt"));
    EXPECT_FALSE(window.fileexist("absent.txt"));
    EXPECT_TRUE(window.direxist("Folder"));
    EXPECT_TRUE(window.direxist("present.txt"));
    EXPECT_FALSE(window.direxist("NewFolder"));
    EXPECT_FALSE(fs::exists(m_work / "NewFolder")) << "the test leaves no folder behind";
    EXPECT_EQ(m_dialogs.shown.size(), 1u) << "the start's box only";
    EXPECT_EQ(m_dialogs.beeps, 0);
}

TEST_F(FrmMainRoutines, FileTestInAMissingFolderEndsTheProgramAfterTheErrorBox) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    m_dialogs.expectMessage(
        "ERROR", QStringLiteral("%1 : %2")
                         .arg(qm::PathNotFound)
                         .arg(QString::fromStdString(qm::errorDescription(qm::PathNotFound))) +
                     "\n" + QString::fromStdString(qm::displayPath(qm::hostPath("missing\\file.txt"))));
    EXPECT_THROW(window.fileexist("missing\\file.txt"), ProgramEnded);
    EXPECT_EQ(m_dialogs.beeps, 1);
}

TEST_F(FrmMainRoutines, FolderTestUnderAMissingParentEndsTheProgramAfterTheErrorBox) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    m_dialogs.expectMessage(
        "ERROR", QStringLiteral("%1 : %2")
                         .arg(qm::PathNotFound)
                         .arg(QString::fromStdString(qm::errorDescription(qm::PathNotFound))) +
                     "\n" + QString::fromStdString(qm::displayPath(qm::hostPath("missing\\child"))));
    EXPECT_THROW(window.direxist("missing\\child"), ProgramEnded);
    EXPECT_EQ(m_dialogs.beeps, 1);
}

TEST_F(FrmMainRoutines, DoneAndErrormsgBeepThenShowTheirBoxes) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    m_dialogs.expectMessage("End of Extraction", kDone);
    window.Done();
    EXPECT_EQ(m_dialogs.beeps, 1);
    m_dialogs.expectMessage("Error", "Select a file");
    window.Errormsg("Select a file");
    EXPECT_EQ(m_dialogs.beeps, 2);
}

using FrmMainQuit = FrmMainTest;

// The menu's Quit and the title bar's close ask the same question.
TEST_F(FrmMainQuit, NoLeavesEverythingAsItWas) {
    qm::build::writeDemoGame(m_game, 4);
    FrmMain window(m_dialogs);
    window.show();
    window.List1->setCurrentRow(rowOf(window, "ITEMS.BIF"));
    m_dialogs.expectQuestion("Exit Program", "Are you sure you want to quit ?", false);
    window.CmdQuit->trigger();
    m_dialogs.expectQuestion("Exit Program", "Are you sure you want to quit ?", false);
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(m_dialogs.pending(), 0u);
    EXPECT_EQ(m_dialogs.beeps, 0) << "the question comes without a beep";
    EXPECT_EQ(window.selection().targetfile, "ITEMS");
    EXPECT_TRUE(window.cmdedit->isEnabled());
}

// The title bar's close, handed to the window as the toolkit hands it: the scripted end of the program is
// an exception, which must not unwind through the toolkit's own close handling.
struct ClosableMain : FrmMain {
    using FrmMain::closeEvent;
    using FrmMain::FrmMain;
    bool close() {
        QCloseEvent event;
        closeEvent(&event);
        return event.isAccepted();
    }
};

TEST_F(FrmMainQuit, YesEndsTheProgramEvenWithTheAboutWindowOpen) {
    expectNoCatalogueBox();
    ClosableMain window(m_dialogs);
    window.show();
    window.showAbout();
    for (const bool titleBar : {false, true}) {
        m_dialogs.expectQuestion("Exit Program", "Are you sure you want to quit ?", true);
        try {
            if (titleBar)
                window.close();
            else
                window.CmdQuit_Click();
            ADD_FAILURE() << "the program went on";
        } catch (const ProgramEnded& end) {
            EXPECT_EQ(end.exitCode, 0);
        }
    }
}

using FrmMainWindows = FrmMainTest;

TEST_F(FrmMainWindows, AboutIsASingleModelessWindowWithoutOwner) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    window.show();
    window.MNUabout->trigger();
    frmAbout* first = window.aboutWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());
    EXPECT_EQ(first->parentWidget(), nullptr);
    EXPECT_EQ(first->windowTitle(), "About Quillmere");

    window.MNUabout->trigger();
    EXPECT_EQ(window.aboutWindow(), first);
    int abouts = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        abouts += qobject_cast<frmAbout*>(w) != nullptr && w->isVisible() ? 1 : 0;
    EXPECT_EQ(abouts, 1);
}

TEST_F(FrmMainWindows, AboutClosedIsCreatedAfreshNextTime) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    window.MNUabout_Click();
    ASSERT_NE(window.aboutWindow(), nullptr);
    window.aboutWindow()->cmdOK_Click();
    processDeferredDeletes();
    EXPECT_EQ(window.aboutWindow(), nullptr);
    window.MNUabout_Click();
    ASSERT_NE(window.aboutWindow(), nullptr);
    EXPECT_TRUE(window.aboutWindow()->isVisible());
}

TEST_F(FrmMainWindows, EditOpensOneEditorForTheChosenArchive) {
    qm::build::writeDemoGame(m_game, 4);
    FrmMain window(m_dialogs);
    window.List1->setCurrentRow(rowOf(window, "SPELLS.BIF"));
    QTest::mouseClick(window.cmdedit, Qt::LeftButton);
    FrmEdit* editor = window.editWindow();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->parentWidget(), nullptr);
    window.cmdedit_Click();
    EXPECT_EQ(window.editWindow(), editor);
    EXPECT_TRUE(window.cmdedit->isEnabled());
}

// Edit shows the archive chosen last: the open editor lists another one anew, and the search window's
// caption follows; on the same archive the editor keeps its checks.
TEST_F(FrmMainWindows, EditShowsTheChosenArchiveInTheOpenEditor) {
    qm::build::writeDemoGame(m_game, 4);
    FrmMain window(m_dialogs);
    window.List1->setCurrentRow(rowOf(window, "ITEMS.BIF"));
    window.cmdedit_Click();
    FrmEdit* editor = window.editWindow();
    ASSERT_NE(editor, nullptr);
    editor->List1->item(0)->setCheckState(Qt::Checked);
    editor->MnuSearch_Click();
    ASSERT_NE(window.searchWindow(), nullptr);

    window.List1->setCurrentRow(rowOf(window, "SPELLS.BIF"));
    EXPECT_EQ(editor->Lblfilename->text(), "ITEMS") << "only Edit changes the editor";
    window.cmdedit_Click();
    EXPECT_EQ(window.editWindow(), editor);
    EXPECT_EQ(editor->Lblfilename->text(), "SPELLS");
    EXPECT_EQ(editor->keptArchive().targetfile, "SPELLS");
    EXPECT_EQ(editor->List1->count(), window.selection().nbfile);
    EXPECT_EQ(editor->totalfiles, 0);
    EXPECT_EQ(editor->txttotalfiles->text(), "0");
    EXPECT_TRUE(editor->Txtname->isHidden());
    EXPECT_EQ(window.searchWindow()->FraCritere->title(), "Search file in SPELLS.bif");

    editor->List1->item(1)->setCheckState(Qt::Checked);
    window.cmdedit_Click();
    EXPECT_EQ(editor->List1->item(1)->checkState(), Qt::Checked) << "the same archive is shown as it is";
    EXPECT_EQ(editor->totalfiles, 1);
    EXPECT_TRUE(m_dialogs.shown.empty());
}

using FrmMainLayout = FrmMainTest;

TEST_F(FrmMainLayout, ClientAreaHasTheFixedSizeBelowTheMenu) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    window.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.windowTitle(), "Quillmere Ziro");
    EXPECT_EQ(window.centralWidget()->size(), QSize(294, 383));
    EXPECT_EQ(window.centralWidget()->y(), window.menuBar()->height());
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the window does not resize";
}

TEST_F(FrmMainLayout, ControlsSitWhereTheTwipsPutThem) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    EXPECT_EQ(window.PBprogress->geometry(), QRect(40, 320, 217, 17));
    EXPECT_EQ(window.Picture1->geometry(), QRect(0, 0, 297, 385));
    EXPECT_EQ(window.cmdedit->geometry(), QRect(176, 136, 73, 25));
    EXPECT_EQ(window.Cmdextract->geometry(), QRect(48, 136, 73, 25));
    EXPECT_EQ(window.List1->geometry(), QRect(80, 72, 137, 55));
    EXPECT_EQ(window.LblExtract->geometry(), QRect(48, 176, 201, 129));
    EXPECT_EQ(window.Image1->geometry(), QRect(48, 40, 192, 27));
    for (QWidget* inside : std::initializer_list<QWidget*>{window.cmdedit, window.Cmdextract, window.List1,
                                                           window.LblExtract, window.Image1})
        EXPECT_EQ(inside->parentWidget(), window.Picture1) << inside->objectName().toStdString();
    EXPECT_EQ(window.PBprogress->parentWidget(), window.Picture1->parentWidget());
}

TEST_F(FrmMainLayout, ProgressBarStaysVisibleAboveTheParchment) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    QWidget* client = window.centralWidget();
    EXPECT_EQ(client->childAt(QPoint(100, 328)), window.PBprogress);
    EXPECT_EQ(window.PBprogress->minimum(), 0);
    EXPECT_EQ(window.PBprogress->maximum(), 100);
}

TEST_F(FrmMainLayout, PicturesFontsAndTooltipAreSet) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    EXPECT_EQ(window.Picture1->pixmap().size(), QSize(293, 382));
    EXPECT_EQ(window.Image1->pixmap().size(), QSize(192, 27));
    EXPECT_EQ(window.Image1->toolTip(), "Baldur's Gate is a trademark of TSR inc.");
    EXPECT_EQ(window.cmdedit->font().family(), qm::fonts::blackletterFamily());
    EXPECT_EQ(window.Cmdextract->font().family(), qm::fonts::blackletterFamily());
    EXPECT_EQ(window.cmdedit->font().pixelSize(), 16);
    EXPECT_EQ(window.List1->font().family(), qm::fonts::serifFamily());
    EXPECT_EQ(window.List1->font().pixelSize(), 15);
    EXPECT_EQ(window.cmdedit->text(), "E&dit");
    EXPECT_EQ(window.Cmdextract->text(), "&Extract");
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(window.windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}}));
}

TEST_F(FrmMainLayout, MenuBarHoldsQuitAndAboutAndAViewMenuWithAllArchives) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    const QList<QAction*> actions = window.menuBar()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "&Quit");
    EXPECT_EQ(actions[1]->text(), "&About");
    EXPECT_EQ(actions[2]->text(), "&View");
    EXPECT_EQ(actions[0]->menu(), nullptr);
    EXPECT_EQ(actions[1]->menu(), nullptr);
    ASSERT_NE(actions[2]->menu(), nullptr);
    const QList<QAction*> view = actions[2]->menu()->actions();
    ASSERT_EQ(view.size(), 1);
    EXPECT_EQ(view[0], window.MNUallArchives);
    EXPECT_EQ(view[0]->text(), "&All archives");
    EXPECT_TRUE(view[0]->isCheckable());
    EXPECT_FALSE(view[0]->isChecked()) << "off at start";
}

// Checked, the list holds every archive of the catalogue that is on disk; each extracts as the four do,
// its types named by the format's documented table. Unchecked, the list is the four again.
TEST_F(FrmMainSelection, AllArchivesListsEveryArchiveOnDiskAndExtractsOne) {
    qm::build::KeyBuilder key;
    key.addArchive("data\\ITEMS.BIF");
    key.addArchive("data\\AR0010.BIF");
    key.addArchive("data\\GONE.BIF");
    key.addResource("TABLE", 1012, 0, 16);
    key.addResource("NAMES", 1008, 1, 16);
    qm::build::BifBuilder items;
    qm::build::BifBuilder area;
    area.add(1012, "2DA V1.0");
    area.add(1008, "IDS V1.0");
    qm::build::writeFile(m_game / "chitin.key", key.bytes());
    qm::build::writeFile(m_game / "data" / "ITEMS.BIF", items.bytes());
    qm::build::writeFile(m_game / "data" / "AR0010.BIF", area.bytes());
    FrmMain window(m_dialogs);
    window.show();
    EXPECT_EQ(listTexts(window), (std::vector<std::string>{"ITEMS.BIF"}));

    window.MNUallArchives->trigger();
    EXPECT_EQ(listTexts(window), (std::vector<std::string>{"AR0010.BIF", "ITEMS.BIF"}));
    window.List1->setCurrentRow(rowOf(window, "AR0010.BIF"));
    EXPECT_EQ(window.selection().targetfile, "AR0010");
    m_dialogs.expectMessage("End of Extraction", kDone);
    QTest::mouseClick(window.Cmdextract, Qt::LeftButton);
    EXPECT_EQ(m_dialogs.pending(), 0u);
    EXPECT_EQ(qm::test::readBytes(m_work / "AR0010" / "TABLE.2DA"), "2DA V1.0");
    EXPECT_EQ(qm::test::readBytes(m_work / "AR0010" / "NAMES.IDS"), "IDS V1.0");

    window.MNUallArchives->trigger();
    EXPECT_EQ(listTexts(window), (std::vector<std::string>{"ITEMS.BIF"}));
    EXPECT_EQ(window.selection().targetfile, "AR0010") << "the choice stays until another is made";
}

// F10 takes the menu bar: the arrows move along it, Return runs the entry, Escape gives the focus back.
TEST_F(FrmMainLayout, F10OpensTheMenuBarForTheKeyboard) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.List1->setFocus();
    QTest::keyClick(&window, Qt::Key_F10);
    QMenuBar* bar = window.menuBar();
    EXPECT_TRUE(bar->hasFocus());
    EXPECT_EQ(bar->activeAction(), window.CmdQuit);
    QTest::keyClick(bar, Qt::Key_Left);
    EXPECT_EQ(bar->activeAction(), window.MNUview->menuAction()) << "the arrows go round";
    QTest::keyClick(bar, Qt::Key_Escape);
    EXPECT_EQ(bar->activeAction(), nullptr);
    EXPECT_TRUE(window.List1->hasFocus());

    QTest::keyClick(&window, Qt::Key_F10);
    QTest::keyClick(bar, Qt::Key_Right);
    EXPECT_EQ(bar->activeAction(), window.MNUabout);
    QTest::keyClick(bar, Qt::Key_Return);
    ASSERT_NE(window.aboutWindow(), nullptr);
    EXPECT_TRUE(window.aboutWindow()->isVisible());
}

TEST_F(FrmMainLayout, TabGoesFromTheListToExtractToEdit) {
    expectNoCatalogueBox();
    FrmMain window(m_dialogs);
    EXPECT_EQ(nextTabStop(window.List1), window.Cmdextract);
    EXPECT_EQ(nextTabStop(window.Cmdextract), window.cmdedit);
    EXPECT_EQ(window.LblExtract->focusPolicy(), Qt::NoFocus);
}

} // namespace
