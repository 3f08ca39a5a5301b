#include "Artwork.h"
#include "Dialogs.h"
#include "FrmMain.h"

#include <QApplication>

// The main window is the start-up object: its load finds the game folder (QUILLMERE_GAME_DIR, when set,
// names it) and lists the archives before the window is shown.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral(QUILLMERE_APP_TITLE));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION_TEXT));
    QApplication::setWindowIcon(qm::artwork::programIcon());

    QtDialogs dialogs;
    FrmMain window(dialogs);
    window.show();
    return QApplication::exec();
}
