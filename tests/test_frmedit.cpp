#include "FileError.h"
#include "FreeSpace.h"
#include "FrmEdit.h"
#include "FrmSearch.h"
#include "GameBuilder.h"
#include "HostPath.h"
#include "HostedWindows.h"
#include "SignalValues.h"
#ifdef QUILLMERE_HAVE_PLAYBACK
#include "Sound.h"
#endif
#include "SoundBuilder.h"
#include "Text.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QThreadPool>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <optional>
#ifdef __linux__
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using qm::test::CurrentDir;
using qm::test::readBytes;

constexpr std::int16_t kItm = 1005;
constexpr std::int16_t kCre = 1009;
constexpr std::int16_t kChu = 1002;
constexpr std::int16_t kWav = 4;

// Bytes that differ from file to file, so a copy of the wrong range cannot pass.
std::string pattern(std::size_t size, int seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(seed) * 31 + i / 251) & 0xFF);
    return bytes;
}

// An item's data carry the string reference of its name at bytes 12-15.
std::string itemData(std::size_t size, int seed, std::uint32_t nameIndex) {
    std::string bytes = pattern(size, seed);
    qm::build::storeU32(bytes, 12, nameIndex);
    return bytes;
}

struct ArchiveFile {
    std::string resRef;
    std::int16_t type;
    std::string data;
};

// Where each file's data lie: right behind the 16-byte file table that follows the 20-byte header.
std::vector<std::int32_t> dataOffsets(const std::vector<ArchiveFile>& files) {
    std::vector<std::int32_t> offsets;
    std::int32_t next = 20 + 16 * static_cast<std::int32_t>(files.size());
    for (const ArchiveFile& f : files) {
        offsets.push_back(next);
        next += static_cast<std::int32_t>(f.data.size());
    }
    return offsets;
}

// The status bar's message is seen whole: no progress bar lies over it and the panel is wide enough.
void expectWholeMessage(const FrmEdit& edit) {
    EXPECT_TRUE(edit.PBbar1->isHidden()) << "the progress bar covers the message";
    const QLabel& panel = *edit.StatusPanel1;
    EXPECT_LE(panel.fontMetrics().horizontalAdvance(panel.text()), panel.contentsRect().width())
        << panel.text().toStdString();
}

// A folder nobody may write into: one without write permission, or, for root, whom permissions do not
// stop, a read-only file system mounted over it.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(fs::path dir) : m_dir(std::move(dir)) {
        fs::create_directories(m_dir);
#ifdef __linux__
        if (::geteuid() == 0) {
            m_mounted = ::mount("tmpfs", m_dir.c_str(), "tmpfs", MS_RDONLY, "size=16k") == 0;
            m_holds = m_mounted;
            return;
        }
#endif
        fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
        m_holds = true;
    }
    ~ReadOnlyFolder() {
#ifdef __linux__
        if (m_mounted) {
            ::umount(m_dir.c_str());
            return;
        }
#endif
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, ec);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool holds() const {
        return m_holds;
    }

private:
    fs::path m_dir;
    bool m_mounted = false;
    bool m_holds = false;
};

// A small game: ITEMS with two items, a sound and a CHU; CREATURE with a creature, a type-3 file and a
// file bigger than one copy chunk; Dialog.tlk with the item names.
class EditorGame : public HostedWindows {
protected:
    void SetUp() override {
        items = {{"SWORD01", kItm, itemData(1000, 1, 1)},
                 {"HELM02", kItm, itemData(600, 2, 2)},
                 {"BOOM", kWav, pattern(300, 3)},
                 {"PANEL", kChu, pattern(120, 4)}};
        creatures = {
            {"GOBLIN", kCre, pattern(2000, 5)}, {"ODD", 3, pattern(50, 6)}, {"BIG", kCre, pattern(70000, 7)}};

        qm::build::KeyBuilder key;
        key.addArchive("data\\ITEMS.BIF");
        key.addArchive("data\\CREATURE.BIF");
        writeArchive(key, "ITEMS.BIF", items, 240);
        writeArchive(key, "CREATURE.BIF", creatures, 608);
        qm::build::writeFile(game / "chitin.key", key.bytes());

        qm::build::TlkBuilder tlk;
        tlk.add("<none>");
        tlk.add("Long Sword");
        tlk.add("\xC9p\xE9"
                "e du Roi"); // Windows-1252: "Épée du Roi"
        qm::build::writeFile(game / "Dialog.tlk", tlk.bytes());

        startHost();
    }

    void writeArchive(qm::build::KeyBuilder& key, const std::string& name,
                      const std::vector<ArchiveFile>& files, std::int16_t biffid) {
        qm::build::BifBuilder bif;
        for (const ArchiveFile& f : files) {
            const auto index = static_cast<std::int16_t>(bif.fileCount());
            bif.add(f.type, f.data);
            key.addResource(f.resRef, f.type, index, biffid);
        }
        qm::build::writeFile(game / "data" / name, bif.bytes());
    }

