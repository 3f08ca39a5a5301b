#include "frmAbout.h"

#include "Artwork.h"
#include "Fonts.h"
#include "Layout.h"

#include <QApplication>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#if defined(QUILLMERE_HAVE_XCB)
#include <QGuiApplication>
#include <xcb/xcb.h>
#endif
#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

using qm::layout::px;
using qm::layout::twipsRect;

// The dark green of the stone, behind every label.
const QColor labelGround(24, 36, 29);

QLabel* makeLabel(QWidget* parent, const QString& text, const QRect& geometry, const QColor& textColour) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setFont(qm::fonts::standard());
    label->setAutoFillBackground(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, labelGround);
    pal.setColor(QPalette::WindowText, textColour);
    label->setPalette(pal);
    return label;
}

QFrame* makeLine(QWidget* parent, const QColor& colour, int x1, int x2, int y, int thickness) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::NoFrame);
    line->setGeometry(px(x1), px(y), px(x2) - px(x1) + 1, thickness);
    line->setAutoFillBackground(true);
    QPalette pal = line->palette();
    pal.setColor(QPalette::Window, colour);
    line->setPalette(pal);
    return line;
}

} // namespace

namespace {

// The about window has no task-bar button. On X11 the window manager learns it from a state set before
// the window is mapped (Qt keeps states set on an unmapped window); on Windows a tool window has none.
void keepOutOfTaskBar(QWidget* window) {
#if defined(QUILLMERE_HAVE_XCB)
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    const auto atom = [connection](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t value = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return value;
    };
    const xcb_atom_t state = atom("_NET_WM_STATE");
    const xcb_atom_t skip = atom("_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skip == XCB_ATOM_NONE)
        return;
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, static_cast<xcb_window_t>(window->winId()), state,
                        XCB_ATOM_ATOM, 32, 1, &skip);
    xcb_flush(connection);
#elif defined(Q_OS_WIN)
    window->setWindowFlag(Qt::Tool);
#else
    (void)window;
#endif
}

} // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Quillmere Ziro"));
    setWindowIcon(qm::artwork::programIcon());
    setFixedSize(px(6705), px(4860));
    move(px(2340), px(1935));
    setModal(false);
    keepOutOfTaskBar(this);

    // The stone is larger than the window and drawn from its top left corner, so the window clips it.
    setAutoFillBackground(true);
    QPalette stone = palette();
    stone.setBrush(QPalette::Window, QBrush(QPixmap::fromImage(qm::artwork::stoneTexture())));
    setPalette(stone);

    const QColor white(255, 255, 255);
    const QColor highlightText = palette().color(QPalette::HighlightedText);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsRect(120, 4440, 1260, 345));
    cmdOK->setFont(qm::fonts::standard());
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });

    lblDescription =
        makeLabel(this,
                  QStringLiteral("A Pre Release of a Veldmoor tool able to extract all creatures, Items, "
                                 "Spells and Characters' Sounds from Baldur's Gate .bif files, the "
                                 "fantastic game of Bioware/Black Isle/Interplay."),
                  twipsRect(2370, 1125, 3885, 810), white);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));

    lblTitle = makeLabel(this, QStringLiteral("Quillmere Ziro"), twipsRect(2400, 240, 3885, 480), white);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setFont(qm::fonts::blackletter(15.75));

    lblVersion = makeLabel(this, QStringLiteral("Version"), twipsRect(2370, 780, 3885, 225), highlightText);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setFont(qm::fonts::serif(9.75));

    lblAuteur = makeLabel(this, QStringLiteral("Veldmoor  <veldmoor@example.org>"),
                          twipsRect(2400, 2040, 3855, 495), white);
    lblAuteur->setWordWrap(false);
    lblAuteur->setObjectName(QStringLiteral("lblAuteur"));

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(twipsRect(120, 120, 1935, 2295));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setAutoFillBackground(true);
    QPalette red = Picture1->palette();
    red.setColor(QPalette::Window, QColor(92, 6, 4));
    Picture1->setPalette(red);
    Picture1->setPixmap(QPixmap::fromImage(qm::artwork::dragonHead()));

    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(120, 2760, 6495, 975));
    Text1->setFont(qm::fonts::standard());
    Text1->setTabChangesFocus(true);
    Text1->setReadOnly(true);
    Text1->setPlainText(QStringLiteral(
        "Quillmere is free software under the MIT licence: you may use, copy, change and share it. It comes "
        "as it is, without any warranty; use it at your own risk. It only reads the game's files and never "
        "changes them. Baldur's Gate and its files belong to their owners."));

    Label2 = makeLabel(this,
                       QStringLiteral("Special Thanks to Arnel Tusk, Brisa Quenholt, Odo Fenwarren, "
                                      "Maelis Corrow and Tavin Ruddle"),
                       twipsRect(2040, 3840, 4575, 975), highlightText);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(qm::fonts::blackletter(12));

    // Each later line lies over the earlier ones: a grey line over the top half of a white one gives
    // the etched look.
    const QColor grey(128, 128, 128);
    Line1[0] = makeLine(this, white, 120, 6615, 2640, 2);
    Line1[1] = makeLine(this, grey, 90, 6600, 2640, 1);
    Line1[2] = makeLine(this, grey, 120, 6630, 3840, 1);
    Line1[3] = makeLine(this, white, 150, 6645, 3840, 2);
    Line1[4] = makeLine(this, grey, 120, 6630, 3840, 1);
    for (QFrame* line : Line1)
        line->raise();

    setTabOrder(cmdOK, Text1);
    cmdOK->setFocus();

    Form_Load();
}

void frmAbout::Form_Load() {
    setWindowTitle(QStringLiteral("About ") + QStringLiteral(QUILLMERE_APP_TITLE));
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(QUILLMERE_VERSION_MAJOR)
                            .arg(QUILLMERE_VERSION_MINOR)
                            .arg(QUILLMERE_VERSION_PATCH));
}

void frmAbout::cmdOK_Click() {
    close();
}
