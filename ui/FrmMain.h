#pragma once

#include "ChildWindows.h"
#include "Selection.h"
#include "WindowHost.h"

#include <QMainWindow>
#include <QPointer>
#include <optional>
#include <string>
#include <vector>

class Dialogs;
class FrmEdit;
class FrmSearch;
class frmAbout;
class QAction;
class QLabel;
class QMenu;
class QListWidget;
class QProgressBar;
class QPushButton;

// The main window: it holds the game folder and the selection state that the other windows read, and
// the one instance of each other window.
class FrmMain : public QMainWindow, public WindowHost {
    Q_OBJECT
public:
    // Form_Load runs in the constructor: game folder discovery, then the catalogue scan. A game folder
    // given (BGpath, with its separator) is used instead of discovery; a language given (--lang) is asked
    // first for the Enhanced Edition's string table.
    explicit FrmMain(Dialogs& dialogs, std::optional<std::string> gameFolder = std::nullopt,
                     std::optional<std::string> language = std::nullopt, QWidget* parent = nullptr);
    ~FrmMain() override;

    // The existence tests and boxes offered to every window.
    // Only the widget tests call fileexist and direxist now: the catalogue scan and extraction call the
    // file layer's own tests.
    bool fileexist(const std::string& filepath);
    bool direxist(const std::string& dirpath);
    void Done();
    void Errormsg(const QString& Msg);

    Dialogs& dialogs() const override { return m_dialogs; }
    // The game folder (BGpath) and the archive chosen last.
    const qm::SelectionState& selection() const override { return m_selection; }
    QProgressBar* loadProgressBar() const override { return PBprogress; }
    void showMain() override;

    // Event handlers, callable from tests.
    void List1_Click();
    void Cmdextract_Click();
    void cmdedit_Click();
    void MNUabout_Click();
    void CmdQuit_Click();

    // The single instances of the other windows, created on demand and shown modeless.
    FrmEdit* showEdit() override;
    FrmSearch* showSearch() override;
    frmAbout* showAbout();
    // Out of line: reading a QPointer needs the complete window types, which includers may not have.
    FrmEdit* editWindow() const;
    FrmSearch* searchWindow() const;
    frmAbout* aboutWindow() const;

    QListWidget* List1 = nullptr;
    QProgressBar* PBprogress = nullptr;
    QPushButton* Cmdextract = nullptr;
    QPushButton* cmdedit = nullptr;
    QLabel* LblExtract = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Picture1 = nullptr; // the parchment, container of the buttons, list and labels
    QAction* CmdQuit = nullptr;
    QAction* MNUabout = nullptr;
    // Checked: the list holds every archive of the catalogue that is on disk, not just the four it supports.
    QMenu* MNUview = nullptr;
    QAction* MNUallArchives = nullptr;
    void MNUallArchives_Click();

    // Moves the bar to the work's value, which it shows as a whole number.
    void setProgress(float value);

    // List1's entries as the catalogue spells them (Windows-1252 bytes), row by row.
    const std::vector<std::string>& listNames() const { return m_listNames; }

signals:
    // Every value the extraction's work gives the bar, exact, before the bar drops the fraction.
    void progressChanged(float value);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    // Says why the list is empty when the game folder holds no catalogue.
    void reportMissingCatalogue();
    // Fills the list with the four supported archives, or every archive on disk with "All archives".
    void fillList();
    void restoreChosenRow();
    void buildControls();

    qm::SelectionState m_selection;
    std::optional<std::string> m_gameFolder;
    std::optional<std::string> m_language;
    std::vector<std::string> m_listNames;
    std::vector<std::string> m_listPaths; // "All archives": each entry's name as the catalogue stores it
    int m_chosenRow = -1;                 // the entry the selection state stands for
    bool m_choosing = false;              // a choice is being made (its box may be showing)
    bool m_restorePending = false;        // a failed choice puts the list back once its event is handled
    bool m_extracting = false;

    Dialogs& m_dialogs;
    ChildWindows m_children{*this}; // after the state the windows read, so they go first
    QPointer<frmAbout> m_about;
};
