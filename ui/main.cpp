#include "Artwork.h"
#include "Dialogs.h"
#include "FrmMain.h"

#include <QApplication>
#include <csignal>

// The main window is the start-up object: its load finds the game folder (QUILLMERE_GAME_DIR, when set,
// names it) and lists the archives before the window is shown.
int main(int argc, char** argv) {
#ifdef SIGXFSZ
    // A file-size limit then fails the write (error 61) instead of ending the program.
    signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral(QUILLMERE_APP_TITLE));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION_TEXT));
    QApplication::setWindowIcon(qm::artwork::programIcon());

    QtDialogs dialogs;
    FrmMain window(dialogs);
    window.show();
    return QApplication::exec();
}