    void choose(const QString& entry) { host->choose(entry.toStdString()); }

    FrmEdit* openEditor(const QString& entry) {
        choose(entry);
        FrmEdit* edit = host->showEdit();
        EXPECT_NE(edit, nullptr);
        if (edit != nullptr) {
            EXPECT_TRUE(edit->loaded());
        }
        return edit;
    }

    static void check(FrmEdit& edit, int row, bool on) {
        edit.List1->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }

    static std::vector<QString> listTexts(const FrmEdit& edit) {
        std::vector<QString> texts;
        for (int i = 0; i < edit.List1->count(); ++i)
            texts.push_back(edit.List1->item(i)->text());
        return texts;
    }

    static int checkedCount(const FrmEdit& edit) {
        int n = 0;
        for (int i = 0; i < edit.List1->count(); ++i)
            n += edit.List1->item(i)->checkState() == Qt::Checked ? 1 : 0;
        return n;
    }

    std::vector<ArchiveFile> items;
    std::vector<ArchiveFile> creatures;
};

using FrmEditLoad = EditorGame;

TEST_F(FrmEditLoad, ListsEveryFileWithArchiveFactsAndZeroTotals) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);

    EXPECT_EQ(edit->windowTitle(), "Dizurorudav");
    EXPECT_EQ(listTexts(*edit), (std::vector<QString>{"SWORD01.ITM", "HELM02.ITM", "BOOM.WAV", "PANEL.CHU"}));
    EXPECT_EQ(checkedCount(*edit), 0);
    EXPECT_EQ(edit->txtfilesize->text().toLongLong(),
              static_cast<long long>(fs::file_size(game / "data" / "ITEMS.BIF")));
    EXPECT_EQ(edit->txtnbfile->text(), "4");
    EXPECT_EQ(edit->Lblfilename->text(), "ITEMS");
    EXPECT_EQ(edit->FraFileinfo->title(), "ITEMS Infos");
    EXPECT_EQ(edit->txttotalfiles->text(), "0");
    EXPECT_EQ(edit->totalfiles, 0);
    EXPECT_EQ(edit->totalsize, 0);
    EXPECT_TRUE(edit->txtfileselected->text().isEmpty());
    EXPECT_EQ(edit->PBbar1->value(), 0);
    EXPECT_EQ(edit->PBbar1->maximum(), 100);
}

TEST_F(FrmEditLoad, FixedClientAreaWithoutMinimiseOrMaximise) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->centralWidget()->size(), QSize(317, 406));
    EXPECT_EQ(edit->minimumSize(), edit->maximumSize());
    EXPECT_FALSE(edit->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(edit->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(edit->List1->geometry(), QRect(8, 72, 153, 259));
}

TEST_F(FrmEditLoad, ProgressRunsOnTheMainWindowsBarThenOneBeep) {
    choose("ITEMS.BIF");
    std::vector<int> values;
    QObject::connect(host->loadProgressBar(), &QProgressBar::valueChanged,
                     [&values](int v) { values.push_back(v); });
    const int beepsBefore = dialogs.beeps;

    ASSERT_NE(host->showEdit(), nullptr);

    EXPECT_EQ(values, (std::vector<int>{25, 50, 75, 100, 0}));
    EXPECT_EQ(dialogs.beeps - beepsBefore, 1);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FrmEditLoad, NameFieldsShownForItemsOnly) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    EXPECT_FALSE(edit->LblName->isHidden());
    EXPECT_FALSE(edit->Txtname->isHidden());
    edit->MnuClose_Click();
    flushDeletes();

    FrmEdit* creatureEdit = openEditor("CREATURE.BIF");
    ASSERT_NE(creatureEdit, nullptr);
    EXPECT_TRUE(creatureEdit->LblName->isHidden());
    EXPECT_TRUE(creatureEdit->Txtname->isHidden());
    EXPECT_EQ(creatureEdit->FraFileinfo->title(), "CREATURE Infos");
    EXPECT_EQ(listTexts(*creatureEdit), (std::vector<QString>{"GOBLIN.CRE", "ODD. 3", "BIG.CRE"}));
}

TEST_F(FrmEditLoad, ShowingAnOpenEditorKeepsItsList) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    check(*edit, 1, true);
    const int beepsBefore = dialogs.beeps;
    EXPECT_EQ(host->showEdit(), edit);
    EXPECT_EQ(edit->List1->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(edit->txttotalfiles->text(), "1");
    EXPECT_EQ(dialogs.beeps, beepsBefore);
}

