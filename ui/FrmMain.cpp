#include "FrmMain.h"

#include "Artwork.h"
#include "Catalogue.h"
#include "CatalogueArchives.h"
#include "Dialogs.h"
#include "EnterPresses.h"
#include "EventGuard.h"
#include "Existence.h"
#include "Extract.h"
#include "FileError.h"
#include "Fonts.h"
#include "FrmEdit.h"
#include "FrmSearch.h"
#include "GameFolder.h"
#include "GameLanguage.h"
#include "Layout.h"
#include "MenuKeys.h"
#include "Text.h"
#include "frmAbout.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleFactory>
#include <algorithm>
#include <utility>

namespace {

using qm::layout::fromGameText;
using qm::layout::px;
using qm::layout::twipsRect;

// Milliseconds between repaints during an extraction: one frame of the display.
constexpr qint64 kRedrawInterval = 15;

} // namespace

FrmMain::FrmMain(Dialogs& dialogs, std::optional<std::string> gameFolder, std::optional<std::string> language,
                 QWidget* parent)
    : QMainWindow(parent), m_gameFolder(std::move(gameFolder)), m_language(std::move(language)),
      m_dialogs(dialogs) {
    buildControls();
    Form_Load();
    reportMissingCatalogue();
    // Connected only now, so filling the list at load is no choice. A selection, not the current row:
    // the list makes its first entry current when it takes the focus, and that is no choice either.
    connect(List1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!List1->selectedItems().isEmpty())
            List1_Click();
    });
}

FrmMain::~FrmMain() {
    delete m_about;
}

void FrmMain::buildControls() {
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Quillmere Ziro"));
    setWindowIcon(qm::artwork::programIcon());

    // "&" marks each mnemonic: the captions read the same, with the letter underlined under Alt.
    CmdQuit = menuBar()->addAction(QStringLiteral("&Quit"));
    CmdQuit->setObjectName(QStringLiteral("CmdQuit"));
    connect(CmdQuit, &QAction::triggered, this, [this] { CmdQuit_Click(); });
    MNUabout = menuBar()->addAction(QStringLiteral("&About"));
    MNUabout->setObjectName(QStringLiteral("MNUabout"));
    connect(MNUabout, &QAction::triggered, this, [this] { MNUabout_Click(); });
    // A check item shows its state only inside a menu, so it has one of its own.
    MNUview = menuBar()->addMenu(QStringLiteral("&View"));
    MNUview->setObjectName(QStringLiteral("MNUview"));
    MNUallArchives = MNUview->addAction(QStringLiteral("&All archives"));
    MNUallArchives->setObjectName(QStringLiteral("MNUallArchives"));
    MNUallArchives->setCheckable(true);
    connect(MNUallArchives, &QAction::triggered, this, [this] { MNUallArchives_Click(); });

    // The client area has a fixed size; the window grows by the menu bar, never the other way round.
    auto* client = new QWidget(this);
    client->setFixedSize(px(4410), px(5745));
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    PBprogress = new QProgressBar(client);
    PBprogress->setObjectName(QStringLiteral("PBprogress"));
    PBprogress->setGeometry(twipsRect(600, 4800, 3255, 255));
    PBprogress->setRange(0, 100);
    PBprogress->setValue(0);
    PBprogress->setTextVisible(false);

    Picture1 = new QLabel(client);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(twipsRect(0, 0, 4455, 5775));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setAutoFillBackground(true);
    QPalette black = Picture1->palette();
    black.setColor(QPalette::Window, Qt::black);
    Picture1->setPalette(black);
    Picture1->setPixmap(QPixmap::fromImage(qm::artwork::parchmentScroll()));

    cmdedit = new QPushButton(QStringLiteral("E&dit"), Picture1);
    cmdedit->setObjectName(QStringLiteral("cmdedit"));
    cmdedit->setGeometry(twipsRect(2640, 2040, 1095, 375));
    cmdedit->setFont(qm::fonts::blackletter(12));
    cmdedit->setEnabled(false);
    connect(cmdedit, &QPushButton::clicked, this, [this] { cmdedit_Click(); });

    Cmdextract = new QPushButton(QStringLiteral("&Extract"), Picture1);
    Cmdextract->setObjectName(QStringLiteral("Cmdextract"));
    Cmdextract->setGeometry(twipsRect(720, 2040, 1095, 375));
    Cmdextract->setFont(qm::fonts::blackletter(12));
    connect(Cmdextract, &QPushButton::clicked, this, [this] { Cmdextract_Click(); });

    List1 = new QListWidget(Picture1);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(twipsRect(1200, 1080, 2055, 825));
    List1->setFont(qm::fonts::serif(11.25));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    // A list box scrolls up and down only: with Windows' wider scroll bar a sideways one would take a row.
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The names are laid out for Fusion's scroll bar and item margins: Windows' own style takes four pixels
    // more, and the first name, CHASOUND.BIF, no longer fits whole.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        fusion->setParent(List1);
        List1->setStyle(fusion);
    }

    LblExtract = new QLabel(Picture1);
    LblExtract->setObjectName(QStringLiteral("LblExtract"));
    LblExtract->setGeometry(twipsRect(720, 2640, 3015, 1935));
    LblExtract->setFont(qm::fonts::standard());
    LblExtract->setFrameShape(QFrame::Box);
    LblExtract->setFrameShadow(QFrame::Plain);
    LblExtract->setLineWidth(1);
    LblExtract->setAutoFillBackground(true);
    QPalette white = LblExtract->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    LblExtract->setPalette(white);

    Image1 = new QLabel(Picture1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(twipsRect(720, 600, 2880, 405));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap::fromImage(qm::artwork::titleLettering()));
    Image1->setToolTip(QStringLiteral("Baldur's Gate is a trademark of TSR inc."));

    // The progress bar lies over the parchment and must stay in sight.
    PBprogress->raise();

    pressOnEnter(Cmdextract);
    pressOnEnter(cmdedit);
    setTabOrder(List1, Cmdextract);
    setTabOrder(Cmdextract, cmdedit);
    openMenuOnF10(this);
    List1->setFocus();
}

