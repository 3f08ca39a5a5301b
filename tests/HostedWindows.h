#pragma once

#include "ChildWindows.h"
#include "ScriptedDialogs.h"
#include "Selection.h"
#include "TempDir.h"
#include "TestSupport.h"
#include "WindowHost.h"

#include <QProgressBar>
#include <gtest/gtest.h>
#include <memory>
#include <string>

// A light stand-in for the main window: the game's language is found as the main window finds it, the
// selection is chosen by name, the load bar is a bare bar, and
// bringing the main window back is only counted.
class TestHost final : public WindowHost {
public:
    TestHost(Dialogs& dialogs, std::string gamePrefix);

    Dialogs& dialogs() const override { return m_dialogs; }
    const qm::SelectionState& selection() const override { return m_selection; }
    QProgressBar* loadProgressBar() const override { return &m_bar; }
    void showMain() override { ++mainShown; }
    FrmEdit* showEdit() override { return m_children.showEdit(); }
    FrmSearch* showSearch() override { return m_children.showSearch(); }

    // Chooses a list entry (such as "ITEMS.BIF") as the main window's list does.
    void choose(const std::string& entry);
    FrmEdit* editWindow() const { return m_children.edit(); }
    FrmSearch* searchWindow() const { return m_children.search(); }

    int mainShown = 0;

private:
    Dialogs& m_dialogs;
    std::string m_gamePrefix;
    qm::SelectionState m_selection;
    mutable QProgressBar m_bar;
    ChildWindows m_children{*this};
};

// The editor's and the search window's tests: a game folder that SetUp fills, a fresh working folder made
// current, scripted boxes, and a light host. The windows are closed and deleted at the end.
class HostedWindows : public ::testing::Test {
protected:
    // Call once the game folder holds the game.
    void startHost();
    void TearDown() override;
    static void flushDeletes();

    qm::test::TempDir game;
    qm::test::TempDir work;
    qm::test::CurrentDir inWork{work.path()};
    // Nothing here may find a game of its own through discovery.
    qm::test::ScopedEnv gameDir{"QUILLMERE_GAME_DIR"};
    ScriptedDialogs dialogs;
    std::unique_ptr<TestHost> host;
};