TEST_F(FrmEditLoad, ReopenedEditorIsRebuiltWithZeroTotals) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    check(*edit, 0, true);
    check(*edit, 2, true);
    ASSERT_EQ(edit->txttotalfiles->text(), "2");
    QPointer<FrmEdit> first(edit);
    edit->MnuClose_Click();
    flushDeletes();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(host->mainShown, 1);

    const int beepsBefore = dialogs.beeps;
    FrmEdit* again = host->showEdit();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(dialogs.beeps - beepsBefore, 1);
    EXPECT_EQ(again->List1->count(), 4);
    EXPECT_EQ(checkedCount(*again), 0);
    EXPECT_EQ(again->txttotalfiles->text(), "0");
    EXPECT_EQ(again->totalfiles, 0);
    EXPECT_EQ(again->totalsize, 0);
}

using FrmEditDetails = EditorGame;

TEST_F(FrmEditDetails, CheckingAnEntryShowsItAndCountsIt) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    const auto offsets = dataOffsets(items);

    check(*edit, 0, true);
    EXPECT_EQ(edit->txttotalfiles->text(), "1");
    EXPECT_EQ(edit->txttotalsize->text(), "1000");
    EXPECT_EQ(edit->txtfileselected->text(), "SWORD01.ITM");
    EXPECT_EQ(edit->txtaddress->text(), QString::number(offsets[0]));
    EXPECT_EQ(edit->txtsize->text(), "1000");
    EXPECT_EQ(edit->txtinfo->toPlainText(), "Items Definitions files");
    EXPECT_EQ(edit->Txtname->text(), "Long Sword");
    // A name too long for its box shows its start.
    EXPECT_EQ(edit->Txtname->cursorPosition(), 0);

    check(*edit, 1, true);
    EXPECT_EQ(edit->txttotalfiles->text(), "2");
    EXPECT_EQ(edit->txttotalsize->text(), "1600");
    EXPECT_EQ(edit->txtfileselected->text(), "HELM02.ITM");
    EXPECT_EQ(edit->txtaddress->text(), QString::number(offsets[1]));
    EXPECT_EQ(edit->Txtname->text(), QString::fromUtf8("\xC3\x89p\xC3\xA9"
                                                       "e du Roi"));
}

TEST_F(FrmEditDetails, ClearingOneOfTwoShowsTheClearedEntry) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    check(*edit, 0, true);
    check(*edit, 2, true);
    check(*edit, 0, false);

    EXPECT_EQ(edit->txttotalfiles->text(), "1");
    EXPECT_EQ(edit->txttotalsize->text(), "300");
    EXPECT_EQ(edit->txtfileselected->text(), "SWORD01.ITM");
    EXPECT_EQ(edit->txtsize->text(), "1000");
    EXPECT_EQ(edit->Txtname->text(), "Long Sword");
}

TEST_F(FrmEditDetails, ClearingTheLastEmptiesEveryFileFieldTheNameToo) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    check(*edit, 1, true);
    ASSERT_FALSE(edit->Txtname->text().isEmpty());
    check(*edit, 1, false);

    EXPECT_EQ(edit->txttotalfiles->text(), "0");
    EXPECT_EQ(edit->txttotalsize->text(), "0");
    for (const QLineEdit* field : {edit->txtfileselected, edit->txtaddress, edit->txtsize, edit->Txtname})
        EXPECT_TRUE(field->text().isEmpty()) << field->objectName().toStdString();
    EXPECT_TRUE(edit->txtinfo->toPlainText().isEmpty());
}

// The Enhanced Edition: names from lang/en_US/dialog.tlk in UTF-8, numbered past 32767, which the
// independent reading of each entry's own offset field confirms.
TEST_F(HostedWindows, EditionItemNamesComeFromTheLanguageTable) {
    qm::build::DemoOptions options;
    options.layout = qm::build::DemoLayout::Ee;
    options.filesPerArchive = 6;
    qm::build::writeDemoGame(game.path(), options);
    const std::string table = qm::test::readBytes(game / "lang/en_US/dialog.tlk");
    const std::string bif = qm::test::readBytes(game / "data/Items.bif");
    const auto u32 = [](const std::string& bytes, std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at))) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 1))) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 2))) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 3))) << 24;
    };
    startHost();
    host->choose("Items.bif");
    FrmEdit* edit = host->showEdit();
    ASSERT_NE(edit, nullptr);
    ASSERT_EQ(edit->List1->count(), 6);
    bool beyondAscii = false;
    for (int row = 0; row < 6; ++row) {
        edit->List1->item(row)->setCheckState(Qt::Checked);
        const std::uint32_t index = u32(bif, u32(bif, 24 + 16 * static_cast<std::size_t>(row)) + 12);
        const std::size_t entry = 18 + 26 * std::size_t{index};
        const std::string expected =
            table.substr(u32(table, 14) + u32(table, entry + 18), u32(table, entry + 22));
        EXPECT_GT(index, 32767u) << row;
        EXPECT_FALSE(expected.empty()) << row;
        EXPECT_EQ(edit->Txtname->text(),
                  QString::fromUtf8(expected.data(), static_cast<int>(expected.size())))
            << row;
        beyondAscii = beyondAscii || edit->Txtname->text().contains(QRegularExpression("[^\\x00-\\x7F]"));
    }
    EXPECT_TRUE(beyondAscii);
}

