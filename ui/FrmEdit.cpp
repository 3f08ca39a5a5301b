#include "FrmEdit.h"

#include "ArchiveLocation.h"
#include "Artwork.h"
#include "ByteReader.h"
#include "EnterPresses.h"
#include "EventGuard.h"
#include "Extract.h"
#include "FileError.h"
#include "Fonts.h"
#include "GameResources.h"
#include "HostPath.h"
#include "Layout.h"
#include "MenuKeys.h"
#include "Selection.h"
#ifdef QUILLMERE_HAVE_PLAYBACK
#include "Sound.h"
#include "SoundPlayer.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#endif
#include "Text.h"
#include "WholeFile.h"
#include "WindowHost.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <cmath>
#include <filesystem>
#include <optional>

namespace {

using qm::layout::fromGameText;
using qm::layout::place;
using qm::layout::px;

QLabel* borderedLabel(const QString& caption, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setFrameStyle(QFrame::Box | QFrame::Plain);
    return label;
}

// A field shows the start of a text too long for it, as the boxes of the original desktop did.
void setField(QLineEdit* field, const QString& text) {
    field->setText(text);
    field->setCursorPosition(0);
}

// The editor's fields are written by the program only; Tab passes them by, a click still selects text.
QLineEdit* displayField(QWidget* parent, QPalette::ColorRole background) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::ClickFocus);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, palette.color(background));
    field->setPalette(palette);
    return field;
}

#ifdef QUILLMERE_HAVE_PLAYBACK
// Sounds larger than this are no sound of the game; reading one would hold the window.
using qm::kMaxSoundBytes;
#endif

bool isSoundText(const std::string& listText) {
    return listText.size() >= 3 && qm::asciiUpper(listText.substr(listText.size() - 3)) == "WAV";
}

#ifdef QUILLMERE_HAVE_PLAYBACK
// What a decode off the window's thread gives: the samples in the output's format, or why there are none.
// `unavailable` is the news that no sound decodes at all.
struct Decoded {
    PreparedSound sound;
    QString failure;
    QString unavailable;
};

// Without an output the sound is still decoded: a damaged sound is news of its own.
Decoded decodeInBackground(const std::string& bytes, const std::optional<qm::OutputFormat>& output) {
    Decoded decoded;
    try {
        const qm::Pcm pcm = qm::decodeSound(bytes);
        if (pcm.samples.empty())
            decoded.failure = QStringLiteral("it holds no samples");
        else if (output)
            decoded.sound = SoundPlayer::prepare(pcm, *output);
    } catch (const qm::SoundUnavailable& e) {
        decoded.unavailable = QString::fromStdString(e.what());
    } catch (const qm::SoundError& e) {
        decoded.failure = QString::fromStdString(e.what());
    } catch (const std::bad_alloc&) {
        decoded.failure = QStringLiteral("out of memory");
    }
    return decoded;
}

// The extracted sound at `path` replaced, whole, by its PCM RIFF WAVE form. False when it does not decode:
// it then stays as stored.
bool rewriteAsWav(const std::filesystem::path& path) {
    const std::optional<std::string> stored =
        qm::readSmallFile(path, static_cast<std::uintmax_t>(kMaxSoundBytes));
    if (!stored)
        return false;
    std::string wav;
    try {
        wav = qm::wavFile(qm::decodeSound(*stored));
    } catch (const qm::SoundError&) {
        return false;
    }
    qm::writeAtomically(path, wav);
    return true;
}
#endif

// The editor plays sounds, so its description of them says how; the command line, and a build that plays
// nothing, keep the original's.
std::string describeInEditor(const std::string& listText) {
#ifdef QUILLMERE_HAVE_PLAYBACK
    if (isSoundText(listText))
        return "Sounds Files,\r\nDouble-click to play";
#endif
    return qm::describeEnding(listText);
}

} // namespace