void FrmMain::Form_Load() {
    guardEvent(m_dialogs, [this] {
        m_selection.BGpath = m_gameFolder ? *m_gameFolder : qm::discoverGameFolder();
        m_selection.lang = qm::gameLanguage(m_selection.BGpath, m_language);
        try {
            fillList();
        } catch (const qm::FatalFileError& e) {
            // A game folder that does not exist: the box names the folder, which is what to correct.
            if (e.number() != qm::PathNotFound)
                throw;
            throw qm::FatalFileError(qm::FileError(e.number(), e.description(), m_selection.BGpath));
        }
    });
    // No entry is current until one is chosen: the list would otherwise make its first entry current when
    // it takes the focus, drawn as if chosen, and the first Down would go to the second entry.
    List1->setCurrentIndex(QModelIndex());
}

void FrmMain::reportMissingCatalogue() {
    bool found = true;
    try {
        found = qm::fileexist(m_selection.BGpath + "chitin.key");
    } catch (const qm::FileError&) {
        // The load has said what it could not read.
    }
    if (found)
        return;
    QString folder =
        m_selection.BGpath.empty() ? QDir::currentPath() : QString::fromStdString(m_selection.BGpath);
    while (folder.size() > 1 && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
        folder.chop(1);
    m_dialogs.message(QStringLiteral(QUILLMERE_APP_TITLE),
                      QStringLiteral("No chitin.key in %1.\nStart Quillmere with the game folder: quillmere "
                                     "GAME_FOLDER")
                          .arg(QDir::toNativeSeparators(folder)));
}

void FrmMain::fillList() {
    List1->clear();
    m_listNames.clear();
    m_listPaths.clear();
    m_chosenRow = -1;
    if (MNUallArchives->isChecked()) {
        // Shown by file name; chosen by the whole name the catalogue stores, which tells the folder.
        std::vector<std::pair<std::string, std::string>> entries;
        for (std::string& path : qm::catalogueArchivesOnDisk(m_selection.BGpath, m_selection.lang)) {
            const std::size_t cut = path.find_last_of("\\/:");
            entries.emplace_back(cut == std::string::npos ? path : path.substr(cut + 1), std::move(path));
        }
        std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return qm::asciiUpper(a.first) < qm::asciiUpper(b.first);
        });
        for (auto& [name, path] : entries) {
            List1->addItem(fromGameText(name));
            m_listNames.push_back(std::move(name));
            m_listPaths.push_back(std::move(path));
        }
    } else {
        std::vector<std::string> names = qm::listbifs(m_selection.BGpath);
        // The list box keeps its entries sorted, letter case ignored.
        qm::sortArchiveNames(names);
        for (std::string& name : names) {
            List1->addItem(fromGameText(name));
            m_listNames.push_back(std::move(name));
        }
    }
    List1->setCurrentIndex(QModelIndex());
}

void FrmMain::MNUallArchives_Click() {
    // The choice made stays until another is made: Extract and an open editor keep their archive.
    const QSignalBlocker quiet(List1);
    guardEvent(m_dialogs, [this] { fillList(); });
}

bool FrmMain::fileexist(const std::string& filepath) {
    try {
        return qm::fileexist(filepath);
    } catch (const qm::FatalFileError& e) {
        showFatalError(m_dialogs, e);
    }
}