TEST_F(FrmEditDetails, ClearingTheLastOutsideItemsLeavesTheNameEmpty) {
    FrmEdit* edit = openEditor("CREATURE.BIF");
    ASSERT_NE(edit, nullptr);
    check(*edit, 0, true);
    EXPECT_EQ(edit->txtinfo->toPlainText(), "Monsters Definitions files");
    EXPECT_TRUE(edit->Txtname->text().isEmpty());
    check(*edit, 0, false);
    EXPECT_EQ(edit->txttotalfiles->text(), "0");
    EXPECT_TRUE(edit->txtfileselected->text().isEmpty());
    EXPECT_TRUE(edit->Txtname->text().isEmpty());
}

TEST_F(FrmEditDetails, SoundDescriptionTakesTwoLines) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    check(*edit, 2, true);
#ifdef QUILLMERE_HAVE_PLAYBACK
    EXPECT_EQ(edit->txtinfo->toPlainText(), "Sounds Files,\nDouble-click to play");
#else
    EXPECT_EQ(edit->txtinfo->toPlainText(), "Sounds Files,\nNot yet playable");
#endif
    EXPECT_EQ(edit->txtinfo->document()->blockCount(), 2);
}

TEST_F(FrmEditDetails, UnknownEndingsShowTheThreeLineFallback) {
    FrmEdit* itemsEdit = openEditor("ITEMS.BIF");
    ASSERT_NE(itemsEdit, nullptr);
    check(*itemsEdit, 3, true);
    const QString chu = itemsEdit->txtinfo->toPlainText();
    EXPECT_EQ(itemsEdit->txtinfo->document()->blockCount(), 3);
    EXPECT_FALSE(chu.contains('\r'));
    itemsEdit->MnuClose_Click();
    flushDeletes();

    FrmEdit* creatureEdit = openEditor("CREATURE.BIF");
    ASSERT_NE(creatureEdit, nullptr);
    check(*creatureEdit, 1, true);
    EXPECT_EQ(creatureEdit->txtfileselected->text(), "ODD. 3");
    EXPECT_EQ(creatureEdit->txtinfo->toPlainText(), chu);
}

// Space checks the current entry, Ctrl+A every entry, each through the check event a click raises; Tab
// goes from the list to Extract, past the fields that only show.
TEST_F(FrmEditDetails, KeyboardChecksAndTabOrder) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    edit->show();
    edit->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(edit));
    edit->List1->setFocus();
    edit->List1->setCurrentRow(2);
    QTest::keyClick(edit->List1, Qt::Key_Space);
    EXPECT_EQ(edit->List1->item(2)->checkState(), Qt::Checked);
    EXPECT_EQ(edit->txttotalfiles->text(), "1");
    EXPECT_EQ(edit->txtfileselected->text(), "BOOM.WAV");

    QTest::keyClick(edit->List1, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(checkedCount(*edit), 4);
    EXPECT_EQ(edit->totalfiles, 4);
    EXPECT_EQ(edit->txttotalsize->text(), "2020");
    EXPECT_EQ(edit->txtfileselected->text(), "PANEL.CHU") << "the details follow the last check";

    QTest::keyClick(edit->List1, Qt::Key_Tab);
    EXPECT_TRUE(edit->Cmdextract->hasFocus());
    for (QWidget* shown : std::initializer_list<QWidget*>{
             edit->txtfilesize, edit->txtnbfile, edit->txttotalfiles, edit->txttotalsize, edit->Txtname,
             edit->txtfileselected, edit->txtaddress, edit->txtsize, edit->txtinfo})
        EXPECT_FALSE(shown->focusPolicy() & Qt::TabFocus)
            << "Tab passes by " << shown->objectName().toStdString();
}

TEST_F(FrmEditDetails, TextChangeOfAnEntryIsNotACheckChange) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    check(*edit, 0, true);
    edit->List1->item(0)->setText("RENAMED.ITM");
    EXPECT_EQ(edit->txttotalfiles->text(), "1");
    EXPECT_EQ(edit->totalsize, 1000);
}

