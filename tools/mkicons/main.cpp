#include "Artwork.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <cstdint>
#include <cstdio>
#include <cstring>

// Writes the program icon, as the windows draw it: into a hicolor theme tree (FOLDER/16x16/apps/quillmere.png
// and the same at 32 and 48 pixels), or with --ico into one Windows icon file holding the three sizes. The
// build runs it, so the repository holds no image files for it.
namespace {

constexpr int kSizes[] = {16, 32, 48};

void putLe(QByteArray& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// An ICO file: ICONDIR (6 bytes), one 16-byte ICONDIRENTRY per image, then the images. Each image is stored
// as PNG, which Windows reads in icons since Vista.
QByteArray icoFile(const QList<QByteArray>& pngs, const QList<int>& sizes) {
    QByteArray out;
    putLe(out, 0, 2);
    putLe(out, 1, 2); // 1: icon, 2: cursor
    putLe(out, static_cast<std::uint32_t>(pngs.size()), 2);
    auto offset = static_cast<std::uint32_t>(6 + 16 * pngs.size());
    for (qsizetype i = 0; i < pngs.size(); ++i) {
        putLe(out, static_cast<std::uint32_t>(sizes[i]), 1); // width, height (0 would mean 256)
        putLe(out, static_cast<std::uint32_t>(sizes[i]), 1);
        putLe(out, 0, 1); // no palette
        putLe(out, 0, 1);
        putLe(out, 1, 2);  // planes
        putLe(out, 32, 2); // bits per pixel
        putLe(out, static_cast<std::uint32_t>(pngs[i].size()), 4);
        putLe(out, offset, 4);
        offset += static_cast<std::uint32_t>(pngs[i].size());
    }
    for (const QByteArray& png : pngs)
        out.append(png);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    // The build may have no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const bool ico = argc == 3 && std::strcmp(argv[1], "--ico") == 0;
    if (argc != 2 && !ico) {
        std::fputs("usage: mkicons FOLDER | mkicons --ico FILE\n", stderr);
        return 2;
    }
    const QString target = QString::fromLocal8Bit(argv[argc - 1]);
    const QIcon icon = qm::artwork::programIcon();
    QList<QByteArray> pngs;
    QList<int> sizes;
    for (const int size : kSizes) {
        const QPixmap pixmap = icon.pixmap(QSize(size, size), 1.0);
        // An icon drawn at another size would be scaled here; the theme wants each size drawn for it.
        if (pixmap.size() != QSize(size, size) || !icon.availableSizes().contains(QSize(size, size))) {
            std::fprintf(stderr, "mkicons: the icon has no %dx%d drawing\n", size, size);
            return 1;
        }
        if (ico) {
            QByteArray png;
            QBuffer buffer(&png);
            if (!buffer.open(QIODevice::WriteOnly) || !pixmap.save(&buffer, "PNG")) {
                std::fprintf(stderr, "mkicons: cannot encode the %dx%d image\n", size, size);
                return 1;
            }
            pngs.append(png);
            sizes.append(size);
            continue;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(target).arg(size);
        const QString file = dir + QStringLiteral("/quillmere.png");
        if (!QDir().mkpath(dir) || !pixmap.save(file, "PNG")) {
            std::fprintf(stderr, "mkicons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    if (ico) {
        QFile file(target);
        const QByteArray bytes = icoFile(pngs, sizes);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
            std::fprintf(stderr, "mkicons: cannot write %s\n", qPrintable(target));
            return 1;
        }
    }
    return 0;
}
