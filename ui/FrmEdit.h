#pragma once

#include "Selection.h"

#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class SoundPlayer;
class WindowHost;
namespace qm {
class StringTable;
}
class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;

// The archive editor: lists every file of the archive chosen in the main window with a check box, shows
// the details and totals of the checked files, and copies them into WorkDir.
class FrmEdit : public QMainWindow {
    Q_OBJECT
public:
    // Form_Load runs here. When it fails, the failure has been reported already and loaded() is false.
    explicit FrmEdit(WindowHost& host, QWidget* parent = nullptr);
    ~FrmEdit() override;

    bool loaded() const { return m_loaded; }
    // Lists the host's selection anew in place of the archive listed: checks, totals and details start
    // over. False when that load failed (it has reported itself).
    bool relist();

    // Event handlers, callable from tests.
    void List1_ItemCheck(int item);
    void Cmdextract_Click();
    void MnuClose_Click();
    void MnuSearch_Click();
    // Plays the sound of entry `item`, or stops it when it is the one playing.
    void List1_DblClick(int item);
    // Escape: stops the sound that plays.
    void stopSound();

    // The entry whose sound plays, or -1.
    int playingItem() const { return m_playing; }
    // The entry whose sound is being decoded before it plays, or -1.
    int decodingItem() const { return m_decoding; }
    SoundPlayer* soundPlayer() const { return m_player; }

    // The archive this editor listed, kept from its load.
    const qm::SelectionState& keptArchive() const { return m_kept; }
    // The list texts as the game spells them (Windows-1252 bytes): the output file names.
    const std::vector<std::string>& listTexts() const { return m_listTexts; }
    std::int32_t totalfiles = 0;
    // 64-bit: the sizes of a hostile archive can add up beyond any 32-bit total.
    std::int64_t totalsize = 0;

    QLabel* Lblfilename = nullptr;
    QLabel* Label2 = nullptr;
    QListWidget* List1 = nullptr;
    QGroupBox* FraFileinfo = nullptr;
    QGroupBox* Fraselected = nullptr;
    QPushButton* Cmdextract = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel1 = nullptr; // the status bar's first panel
    QProgressBar* PBbar1 = nullptr;

    QLabel* Label6 = nullptr;
    QLineEdit* txtfilesize = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* txtnbfile = nullptr;

    QLabel* Label5 = nullptr;
    QLineEdit* txttotalfiles = nullptr;
    QLabel* Label8 = nullptr;
    QLineEdit* txttotalsize = nullptr;
    QFrame* Line1 = nullptr;
    QLabel* LblName = nullptr;
    QLineEdit* Txtname = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* txtfileselected = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txtaddress = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* txtsize = nullptr;
    QPlainTextEdit* txtinfo = nullptr;

    QAction* MnuClose = nullptr;
    QAction* MnuSearch = nullptr;
    // Extract writes sounds as PCM RIFF WAVE files; off at start, never remembered. Null in a build
    // without the decoder.
    QAction* MnuWav = nullptr;

signals:
    // Every value the extraction's work gives PBbar1, exact, before the bar rounds it.
    void progressChanged(float value);

private:
    void buildControls();
    void Form_Load();
    void onItemChanged(QListWidgetItem* item);
    // Ctrl+A: checks every file, one check event each, as clicks would.
    void checkAll();
    // Blanks the fields that describe one file.
    void clearFileFields();
    // The status bar's message; one wider than the bar is also its tooltip, unless `tip` says more.
    void showStatus(const QString& text, const QString& tip = QString());

    WindowHost& m_host;
    qm::SelectionState m_kept;
    // The game's string table, opened at the first item name and kept: the Enhanced Edition's is 12 MB.
    std::unique_ptr<qm::StringTable> m_strings;
    std::vector<std::string> m_listTexts;
    std::vector<Qt::CheckState> m_checkStates;
    bool m_loaded = false;
    SoundPlayer* m_player = nullptr;
    int m_playing = -1;
    int m_decoding = -1;
    // Counts the decodes started: a decode that finishes after a newer one started, or after a stop, is
    // dropped.
    std::uint64_t m_decodeTicket = 0;
};