FrmEdit::FrmEdit(WindowHost& host, QWidget* parent) : QMainWindow(parent), m_host(host) {
    setWindowTitle(QStringLiteral("Dizurorudav"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(qm::artwork::programIcon());
    setFont(qm::fonts::standard());
    buildControls();
    m_loaded = guardEvent(m_host.dialogs(), [this] { Form_Load(); });
}

FrmEdit::~FrmEdit() {
    // The list outlives this object's members while the window's children are torn down.
    if (List1 != nullptr)
        disconnect(List1, nullptr, this, nullptr);
}

void FrmEdit::buildControls() {
    auto* client = new QWidget(this);
    client->setFixedSize(px(4755), px(6090));
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    Lblfilename = place(borderedLabel(QStringLiteral("File selected name"), client), 120, 120, 2175, 375);
    Lblfilename->setFont(qm::fonts::font(qm::fonts::sansFamily(), 12));
    Label2 = place(borderedLabel(QStringLiteral("Filenames"), client), 120, 840, 2295, 255);

    List1 = place(new QListWidget(client), 120, 1080, 2295, 3885);
    List1->setFont(qm::fonts::font(QStringLiteral("Arial"), 9));
    List1->setSortingEnabled(false);

    FraFileinfo = place(new QGroupBox(QStringLiteral("Filename Infos"), client), 2520, 120, 2175, 1335);
    Label6 = place(new QLabel(QStringLiteral("Size : "), FraFileinfo), 240, 360, 1455, 375);
    txtfilesize = place(displayField(FraFileinfo, QPalette::Button), 960, 330, 975, 285);
    Label7 = place(new QLabel(QStringLiteral("Nb Files :"), FraFileinfo), 240, 840, 1455, 255);
    txtnbfile = place(displayField(FraFileinfo, QPalette::Button), 960, 840, 975, 285);

    Fraselected = place(new QGroupBox(QStringLiteral("Selection Infos"), client), 2520, 1560, 2175, 4095);
    Label5 = place(new QLabel(QStringLiteral("Nb of selected files"), Fraselected), 360, 240, 1455, 255);
    txttotalfiles = place(displayField(Fraselected, QPalette::Base), 480, 480, 1095, 285);
    Label8 = place(new QLabel(QStringLiteral("Total Size :"), Fraselected), 120, 840, 1935, 255);
    txttotalsize = place(displayField(Fraselected, QPalette::Button), 960, 840, 1095, 195);
    // So short a box shows its digits only without the usual frame and margins.
    txttotalsize->setFrame(false);
    txttotalsize->setTextMargins(0, 0, 0, 0);
    Line1 = place(new QFrame(Fraselected), 0, 1080 - 7, 2160, 15);
    Line1->setFrameStyle(QFrame::HLine | QFrame::Plain);
    LblName = place(new QLabel(QStringLiteral("Name :"), Fraselected), 120, 1200, 615, 255);
    Txtname = place(displayField(Fraselected, QPalette::Window), 720, 1200, 1335, 285);
    Label1 = place(new QLabel(QStringLiteral("File :"), Fraselected), 120, 1560, 1935, 375);
    txtfileselected = place(displayField(Fraselected, QPalette::Button), 480, 1560, 1575, 285);
    Label3 = place(new QLabel(QStringLiteral("Address :"), Fraselected), 120, 1920, 1935, 255);
    txtaddress = place(displayField(Fraselected, QPalette::Button), 840, 1920, 1215, 285);
    Label4 = place(new QLabel(QStringLiteral("Size :"), Fraselected), 120, 2280, 1935, 255);
    txtsize = place(displayField(Fraselected, QPalette::Button), 840, 2280, 1215, 285);
    txtinfo = place(new QPlainTextEdit(Fraselected), 120, 2640, 1935, 1335);
    txtinfo->setReadOnly(true);
    txtinfo->setFocusPolicy(Qt::ClickFocus);
    {
        QPalette palette = txtinfo->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        txtinfo->setPalette(palette);
    }
    // The labels were placed first; their boxes lie partly over them, as in the original layout.
    for (QWidget* field : {static_cast<QWidget*>(txttotalfiles), static_cast<QWidget*>(txttotalsize),
                           static_cast<QWidget*>(Txtname), static_cast<QWidget*>(txtfileselected),
                           static_cast<QWidget*>(txtaddress), static_cast<QWidget*>(txtsize)})
        field->raise();

    Cmdextract = place(new QPushButton(QStringLiteral("E&xtract"), client), 360, 5160, 1695, 375);
    connect(Cmdextract, &QPushButton::clicked, this, [this] { Cmdextract_Click(); });
    pressOnEnter(Cmdextract);

    StatusBar1 = place(new QStatusBar(client), 0, 5715, 4755, 375);
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel1 = new QLabel(StatusBar1);
    StatusPanel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar1->addWidget(StatusPanel1, 1);
    PBbar1 = place(new QProgressBar(client), 1560, 5760, 3015, 255);
    PBbar1->setRange(0, 100);
    PBbar1->setValue(0);
    PBbar1->setTextVisible(false);
    PBbar1->raise();
    // The bar lies over most of the status bar: it shows only while an extraction runs, so a message has
    // the bar's whole width.
    PBbar1->hide();

    // "&" marks each mnemonic: the captions read the same, with the letter underlined under Alt.
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
#ifdef QUILLMERE_HAVE_PLAYBACK
    MnuWav = mnuFile->addAction(QStringLiteral("Extract sounds as &WAV"));
    MnuWav->setCheckable(true);
    mnuFile->addSeparator();
#endif
    MnuClose = mnuFile->addAction(QStringLiteral("E&xit Vezidezozu"));
    connect(MnuClose, &QAction::triggered, this, [this] { MnuClose_Click(); });
    QMenu* mnuEdit = menuBar()->addMenu(QStringLiteral("&Edit"));
    MnuSearch = mnuEdit->addAction(QStringLiteral("&Search"));
    connect(MnuSearch, &QAction::triggered, this, [this] { MnuSearch_Click(); });

#ifdef QUILLMERE_HAVE_PLAYBACK
    m_player = new SoundPlayer(this);
    connect(m_player, &SoundPlayer::finished, this, [this](const QString& failure) {
        const QString name = fromGameText(m_listTexts[static_cast<std::size_t>(m_playing)]);
        m_playing = -1;
        showStatus(failure.isEmpty() ? QString() : QStringLiteral("Cannot play %1: %2").arg(name, failure));
    });
#endif
    connect(List1, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { List1_DblClick(List1->row(item)); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { stopSound(); });
    auto* all = new QShortcut(QKeySequence(QKeySequence::SelectAll), List1);
    all->setContext(Qt::WidgetShortcut);
    connect(all, &QShortcut::activated, this, [this] { checkAll(); });
    setTabOrder(List1, Cmdextract);
    openMenuOnF10(this);
}

bool FrmEdit::relist() {
    stopSound();
    disconnect(List1, &QListWidget::itemChanged, this, &FrmEdit::onItemChanged);
    List1->clear();
    m_listTexts.clear();
    m_checkStates.clear();
    m_strings.reset();
    clearFileFields();
    txttotalsize->clear();
    showStatus(QString());
    PBbar1->setValue(0);
    PBbar1->hide();
    m_loaded = guardEvent(m_host.dialogs(), [this] { Form_Load(); });
    return m_loaded;
}

void FrmEdit::checkAll() {
    for (int row = 0; row < List1->count(); ++row) {
        QListWidgetItem* item = List1->item(row);
        if (item->checkState() == Qt::Checked)
            continue;
        item->setCheckState(Qt::Checked);
        // A check whose event failed was put back after its box: one box is enough.
        if (item->checkState() != Qt::Checked)
            return;
    }
}

void FrmEdit::clearFileFields() {
    txtfileselected->clear();
    txtaddress->clear();
    txtsize->clear();
    txtinfo->clear();
    Txtname->clear();
    Txtname->setToolTip(QString());
}

void FrmEdit::showStatus(const QString& text, const QString& tip) {
    StatusPanel1->setText(text);
    const bool fits =
        StatusPanel1->fontMetrics().horizontalAdvance(text) <= StatusPanel1->contentsRect().width();
    StatusPanel1->setToolTip(!tip.isEmpty() ? tip : fits ? QString() : text);
}

void FrmEdit::Form_Load() {
    // The editor works on the archive it lists, whatever the main window chooses later.
    m_kept = m_host.selection();

    LblName->hide();
    Txtname->hide();
    Lblfilename->setText(fromGameText(m_kept.targetfile));
    setField(txtnbfile, QString::number(m_kept.nbfile_2));
    FraFileinfo->setTitle(fromGameText(m_kept.targetfile) + QStringLiteral(" Infos"));
    totalfiles = 0;
    totalsize = 0;
    setField(txttotalfiles, QStringLiteral("0"));

    // The main window's bar is repainted only when the value it shows changes: on a real display each
    // repaint waits for the server.
    QProgressBar* bar = m_host.loadProgressBar();
    const qm::ArchiveListing listing = qm::listArchive(m_kept, [bar](float value) {
        const int whole = static_cast<int>(std::lround(value));
        if (bar == nullptr || bar->value() == whole)
            return;
        bar->setValue(whole);
        bar->repaint();
    });
    setField(txtfilesize, QString::number(listing.archiveLength));

    m_listTexts.clear();
    m_listTexts.reserve(listing.files.size());
    // Every entry has the same height, and the list is drawn once, when it is full.
    List1->setUniformItemSizes(true);
    List1->setUpdatesEnabled(false);
    for (const qm::ListedFile& file : listing.files) {
        m_listTexts.push_back(file.text);
        auto* item = new QListWidgetItem(fromGameText(file.text));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        List1->addItem(item);
    }
    List1->setUpdatesEnabled(true);
    m_checkStates.assign(m_listTexts.size(), Qt::Unchecked);
    // itemChanged also reports text and selection changes, so only a changed check state counts.
    connect(List1, &QListWidget::itemChanged, this, &FrmEdit::onItemChanged);

    m_host.dialogs().beep();
    if (qm::asciiUpper(m_kept.targetfile) == "ITEMS") {
        LblName->show();
        Txtname->show();
    }
}

void FrmEdit::onItemChanged(QListWidgetItem* item) {
    const int row = List1->row(item);
    if (row < 0 || static_cast<std::size_t>(row) >= m_checkStates.size())
        return;
    const Qt::CheckState state = item->checkState();
    if (state == m_checkStates[static_cast<std::size_t>(row)])
        return;
    const Qt::CheckState previous = m_checkStates[static_cast<std::size_t>(row)];
    m_checkStates[static_cast<std::size_t>(row)] = state;
    if (guardEvent(m_host.dialogs(), [this, row] { List1_ItemCheck(row); }))
        return;
    // The handler failed before it counted the change: the box goes back, so the totals match the checks.
    m_checkStates[static_cast<std::size_t>(row)] = previous;
    const QSignalBlocker quiet(List1);
    item->setCheckState(previous);
}

void FrmEdit::List1_ItemCheck(int item) {
    const qm::EntryDetails details = qm::readEntryDetails(m_kept, item);
    setField(txtaddress, QString::number(details.dataOffset));
    setField(txtsize, QString::number(details.dataSize));

    const QListWidgetItem* entry = List1->item(item);
    if (entry != nullptr && entry->checkState() == Qt::Checked) {
        totalfiles += 1;
        totalsize += details.dataSize;
    } else {
        totalfiles -= 1;
        totalsize -= details.dataSize;
    }
    const std::string text =
        item >= 0 && static_cast<std::size_t>(item) < m_listTexts.size() ? m_listTexts[item] : std::string();
    setField(txtfileselected, fromGameText(text));
    setField(txttotalfiles, QString::number(totalfiles));
    setField(txttotalsize, QString::number(totalsize));
    // The description's CR LF pairs become the box's line breaks.
    txtinfo->setPlainText(fromGameText(describeInEditor(text)));

    // No file checked: no field describes one, the item's name included.
    if (totalfiles == 0) {
        clearFileFields();
        return;
    }
    if (qm::asciiUpper(m_kept.targetfile) != "ITEMS")
        return;
    if (!m_strings)
        m_strings = qm::itemNameTable(m_kept.BGpath, m_kept.lang);
    const QString name = QString::fromStdString(m_strings->text(details.nameIndex));
    setField(Txtname, name);
    // A name longer than the box shows whole in its tooltip.
    const bool fits = Txtname->fontMetrics().horizontalAdvance(name) <= Txtname->contentsRect().width() - 6;
    Txtname->setToolTip(fits ? QString() : name);
}

void FrmEdit::Cmdextract_Click() {
    qm::PickCallbacks callbacks;
    // Entries past the end of a short list were never shown, so nobody can have checked them.
    callbacks.isChecked = [this](int i) {
        const QListWidgetItem* entry = List1->item(i);
        return entry != nullptr && entry->checkState() == Qt::Checked;
    };
    callbacks.status = [this](const std::string& text) {
        StatusPanel1->setText(fromGameText(text));
        StatusPanel1->repaint();
    };
    callbacks.progress = [this](float value) {
        PBbar1->setValue(static_cast<int>(std::lround(value)));
        PBbar1->repaint();
        emit progressChanged(value);
    };
    int written = 0;
    callbacks.uncheck = [this, &written](int i) {
        ++written;
        if (QListWidgetItem* entry = List1->item(i))
            entry->setCheckState(Qt::Unchecked);
    };
    int asStored = 0;
#ifdef QUILLMERE_HAVE_PLAYBACK
    if (MnuWav->isChecked()) {
        // Without the decoder no sound could be converted: nothing is written, as the command line does.
        try {
            qm::requireSoundDecoder();
        } catch (const qm::SoundUnavailable& e) {
            showStatus(QString::fromStdString(e.what()));
            return;
        }
        callbacks.written = [&asStored](const std::string& gamePath, const std::filesystem::path& path) {
            if (isSoundText(gamePath) && !rewriteAsWav(path))
                ++asStored;
        };
    }
#endif
    PBbar1->show();
    guardOutput(m_host.dialogs(),
                [this, &callbacks] { qm::extractSelected(m_kept, m_listTexts, callbacks); });
    // A run stopped by a failure leaves its bar where it was.
    PBbar1->setVisible(PBbar1->value() != 0);
    // What the run wrote, whether it ran to its end or stopped at a failure.
    const QString workDir =
        QFileInfo(QString::fromStdString(qm::displayPath(qm::hostPath("WorkDir", qm::PathText::GameOnly))))
            .absoluteFilePath();
    QString message = written == 1 ? QStringLiteral("1 file written to WorkDir")
                                   : QStringLiteral("%1 files written to WorkDir").arg(written);
    if (asStored > 0)
        message += asStored == 1 ? QStringLiteral(", 1 sound as stored")
                                 : QStringLiteral(", %1 sounds as stored").arg(asStored);
    showStatus(message, QDir::toNativeSeparators(workDir));
}

void FrmEdit::MnuClose_Click() {
    close();
    m_host.showMain();
}

void FrmEdit::List1_DblClick(int item) {
    if (item < 0 || static_cast<std::size_t>(item) >= m_listTexts.size() || !isSoundText(m_listTexts[item]))
        return;
    const bool again = item == m_playing || item == m_decoding;
    stopSound();
    if (again)
        return;
#ifndef QUILLMERE_HAVE_PLAYBACK
    showStatus(QStringLiteral("This build plays no sounds"));
#else
    const QString name = fromGameText(m_listTexts[item]);
    // Whatever fails here is told on the status bar only: a sound that does not play is no run-time error.
    // The entry is read here, once; the decode, which can take a while, runs off the window's thread.
    std::string bytes;
    try {
        const qm::EntryDetails details = qm::readEntryDetails(m_kept, item);
        if (details.dataSize < 0 || details.dataSize > kMaxSoundBytes)
            throw qm::SoundError("its size of " + std::to_string(details.dataSize) + " bytes is no sound's");
        bytes.assign(static_cast<std::size_t>(details.dataSize), '\0');
        qm::ByteReader archive(qm::locateArchive(m_kept), qm::ByteReader::kRandomAccessBuffer);
        archive.seek(details.dataOffset);
        archive.readExact(std::as_writable_bytes(std::span(bytes.data(), bytes.size())));
    } catch (const qm::SoundError& e) {
        showStatus(QStringLiteral("Cannot play %1: %2").arg(name, QString::fromStdString(e.what())));
        return;
    } catch (const qm::FileError& e) {
        showStatus(QStringLiteral("Cannot play %1: %2").arg(name, QString::fromStdString(e.description())));
        return;
    }
    // The output is asked here, on the window's thread, and the sound converted for it in the background.
    const std::optional<qm::OutputFormat> output = SoundPlayer::outputFormat();
    m_decoding = item;
    const std::uint64_t ticket = ++m_decodeTicket;
    showStatus(QStringLiteral("Decoding ") + name);
    // The watcher belongs to this window: closed meanwhile, the window takes it along and the finished
    // decode is dropped with its future.
    auto* watcher = new QFutureWatcher<Decoded>(this);
    connect(watcher, &QFutureWatcher<Decoded>::finished, this, [this, watcher, ticket, item, name, output] {
        watcher->deleteLater();
        if (ticket != m_decodeTicket)
            return;
        m_decoding = -1;
        Decoded decoded = watcher->future().takeResult();
        if (!decoded.unavailable.isEmpty()) {
            // No sound plays without the decoder: that is the news, not this sound.
            showStatus(decoded.unavailable);
            return;
        }
        std::optional<QString> failure;
        if (!decoded.failure.isEmpty())
            failure = decoded.failure;
        else if (!output && !SoundPlayer::hasOutput()) {
            showStatus(QStringLiteral("No sound output"));
            return;
        } else if (!output)
            failure = QStringLiteral("the sound output takes no sample format this program writes");
        else
            failure = m_player->play(std::move(decoded.sound));
        if (failure) {
            showStatus(QStringLiteral("Cannot play %1: %2").arg(name, *failure));
            return;
        }
        m_playing = item;
        showStatus(QStringLiteral("Playing ") + name);
    });
    watcher->setFuture(QtConcurrent::run(decodeInBackground, std::move(bytes), output));
#endif
}

void FrmEdit::stopSound() {
#ifdef QUILLMERE_HAVE_PLAYBACK
    if (m_decoding >= 0) {
        ++m_decodeTicket;
        m_decoding = -1;
        showStatus(QString());
    }
    if (m_playing < 0)
        return;
    m_player->stop();
    m_playing = -1;
    showStatus(QString());
#endif
}

void FrmEdit::MnuSearch_Click() {
    m_host.showSearch();
}
