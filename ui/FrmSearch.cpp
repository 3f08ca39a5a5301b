#include "FrmSearch.h"

#include "Artwork.h"
#include "Dialogs.h"
#include "EnterPresses.h"
#include "Fonts.h"
#include "Layout.h"
#include "Text.h"
#include "WindowHost.h"

#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <algorithm>

namespace {

using qm::layout::fromGameText;
using qm::layout::place;
using qm::layout::px;

// The character code a key press delivers to a text box, or -1 for a key that delivers none (arrows,
// Delete, modifiers alone). Control letters give their control codes, as Ctrl+X gives 24.
int keyAsciiOf(const QKeyEvent& event) {
    const int key = event.key();
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier) && key >= Qt::Key_A &&
        key <= Qt::Key_Z)
        return key - Qt::Key_A + 1;
    if (key == Qt::Key_Backspace)
        return 8;
    // Delete and Tab act on the box or the focus and deliver no character.
    if (key == Qt::Key_Delete || key == Qt::Key_Tab || key == Qt::Key_Backtab)
        return -1;
    const QString text = event.text();
    if (text.isEmpty())
        return -1;
    return text.at(0).unicode();
}

// The change handling of both address boxes: a refused key's character is dropped with a beep, and
// the caret always ends up behind the text.
void undoRefusedKey(QLineEdit* box, bool& flag, Dialogs& dialogs) {
    if (flag) {
        dialogs.beep();
        const qsizetype n = std::max<qsizetype>(box->text().size() - 1, 0);
        // Cleared first, so the change the new text causes is not taken for another refused key.
        flag = false;
        box->setText(box->text().left(n));
    }
    box->setCursorPosition(static_cast<int>(box->text().size()));
}

} // namespace

FrmSearch::FrmSearch(WindowHost& host, std::string targetfile, QWidget* parent)
    : QWidget(parent), m_host(host), m_targetfile(std::move(targetfile)) {
    setWindowTitle(QStringLiteral("Search"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(qm::artwork::programIcon());
    setFont(qm::fonts::standard());
    setFixedSize(px(5370), px(3825));

    FraCritere = place(new QGroupBox(QStringLiteral("Search file in"), this), 120, 120, 5175, 3615);
    Label1 = place(new QLabel(QStringLiteral("Filename"), FraCritere), 480, 360, 1935, 375);
    Label3 = place(new QLabel(QStringLiteral("File address"), FraCritere), 480, 1200, 1575, 375);
    Option1[0] = place(new QRadioButton(FraCritere), 120, 360, 255, 255);
    Option1[1] = place(new QRadioButton(FraCritere), 120, 1200, 255, 255);
    txtnamesearch = place(new QLineEdit(FraCritere), 1440, 240, 3615, 375);
    txtaddec = place(new QLineEdit(FraCritere), 1440, 1080, 1455, 375);
    Label2 = place(new QLabel(QStringLiteral("Enter the address of the file you are searching for or a part "
                                             "of its name."),
                              FraCritere),
                   120, 1920, 4935, 735);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label4 = place(new QLabel(QStringLiteral("Decimal"), FraCritere), 1560, 840, 1215, 255);
    txtadhex = place(new QLineEdit(FraCritere), 3120, 1080, 1815, 405);
    Label5 = place(new QLabel(QStringLiteral("Hexadecimal"), FraCritere), 3480, 840, 1215, 255);
    cmdsearch = place(new QPushButton(QStringLiteral("&Search"), FraCritere), 120, 3120, 1575, 375);
    Cmdexit = place(new QPushButton(QStringLiteral("&Cancel"), FraCritere), 3720, 3120, 1335, 375);
    for (QLabel* label : {Label1, Label3})
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    setTabOrder(Option1[0], Option1[1]);
    setTabOrder(Option1[1], txtnamesearch);
    setTabOrder(txtnamesearch, txtaddec);
    setTabOrder(txtaddec, txtadhex);
    setTabOrder(txtadhex, cmdsearch);
    setTabOrder(cmdsearch, Cmdexit);

    for (int index = 0; index < 2; ++index)
        connect(Option1[index], &QRadioButton::clicked, this, [this, index] { Option1_Click(index); });
    txtaddec->installEventFilter(this);
    txtadhex->installEventFilter(this);
    connect(txtaddec, &QLineEdit::textChanged, this, [this] { txtaddec_Change(); });
    connect(txtadhex, &QLineEdit::textChanged, this, [this] { txtadhex_Change(); });
    connect(Cmdexit, &QPushButton::clicked, this, [this] { Cmdexit_Click(); });
    pressOnEnter(cmdsearch);
    pressOnEnter(Cmdexit);
    // Escape is Cancel.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { Cmdexit_Click(); });

    Form_Load();
    Option1[0]->setFocus();
}

FrmSearch::~FrmSearch() = default;

void FrmSearch::Form_Load() {
    FraCritere->setTitle(QStringLiteral("Search file in ") + fromGameText(m_targetfile) +
                         QStringLiteral(".bif"));
}

void FrmSearch::showArchive(std::string targetfile) {
    m_targetfile = std::move(targetfile);
    Form_Load();
}

bool FrmSearch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == txtaddec || watched == txtadhex)) {
        int KeyAscii = keyAsciiOf(*static_cast<QKeyEvent*>(event));
        if (KeyAscii >= 0) {
            if (watched == txtaddec)
                txtaddec_KeyPress(KeyAscii);
            else
                txtadhex_KeyPress(KeyAscii);
        }
    }
    // The filter never holds a key back: the box always gets it.
    return QWidget::eventFilter(watched, event);
}

void FrmSearch::Option1_Click(int Index) {
    const bool byName = Index == 0;
    txtnamesearch->setEnabled(byName);
    txtaddec->setEnabled(!byName);
    txtadhex->setEnabled(!byName);
}

void FrmSearch::txtaddec_KeyPress(int& KeyAscii) {
    const bool accepted = (KeyAscii >= '0' && KeyAscii <= '9') || KeyAscii == 8;
    if (!accepted)
        baddec = true;
}

void FrmSearch::txtaddec_Change() {
    undoRefusedKey(txtaddec, baddec, m_host.dialogs());
}

void FrmSearch::txtadhex_KeyPress(int& KeyAscii) {
    const bool accepted = (KeyAscii >= '0' && KeyAscii <= '9') || (KeyAscii >= 'A' && KeyAscii <= 'F') ||
                          (KeyAscii >= 'a' && KeyAscii <= 'f') || KeyAscii == 8;
    if (!accepted)
        badhex = true;
}

void FrmSearch::txtadhex_Change() {
    undoRefusedKey(txtadhex, badhex, m_host.dialogs());
}

void FrmSearch::Cmdexit_Click() {
    close();
    m_host.showEdit();
}