TEST_F(FrmEditDetails, MissingArchiveReportsARunTimeErrorAndKeepsTheTotals) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    fs::remove(game / "data" / "ITEMS.BIF");
    dialogs.expectMessage("Quillmere", QStringLiteral("Run-time error '53':\n\n") +
                                           QString::fromStdString(qm::errorDescription(qm::FileNotFound)) +
                                           "\n" +
                                           QString::fromStdString(qm::displayPath(
                                               qm::hostPath(host->selection().BGpath + "data\\ITEMS.bif"))));

    check(*edit, 0, true);

    EXPECT_EQ(dialogs.pending(), 0u);
    EXPECT_EQ(edit->txttotalfiles->text(), "0");
    EXPECT_EQ(edit->totalsize, 0);
    EXPECT_EQ(edit->List1->item(0)->checkState(), Qt::Unchecked) << "the box went back, as the totals did";
}

using FrmEditExtract = EditorGame;

TEST_F(FrmEditExtract, WritesCheckedFilesIntoWorkDirAndUnchecksThem) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    check(*edit, 0, true);
    check(*edit, 2, true);
    const QSignalSpy progress(edit, &FrmEdit::progressChanged);

    edit->Cmdextract_Click();

    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(readBytes(work / "WorkDir" / "SWORD01.ITM"), items[0].data);
    EXPECT_EQ(readBytes(work / "WorkDir" / "BOOM.WAV"), items[2].data);
    EXPECT_EQ(std::distance(fs::directory_iterator(work / "WorkDir"), fs::directory_iterator()), 2);
    EXPECT_EQ(checkedCount(*edit), 0);
    EXPECT_EQ(edit->txttotalfiles->text(), "0");
    EXPECT_EQ(edit->totalsize, 0);
    EXPECT_TRUE(edit->txtfileselected->text().isEmpty());
    EXPECT_EQ(edit->StatusPanel1->text(), "2 files written to WorkDir");
    expectWholeMessage(*edit);
    EXPECT_EQ(fs::path(edit->StatusPanel1->toolTip().toStdString()), fs::absolute(work.path() / "WorkDir"));
    EXPECT_EQ(edit->PBbar1->value(), 0);
    EXPECT_EQ(floatsOf(progress), (std::vector<float>{100.0f, 0.0f, 100.0f, 0.0f}));
}

// Output that cannot be written: a box that names the path, the run stops, and the program, its editor and
// the checks of the files not yet written stay as they were.
TEST_F(FrmEditExtract, OutputFailuresNameThePathStopTheRunAndKeepTheProgram) {
#ifdef _WIN32
    GTEST_SKIP() << "read-only folders, mounts and links of this table are the Linux host's";
#endif
    enum class Setup {
        ReadOnlyWorkDir,
        NoRoom,
        WorkDirIsAFile,
        WorkDirIsADanglingLink,
        OutputIsAFolder,
        ReadOnlyCurrentFolder
    };
    struct Case {
        const char* name;
        Setup setup;
        bool existenceTest; // the existence test's own "ERROR" box, else the run-time box
        int number;
        std::string description;
        fs::path path;     // relative to the current folder, as the box names it
        bool firstWritten; // the run wrote the first checked file before it stopped
    };
    const fs::path workDirName = "WorkDir";
    const std::vector<Case> cases = {
        {"read-only WorkDir", Setup::ReadOnlyWorkDir, false, qm::PermissionDenied,
         qm::errorDescription(qm::PermissionDenied), workDirName / "SWORD01.ITM.quillmere-part", false},
        {"no room for the checked files", Setup::NoRoom, false, qm::DiskFull,
         "not enough free space: needs 1.3 kB, 100 bytes free", workDirName, false},
        {"WorkDir is a file", Setup::WorkDirIsAFile, false, qm::PathFileAccessError,
         "an output folder is not a folder", workDirName, false},
        {"WorkDir is a dangling link", Setup::WorkDirIsADanglingLink, false, qm::PathFileAccessError,
         "an output folder is a symbolic link", workDirName, false},
        {"second output is taken by a folder", Setup::OutputIsAFolder, false, qm::PathFileAccessError,
         qm::errorDescription(qm::PathFileAccessError), workDirName / "BOOM.WAV", true},
        {"read-only current folder", Setup::ReadOnlyCurrentFolder, true, qm::PermissionDenied,
         qm::errorDescription(qm::PermissionDenied), workDirName, false},
    };
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    for (std::size_t n = 0; n < cases.size(); ++n) {
        const Case& c = cases[n];
        SCOPED_TRACE(c.name);
        const fs::path out = work.path() / ("case-" + std::to_string(n));
        const fs::path workDir = out / "WorkDir";
        fs::create_directories(out);
        std::optional<ReadOnlyFolder> readOnly;
        switch (c.setup) {
        case Setup::ReadOnlyWorkDir:
            readOnly.emplace(workDir);
            break;
        case Setup::NoRoom:
            qm::replaceFreeSpaceQuery([](const fs::path&) { return std::int64_t{100}; });
            break;
        case Setup::WorkDirIsAFile:
            qm::build::writeFile(workDir, "not a folder");
            break;
        case Setup::WorkDirIsADanglingLink:
            fs::create_directory_symlink(out / "gone", workDir);
            break;
        case Setup::OutputIsAFolder:
            fs::create_directories(workDir / "BOOM.WAV" / "inside");
            break;
        case Setup::ReadOnlyCurrentFolder:
            readOnly.emplace(out);
            break;
        }
        if (readOnly && !readOnly->holds()) {
            std::cerr << "not checked here: " << c.name << " (root, and no read-only mount)\n";
            continue;
        }
        const CurrentDir inOut(out);
        check(*edit, 0, true);
        check(*edit, 2, true);
        const int beepsBefore = dialogs.beeps;
        const QString description = QString::fromStdString(c.description);
        const QString path = QString::fromStdString(c.path.string());
        if (c.existenceTest)
            dialogs.expectMessage("ERROR",
                                  QStringLiteral("%1 : %2\n%3").arg(c.number).arg(description, path));
        else
            dialogs.expectMessage(
                "Quillmere",
                QStringLiteral("Run-time error '%1':\n\n%2\n%3").arg(c.number).arg(description, path));

        edit->Cmdextract_Click(); // an end of the program would throw ProgramEnded out of the test

        qm::replaceFreeSpaceQuery(qm::hostFreeSpace);
        EXPECT_EQ(dialogs.pending(), 0u);
        EXPECT_EQ(dialogs.beeps - beepsBefore, c.existenceTest ? 1 : 0);
        EXPECT_EQ(edit->List1->item(0)->checkState(), c.firstWritten ? Qt::Unchecked : Qt::Checked);
        EXPECT_EQ(edit->List1->item(2)->checkState(), Qt::Checked) << "the file not written stays checked";
        EXPECT_EQ(edit->totalfiles, c.firstWritten ? 1 : 2);
        if (c.firstWritten) {
            EXPECT_EQ(readBytes(workDir / "SWORD01.ITM"), items[0].data) << "what was written stays whole";
        }
        EXPECT_EQ(host->editWindow(), edit);
        for (int row = 0; row < edit->List1->count(); ++row)
            check(*edit, row, false);
    }
}