bool FrmMain::direxist(const std::string& dirpath) {
    try {
        return qm::direxist(dirpath);
    } catch (const qm::FatalFileError& e) {
        showFatalError(m_dialogs, e);
    }
}

void FrmMain::Done() {
    m_dialogs.beep();
    m_dialogs.message(QStringLiteral("End of Extraction"), QStringLiteral("              Done !"));
}

void FrmMain::Errormsg(const QString& Msg) {
    m_dialogs.beep();
    m_dialogs.message(QStringLiteral("Error"), Msg);
}

void FrmMain::setProgress(float value) {
    PBprogress->setValue(static_cast<int>(value));
    emit progressChanged(value);
}

void FrmMain::List1_Click() {
    const QList<QListWidgetItem*> selected = List1->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = List1->row(selected.front());
    if (row < 0 || static_cast<std::size_t>(row) >= m_listNames.size() || m_choosing || m_restorePending)
        return;
    // The state changes only when the archive could be read, so a failed choice keeps the previous one
    // whole, and Edit opens only on an archive that was read. The box of a failure runs an event loop of
    // its own: list changes meanwhile belong to this choice, not to new ones.
    m_choosing = true;
    const bool chosen = guardEvent(m_dialogs, [this, row] {
        const auto at = static_cast<std::size_t>(row);
        qm::SelectionState next =
            at < m_listPaths.size()
                ? qm::selectArchiveAt(m_selection.BGpath, m_listPaths[at], m_selection.lang)
                : qm::selectArchive(m_selection.BGpath, m_listNames[at], m_selection.lang);
        m_selection = std::move(next);
        cmdedit->setEnabled(true);
    });
    m_choosing = false;
    if (chosen) {
        m_chosenRow = row;
        return;
    }
    // The list goes back to the entry the state still stands for, so Extract never works on an archive
    // other than the one shown. A key that made the choice selects its entry once more after this returns:
    // that is the same choice, so the list goes back once the key has been handled.
    restoreChosenRow();
    m_restorePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_restorePending = false;
            restoreChosenRow();
        },
        Qt::QueuedConnection);
}

void FrmMain::restoreChosenRow() {
    const QSignalBlocker quiet(List1);
    if (m_chosenRow >= 0) {
        List1->setCurrentRow(m_chosenRow);
    } else {
        List1->clearSelection();
        List1->setCurrentIndex(QModelIndex());
    }
}

void FrmMain::closeEvent(QCloseEvent* event) {
    // The run's files are open and it takes no input until its end. Otherwise the title bar's close is
    // Quit: the other windows would stay open on a program whose main window is gone.
    event->ignore();
    if (!m_extracting)
        CmdQuit_Click();
}

void FrmMain::Cmdextract_Click() {
    qm::ExtractCallbacks callbacks;
    callbacks.progress = [this](float value) { setProgress(value); };
    // The windows are repainted as they need it (the bar when its whole value changed, anything that a
    // window moved across uncovered), a frame's time apart at most, so thousands of small files do not
    // wait for the display. User input waits for the end of the run.
    QElapsedTimer sinceRedraw;
    sinceRedraw.start();
    callbacks.redraw = [&sinceRedraw] {
        if (sinceRedraw.elapsed() < kRedrawInterval)
            return;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        sinceRedraw.restart();
    };
    callbacks.done = [this] { Done(); };
    callbacks.errormsg = [this](const std::string& text) { Errormsg(fromGameText(text)); };
    m_extracting = true;
    guardOutput(m_dialogs, [this, &callbacks] { qm::extractArchive(m_selection, callbacks); });
    m_extracting = false;
}

FrmEdit* FrmMain::editWindow() const {
    return m_children.edit();
}

FrmSearch* FrmMain::searchWindow() const {
    return m_children.search();
}

frmAbout* FrmMain::aboutWindow() const {
    return m_about;
}

void FrmMain::cmdedit_Click() {
    m_children.showChosenEdit();
}

void FrmMain::MNUabout_Click() {
    showAbout();
}

void FrmMain::CmdQuit_Click() {
    if (m_dialogs.askYesNo(QStringLiteral("Exit Program"), QStringLiteral("Are you sure you want to quit ?")))
        m_dialogs.endProgram(0);
}

void FrmMain::showMain() {
    show();
    raise();
}

FrmEdit* FrmMain::showEdit() {
    return m_children.showEdit();
}

FrmSearch* FrmMain::showSearch() {
    return m_children.showSearch();
}

frmAbout* FrmMain::showAbout() {
    if (!m_about) {
        auto* window = new frmAbout();
        window->setAttribute(Qt::WA_DeleteOnClose);
        m_about = window;
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
    return m_about;
}
