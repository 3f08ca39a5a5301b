#include "Artwork.h"

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

// Writes the program icon, as the windows draw it, into a hicolor theme tree: FOLDER/16x16/apps/quillmere.png
// and the same at 32 and 48 pixels. The build runs it, so the repository holds no image files for it.
int main(int argc, char** argv) {
    // The build may have no display.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: mkicons FOLDER\n", stderr);
        return 2;
    }
    const QIcon icon = qm::artwork::programIcon();
    for (const int size : {16, 32, 48}) {
        const QPixmap pixmap = icon.pixmap(QSize(size, size), 1.0);
        // An icon drawn at another size would be scaled here; the theme wants each size drawn for it.
        if (pixmap.size() != QSize(size, size) || !icon.availableSizes().contains(QSize(size, size))) {
            std::fprintf(stderr, "mkicons: the icon has no %dx%d drawing\n", size, size);
            return 1;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        const QString file = dir + QStringLiteral("/quillmere.png");
        if (!QDir().mkpath(dir) || !pixmap.save(file, "PNG")) {
            std::fprintf(stderr, "mkicons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