TEST_F(FrmEditExtract, NothingCheckedStillCreatesWorkDir) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    ASSERT_FALSE(fs::exists(work / "WorkDir"));
    const QSignalSpy progress(edit, &FrmEdit::progressChanged);

    edit->Cmdextract_Click();

    EXPECT_TRUE(fs::is_directory(work / "WorkDir"));
    EXPECT_TRUE(fs::is_empty(work / "WorkDir"));
    EXPECT_TRUE(progress.empty());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FrmEditExtract, LongerOldOutputLosesItsStaleBytes) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    qm::build::writeFile(work / "WorkDir" / "HELM02.ITM", std::string(5000, 'Z'));
    check(*edit, 1, true);

    edit->Cmdextract_Click();

    EXPECT_EQ(readBytes(work / "WorkDir" / "HELM02.ITM"), items[1].data);
}

TEST_F(FrmEditExtract, BigFileReportsProgressPerChunk) {
    FrmEdit* edit = openEditor("CREATURE.BIF");
    ASSERT_NE(edit, nullptr);
    check(*edit, 2, true);
    const QSignalSpy spy(edit, &FrmEdit::progressChanged);

    edit->Cmdextract_Click();

    EXPECT_EQ(readBytes(work / "WorkDir" / "BIG.CRE"), creatures[2].data);
    const std::vector<float> progress = floatsOf(spy);
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_FLOAT_EQ(progress[0], 65535.0f / 70000.0f * 100.0f);
    EXPECT_FLOAT_EQ(progress[1], 100.0f);
    EXPECT_FLOAT_EQ(progress[2], 0.0f);
}

TEST_F(FrmEditExtract, ExtractButtonRunsTheExtraction) {
    FrmEdit* edit = openEditor("CREATURE.BIF");
    ASSERT_NE(edit, nullptr);
    check(*edit, 0, true);
    QTest::mouseClick(edit->Cmdextract, Qt::LeftButton);
    EXPECT_EQ(readBytes(work / "WorkDir" / "GOBLIN.CRE"), creatures[0].data);
    EXPECT_EQ(checkedCount(*edit), 0);
    fs::remove_all(work / "WorkDir");
    check(*edit, 1, true);
    QTest::keyClick(edit->Cmdextract, Qt::Key_Enter);
    EXPECT_EQ(checkedCount(*edit), 0) << "Enter on the button extracts as a click does";
}

using FrmEditKeepsItsArchive = EditorGame;

