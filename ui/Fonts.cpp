#include "Fonts.h"

#include <QDir>
#include <QFontDatabase>
#include <QStringList>
#include <cmath>

namespace qm::fonts {

namespace {

QStringList& bundled() {
    static QStringList families;
    return families;
}

QString firstInstalled(const QStringList& wanted) {
    for (const QString& family : wanted)
        if (bundled().contains(family, Qt::CaseInsensitive))
            return family;
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : wanted)
        if (installed.contains(family, Qt::CaseInsensitive))
            return family;
    // Nothing installed: the last wish still tells the font matcher what kind of face to look for.
    return wanted.last();
}

} // namespace

bool loadBundled(const QString& folder) {
    const QDir dir(folder);
    for (const QString& file :
         dir.entryList({QStringLiteral("*.ttf"), QStringLiteral("*.otf")}, QDir::Files)) {
        const int id = QFontDatabase::addApplicationFont(dir.filePath(file));
        if (id >= 0)
            bundled() += QFontDatabase::applicationFontFamilies(id);
    }
    return !bundled().isEmpty();
}

QString blackletterFamily() {
    return firstInstalled({"Old English Text MT", "Blankenburg_UNZ1A"});
}

QString serifFamily() {
    return firstInstalled({"Times New Roman", "Liberation Serif"});
}

QString sansFamily() {
    return firstInstalled({"MS Sans Serif", "Arial", "Liberation Sans"});
}

QFont font(const QString& family, double points) {
    QFont f(family);
    f.setPixelSize(static_cast<int>(std::lround(points * 96.0 / 72.0)));
    f.setWeight(QFont::Normal);
    f.setItalic(false);
    return f;
}

QFont blackletter(double points) {
    return font(blackletterFamily(), points);
}

QFont serif(double points) {
    return font(serifFamily(), points);
}

QFont standard() {
    return font(sansFamily(), 8.25);
}

} // namespace qm::fonts
