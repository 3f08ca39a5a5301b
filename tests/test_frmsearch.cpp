#include "FrmEdit.h"
#include "FrmSearch.h"
#include "GameBuilder.h"
#include "HostedWindows.h"
#include "Text.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace {

class SearchWindow : public HostedWindows {
protected:
    void SetUp() override {
        qm::build::writeDemoGame(game.path(), 3);
        startHost();
        host->choose("ITEMS.BIF");
    }

    FrmSearch& search() {
        FrmSearch* s = host->showSearch();
        EXPECT_NE(s, nullptr);
        return *s;
    }
};

using FrmSearchLoad = SearchWindow;

TEST_F(FrmSearchLoad, CaptionsAndStartState) {
    FrmSearch& s = search();
    EXPECT_EQ(s.windowTitle(), "Search");
    EXPECT_EQ(s.FraCritere->title(), "Search file in ITEMS.bif");
    EXPECT_EQ(s.size(), QSize(358, 255));
    EXPECT_EQ(s.minimumSize(), s.maximumSize());
    EXPECT_FALSE(s.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(s.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(s.Option1[0]->isChecked());
    EXPECT_FALSE(s.Option1[1]->isChecked());
    EXPECT_TRUE(s.txtnamesearch->isEnabled());
    EXPECT_TRUE(s.txtaddec->isEnabled());
    EXPECT_TRUE(s.txtadhex->isEnabled());
    EXPECT_FALSE(s.baddec);
    EXPECT_FALSE(s.badhex);
    EXPECT_EQ(s.cmdsearch->text(), "&Search");
    EXPECT_EQ(s.Cmdexit->text(), "&Cancel");
}

TEST_F(FrmSearchLoad, OpeningTwiceKeepsOneWindowAndItsFirstCaption) {
    FrmSearch* first = &search();
    host->choose("CREATURE.BIF");
    EXPECT_EQ(host->showSearch(), first);
    EXPECT_EQ(first->FraCritere->title(), "Search file in ITEMS.bif");
}

using FrmSearchOptions = SearchWindow;

TEST_F(FrmSearchOptions, EachChoiceEnablesItsOwnBoxesAndKeepsTexts) {
    FrmSearch& s = search();
    QTest::keyClicks(s.txtaddec, "42");
    QTest::keyClicks(s.txtnamesearch, "SW");

    s.Option1[0]->click();
    EXPECT_TRUE(s.txtnamesearch->isEnabled());
    EXPECT_FALSE(s.txtaddec->isEnabled());
    EXPECT_FALSE(s.txtadhex->isEnabled());

    s.Option1[1]->click();
    EXPECT_FALSE(s.txtnamesearch->isEnabled());
    EXPECT_TRUE(s.txtaddec->isEnabled());
    EXPECT_TRUE(s.txtadhex->isEnabled());
    EXPECT_EQ(s.txtaddec->text(), "42");
    EXPECT_EQ(s.txtnamesearch->text(), "SW");
}

TEST_F(FrmSearchOptions, SearchButtonDoesNothing) {
    FrmSearch& s = search();
    QTest::keyClicks(s.txtaddec, "12");
    const int beeps = dialogs.beeps;
    QTest::mouseClick(s.cmdsearch, Qt::LeftButton);
    EXPECT_EQ(host->searchWindow(), &s);
    EXPECT_EQ(s.txtaddec->text(), "12");
    EXPECT_EQ(dialogs.beeps, beeps);
    EXPECT_TRUE(dialogs.shown.empty());
}

using FrmSearchKeys = SearchWindow;

TEST_F(FrmSearchKeys, DecimalDropsARefusedLetterWithABeep) {
    FrmSearch& s = search();
    const int beeps = dialogs.beeps;
    QTest::keyClicks(s.txtaddec, "12x");
    EXPECT_EQ(s.txtaddec->text(), "12");
    EXPECT_EQ(s.txtaddec->cursorPosition(), 2);
    EXPECT_EQ(dialogs.beeps - beeps, 1);
    EXPECT_FALSE(s.baddec);
}

TEST_F(FrmSearchKeys, DecimalRefusesHexLetters) {
    FrmSearch& s = search();
    const int beeps = dialogs.beeps;
    QTest::keyClicks(s.txtaddec, "1F");
    EXPECT_EQ(s.txtaddec->text(), "1");
    EXPECT_EQ(dialogs.beeps - beeps, 1);
}

TEST_F(FrmSearchKeys, HexKeepsDigitsAndLettersOfEitherCase) {
    FrmSearch& s = search();
    const int beeps = dialogs.beeps;
    QTest::keyClicks(s.txtadhex, "7fA");
    EXPECT_EQ(s.txtadhex->text(), "7fA");
    EXPECT_EQ(dialogs.beeps, beeps);
    EXPECT_FALSE(s.badhex);
}

TEST_F(FrmSearchKeys, HexRefusesLettersPastF) {
    FrmSearch& s = search();
    const int beeps = dialogs.beeps;
    QTest::keyClicks(s.txtadhex, "7G");
    EXPECT_EQ(s.txtadhex->text(), "7");
    EXPECT_EQ(dialogs.beeps - beeps, 1);
}

TEST_F(FrmSearchKeys, BackspaceDeletesInBothBoxes) {
    FrmSearch& s = search();
    const int beeps = dialogs.beeps;
    QTest::keyClicks(s.txtaddec, "123");
    QTest::keyClick(s.txtaddec, Qt::Key_Backspace);
    QTest::keyClicks(s.txtadhex, "ab");
    QTest::keyClick(s.txtadhex, Qt::Key_Backspace);
    EXPECT_EQ(s.txtaddec->text(), "12");
    EXPECT_EQ(s.txtadhex->text(), "a");
    EXPECT_EQ(dialogs.beeps, beeps);
}

TEST_F(FrmSearchKeys, RefusedKeyInAnEmptyBoxLeavesItEmpty) {
    FrmSearch& s = search();
    const int beeps = dialogs.beeps;
    QTest::keyClick(s.txtaddec, Qt::Key_Minus);
    EXPECT_TRUE(s.txtaddec->text().isEmpty());
    EXPECT_EQ(dialogs.beeps - beeps, 1);
}

TEST_F(FrmSearchKeys, CuttingTheWholeTextLeavesItEmptyWithABeep) {
    FrmSearch& s = search();
    QTest::keyClicks(s.txtaddec, "123");
    s.txtaddec->selectAll();
    const int beeps = dialogs.beeps;
    QTest::keyClick(s.txtaddec, Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(s.txtaddec->text().isEmpty());
    EXPECT_EQ(dialogs.beeps - beeps, 1);
    EXPECT_FALSE(s.baddec);
}

TEST_F(FrmSearchKeys, PastingLosesItsLastCharacter) {
    FrmSearch& s = search();
    QApplication::clipboard()->setText("123");
    ASSERT_EQ(QApplication::clipboard()->text(), "123");
    const int beeps = dialogs.beeps;
    QTest::keyClick(s.txtaddec, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(s.txtaddec->text(), "12");
    EXPECT_EQ(s.txtaddec->cursorPosition(), 2);
    EXPECT_EQ(dialogs.beeps - beeps, 1);
}

TEST_F(FrmSearchKeys, CopyLeavesTheFlagForTheNextChange) {
    FrmSearch& s = search();
    QTest::keyClicks(s.txtaddec, "12");
    const int beeps = dialogs.beeps;
    QTest::keyClick(s.txtaddec, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(s.baddec);
    EXPECT_EQ(dialogs.beeps, beeps);
    QTest::keyClick(s.txtaddec, Qt::Key_5);
    EXPECT_EQ(s.txtaddec->text(), "12");
    EXPECT_EQ(dialogs.beeps - beeps, 1);
    EXPECT_FALSE(s.baddec);
}

TEST_F(FrmSearchKeys, ControlLettersAreRefusedInTheHexBoxToo) {
    FrmSearch& s = search();
    QTest::keyClicks(s.txtadhex, "ab");
    const int beeps = dialogs.beeps;
    // Ctrl+C delivers code 3, not the letter c that the hex box would take.
    QTest::keyClick(s.txtadhex, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(s.badhex);
    QTest::keyClicks(s.txtadhex, "1");
    EXPECT_EQ(s.txtadhex->text(), "ab");
    EXPECT_EQ(dialogs.beeps - beeps, 1);
}

TEST_F(FrmSearchKeys, CaretGoesToTheEndAfterEveryChange) {
    FrmSearch& s = search();
    QTest::keyClicks(s.txtaddec, "123");
    s.txtaddec->setCursorPosition(0);
    QTest::keyClicks(s.txtaddec, "4");
    EXPECT_EQ(s.txtaddec->text(), "4123");
    EXPECT_EQ(s.txtaddec->cursorPosition(), 4);
}

TEST_F(FrmSearchKeys, RefusedKeyBeforeTheEndDropsTheLastCharacter) {
    FrmSearch& s = search();
    QTest::keyClicks(s.txtadhex, "abc");
    s.txtadhex->setCursorPosition(1);
    const int beeps = dialogs.beeps;
    QTest::keyClicks(s.txtadhex, "z");
    EXPECT_EQ(s.txtadhex->text(), "azb");
    EXPECT_EQ(s.txtadhex->cursorPosition(), 3);
    EXPECT_EQ(dialogs.beeps - beeps, 1);
}

TEST_F(FrmSearchKeys, TabDeliversNoCharacter) {
    FrmSearch& s = search();
    s.show();
    s.activateWindow();
    s.txtaddec->setFocus();
    QTest::keyClicks(s.txtaddec, "4");
    const int beeps = dialogs.beeps;
    QTest::keyClick(s.txtaddec, Qt::Key_Tab);
    EXPECT_FALSE(s.baddec);
    QTest::keyClicks(s.txtaddec, "5");
    EXPECT_EQ(s.txtaddec->text(), "45");
    EXPECT_EQ(dialogs.beeps, beeps);
}

TEST_F(FrmSearchKeys, BoxesAreIndependent) {
    FrmSearch& s = search();
    QTest::keyClicks(s.txtaddec, "9z");
    EXPECT_TRUE(s.txtadhex->text().isEmpty());
    EXPECT_FALSE(s.badhex);
    QTest::keyClicks(s.txtadhex, "c");
    EXPECT_EQ(s.txtaddec->text(), "9");
    EXPECT_EQ(s.txtadhex->text(), "c");
}

TEST_F(FrmSearchKeys, FiltersAnswerCharacterCodesDirectly) {
    FrmSearch& s = search();
    struct Case {
        int code;
        bool decimal;
        bool hex;
    };
    const Case cases[] = {{'0', true, true},   {'9', true, true},  {8, true, true},     {'/', false, false},
                          {':', false, false}, {'a', false, true}, {'f', false, true},  {'g', false, false},
                          {'A', false, true},  {'F', false, true}, {'@', false, false}, {'G', false, false},
                          {3, false, false},   {22, false, false}, {24, false, false},  {13, false, false}};
    for (const Case& c : cases) {
        s.baddec = false;
        s.badhex = false;
        int dec = c.code;
        int hex = c.code;
        s.txtaddec_KeyPress(dec);
        s.txtadhex_KeyPress(hex);
        EXPECT_EQ(s.baddec, !c.decimal) << "code " << c.code;
        EXPECT_EQ(s.badhex, !c.hex) << "code " << c.code;
        EXPECT_EQ(dec, c.code);
        EXPECT_EQ(hex, c.code);
    }
}

using FrmSearchCancel = SearchWindow;

// The Cancel button and Escape.
TEST_F(FrmSearchCancel, CancelClosesTheSearchAndShowsTheEditor) {
    FrmEdit* edit = host->showEdit();
    ASSERT_NE(edit, nullptr);
    for (const bool escape : {false, true}) {
        edit->MnuSearch_Click();
        QPointer<FrmSearch> s(host->searchWindow());
        ASSERT_FALSE(s.isNull());
        edit->hide();

        if (escape) {
            s->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(s));
            QTest::keyClick(s->txtnamesearch, Qt::Key_Escape);
        } else {
            QTest::mouseClick(s->Cmdexit, Qt::LeftButton);
        }
        flushDeletes();

        EXPECT_TRUE(s.isNull()) << (escape ? "Escape" : "Cancel");
        EXPECT_EQ(host->editWindow(), edit);
        EXPECT_TRUE(edit->isVisible());
    }
}

TEST_F(FrmSearchCancel, CancelAfterTheEditorExitedLoadsAFreshEditor) {
    FrmEdit* edit = host->showEdit();
    ASSERT_NE(edit, nullptr);
    edit->List1->item(0)->setCheckState(Qt::Checked);
    ASSERT_EQ(edit->txttotalfiles->text(), "1");
    edit->MnuSearch_Click();
    FrmSearch* s = host->searchWindow();
    ASSERT_NE(s, nullptr);
    QPointer<FrmEdit> old(edit);
    edit->MnuClose_Click();
    flushDeletes();
    ASSERT_TRUE(old.isNull());

    const int beeps = dialogs.beeps;
    s->Cmdexit_Click();
    flushDeletes();

    FrmEdit* fresh = host->editWindow();
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->loaded());
    EXPECT_EQ(fresh->txttotalfiles->text(), "0");
    EXPECT_EQ(fresh->List1->count(), host->selection().nbfile_2);
    EXPECT_EQ(fresh->List1->item(0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(dialogs.beeps - beeps, 1);
    EXPECT_EQ(host->searchWindow(), nullptr);
}

} // namespace