TEST_F(FrmEditKeepsItsArchive, DetailsReadTheListedArchiveAfterAnotherChoice) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    choose("CREATURE.BIF");
    ASSERT_EQ(host->selection().targetfile, "CREATURE");

    check(*edit, 0, true);

    EXPECT_EQ(edit->txtaddress->text(), QString::number(dataOffsets(items)[0]));
    EXPECT_EQ(edit->txtsize->text(), "1000");
    EXPECT_EQ(edit->txttotalsize->text(), "1000");
    EXPECT_EQ(edit->Txtname->text(), "Long Sword");
    EXPECT_EQ(edit->Lblfilename->text(), "ITEMS");
}

TEST_F(FrmEditKeepsItsArchive, ExtractionCopiesFromTheListedArchiveAfterAnotherChoice) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    choose("CREATURE.BIF");
    check(*edit, 0, true);
    check(*edit, 3, true);

    edit->Cmdextract_Click();

    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(readBytes(work / "WorkDir" / "SWORD01.ITM"), items[0].data);
    EXPECT_EQ(readBytes(work / "WorkDir" / "PANEL.CHU"), items[3].data);
    EXPECT_EQ(checkedCount(*edit), 0);
}

TEST_F(FrmEditKeepsItsArchive, SearchWindowNamesTheListedArchive) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    choose("CREATURE.BIF");
    edit->MnuSearch_Click();
    ASSERT_NE(host->searchWindow(), nullptr);
    EXPECT_EQ(host->searchWindow()->FraCritere->title(), "Search file in ITEMS.bif");
}

using FrmEditMenus = EditorGame;

TEST_F(FrmEditMenus, MenuCaptions) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->MnuClose->text(), "E&xit Vezidezozu");
    EXPECT_EQ(edit->MnuSearch->text(), "&Search");
    EXPECT_EQ(edit->Cmdextract->text(), "E&xtract");
}

TEST_F(FrmEditMenus, ExitClosesTheEditorAndShowsTheMainWindow) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    edit->show();
    edit->MnuSearch_Click();
    QPointer<FrmSearch> search(host->searchWindow());
    ASSERT_FALSE(search.isNull());

    edit->MnuClose->trigger();
    flushDeletes();

    EXPECT_EQ(host->editWindow(), nullptr);
    EXPECT_EQ(host->mainShown, 1);
    EXPECT_FALSE(search.isNull());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FrmEditMenus, SearchOpensOneSearchWindow) {
    FrmEdit* edit = openEditor("ITEMS.BIF");
    ASSERT_NE(edit, nullptr);
    edit->MnuSearch->trigger();
    FrmSearch* first = host->searchWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    edit->MnuSearch->trigger();
    EXPECT_EQ(host->searchWindow(), first);
    EXPECT_TRUE(edit->isVisible());
}

// The sound archive: a WAVC tone, a sound whose bytes are no sound, a creature and a long WAVC tone.
class SoundGame : public HostedWindows {
protected:
    void SetUp() override {
        // No sound server answers here, whatever the machine has: the editor must say so.
        noServer.set("unix:/nonexistent/quillmere-no-pulse");
        qm::build::KeyBuilder key;
        key.addArchive("data\\CHASOUND.BIF");
        qm::build::BifBuilder bif;
        files = {{"HELLO", kWav, qm::build::wavcFile(qm::build::tone(1, 22050, 4096, 440.0), 1, 22050)},
                 {"BOOM", kWav, pattern(300, 3)},
                 {"GOBLIN", kCre, pattern(200, 5)},
                 {"LONG", kWav, qm::build::wavcFile(qm::build::tone(1, 22050, 22050 * 30, 220.0), 1, 22050)}};
        for (const ArchiveFile& f : files) {
            key.addResource(f.resRef, f.type, static_cast<std::int16_t>(bif.fileCount()), 1136);
            bif.add(f.type, f.data);
        }
        qm::build::writeFile(game / "chitin.key", key.bytes());
        qm::build::writeFile(game / "data" / "CHASOUND.BIF", bif.bytes());
        startHost();
        host->choose("CHASOUND.BIF");
        edit = host->showEdit();
        ASSERT_NE(edit, nullptr);
    }
    void doubleClick(int row) {
        const QPoint at = edit->List1->visualItemRect(edit->List1->item(row)).center();
        QTest::mouseClick(edit->List1->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(edit->List1->viewport(), Qt::LeftButton, {}, at);
    }
    // The decode runs off the window's thread; its outcome reaches the status bar through the event loop.
    void doubleClickAndWait(int row) {
        doubleClick(row);
        EXPECT_TRUE(QTest::qWaitFor([this] { return edit->decodingItem() < 0; }, 10000)) << row;
    }

    qm::test::ScopedEnv noServer{"PULSE_SERVER"};
    FrmEdit* edit = nullptr;
    std::vector<ArchiveFile> files;
};

TEST_F(SoundGame, DoubleClickTellsOnTheStatusBarWhyNothingPlaysAndChangesNothingElse) {
    struct Case {
        int row;
        QString status;
    };
#ifdef QUILLMERE_HAVE_PLAYBACK
    {
        // Without a decoder that loads, the status bar says why; the next double-click asks again.
        qm::test::ScopedEnv module("QUILLMERE_SOUND_MODULE");
        module.set("/nonexistent/quillmere-sound.so");
        doubleClickAndWait(0);
        EXPECT_EQ(edit->StatusPanel1->text(),
                  "sound decoding is not available: /nonexistent/quillmere-sound.so: no such file");
        EXPECT_EQ(edit->playingItem(), -1);
    }
    const std::initializer_list<Case> cases = {
        Case{0, "No sound output"}, Case{1, "Cannot play BOOM.WAV: not a sound this program knows"},
        Case{2, ""}};
#else
    const std::initializer_list<Case> cases = {Case{0, "This build plays no sounds"}, Case{2, ""}};
#endif
    for (const Case& c : cases) {
        edit->StatusPanel1->clear();
        doubleClickAndWait(c.row);
        EXPECT_EQ(edit->StatusPanel1->text(), c.status) << c.row;
        expectWholeMessage(*edit);
        EXPECT_EQ(edit->playingItem(), -1);
        for (int i = 0; i < edit->List1->count(); ++i)
            EXPECT_EQ(edit->List1->item(i)->checkState(), Qt::Unchecked)
                << "a double-click plays; it does not check";
        EXPECT_EQ(edit->txttotalfiles->text(), "0");
    }
    EXPECT_TRUE(dialogs.shown.empty());
    // Escape with nothing playing leaves the status bar alone.
    QTest::keyClick(edit->List1, Qt::Key_Escape);
    EXPECT_TRUE(edit->StatusPanel1->text().isEmpty());
}

#ifdef QUILLMERE_HAVE_PLAYBACK
TEST_F(SoundGame, ClosingTheEditorWhileASoundDecodesLosesNothing) {
    doubleClick(3);
    EXPECT_EQ(edit->decodingItem(), 3) << "the double-click returns before the decode ends";
    EXPECT_EQ(edit->StatusPanel1->text(), "Decoding LONG.WAV");
    edit->MnuClose->trigger();
    flushDeletes();
    ASSERT_EQ(host->editWindow(), nullptr);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    flushDeletes();

    // The decode that finished for nobody left nothing behind: a new editor decodes the same sound.
    edit = host->showEdit();
    ASSERT_NE(edit, nullptr);
    doubleClickAndWait(3);
    EXPECT_EQ(edit->StatusPanel1->text(), "No sound output");
    // Escape while a decode runs drops it: its outcome never reaches the status bar.
    doubleClick(3);
    QTest::keyClick(edit->List1, Qt::Key_Escape);
    EXPECT_EQ(edit->decodingItem(), -1);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_TRUE(edit->StatusPanel1->text().isEmpty());
    EXPECT_EQ(edit->playingItem(), -1);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SoundGame, ExtractSoundsAsWavWritesPcmAndKeepsWhatDoesNotDecode) {
    ASSERT_NE(edit->MnuWav, nullptr);
    EXPECT_TRUE(edit->MnuWav->isCheckable());
    EXPECT_FALSE(edit->MnuWav->isChecked());
    const qm::Pcm stored = qm::decodeSound(files[0].data);
    for (const bool wav : {false, true}) {
        edit->MnuWav->setChecked(wav);
        for (int row = 0; row < 3; ++row)
            edit->List1->item(row)->setCheckState(Qt::Checked);

        edit->Cmdextract_Click();

        const std::string hello = readBytes(work / "WorkDir" / "HELLO.WAV");
        if (wav) {
            EXPECT_EQ(hello.substr(0, 4), "RIFF");
            const qm::Pcm pcm = qm::decodeSound(hello);
            EXPECT_EQ(pcm.channels, stored.channels);
            EXPECT_EQ(pcm.rate, stored.rate);
            EXPECT_EQ(pcm.samples, stored.samples);
        } else {
            EXPECT_EQ(hello, files[0].data) << "without the option sounds are written as stored";
        }
        EXPECT_EQ(readBytes(work / "WorkDir" / "BOOM.WAV"), files[1].data) << wav;
        EXPECT_EQ(readBytes(work / "WorkDir" / "GOBLIN.CRE"), files[2].data) << wav;
        EXPECT_EQ(edit->StatusPanel1->text(),
                  wav ? "3 files written to WorkDir, 1 sound as stored" : "3 files written to WorkDir");
        expectWholeMessage(*edit);
        EXPECT_TRUE(dialogs.shown.empty());
    }
}
#endif

} // namespace
