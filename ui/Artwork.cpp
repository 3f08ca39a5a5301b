#include "Artwork.h"

#include "Fonts.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qm::artwork {

namespace {

// A fixed hash of a lattice point: the same "random" value for the same point on every run.
double lattice(int x, int y, std::uint32_t seed) {
    std::uint32_t h =
        seed ^ (static_cast<std::uint32_t>(x) * 0x8da6b343u) ^ (static_cast<std::uint32_t>(y) * 0xd8163841u);
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    h *= 0x27d4eb2du;
    h ^= h >> 16;
    return static_cast<double>(h) / 4294967296.0;
}

double smooth(double t) {
    return t * t * (3.0 - 2.0 * t);
}

// Value noise in [0, 1) with lattice cells of one unit.
double valueNoise(double x, double y, std::uint32_t seed) {
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    const double tx = smooth(x - fx);
    const double ty = smooth(y - fy);
    const double a = lattice(ix, iy, seed);
    const double b = lattice(ix + 1, iy, seed);
    const double c = lattice(ix, iy + 1, seed);
    const double d = lattice(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) * (1.0 - ty) + (c + (d - c) * tx) * ty;
}

// Octaves of value noise, coarse first; `scale` is the size in pixels of the coarsest cell.
double fractalNoise(double x, double y, double scale, int octaves, std::uint32_t seed) {
    double sum = 0.0;
    double amplitude = 0.5;
    double total = 0.0;
    double frequency = 1.0 / scale;
    for (int i = 0; i < octaves; ++i) {
        sum +=
            amplitude * valueNoise(x * frequency, y * frequency, seed + static_cast<std::uint32_t>(i) * 101u);
        total += amplitude;
        amplitude *= 0.5;
        frequency *= 2.0;
    }
    return sum / total;
}

int clampByte(double v) {
    return std::clamp(static_cast<int>(std::lround(v)), 0, 255);
}

QRgb shade(const QColor& base, double factor) {
    return qRgb(clampByte(base.red() * factor), clampByte(base.green() * factor),
                clampByte(base.blue() * factor));
}

// One roll of the scroll: a shaded cylinder with a spiral showing at each end.
void drawRoll(QPainter& p, const QRectF& r) {
    QLinearGradient wood(r.topLeft(), r.bottomLeft());
    wood.setColorAt(0.0, QColor(92, 60, 30));
    wood.setColorAt(0.35, QColor(226, 200, 150));
    wood.setColorAt(0.55, QColor(196, 162, 108));
    wood.setColorAt(1.0, QColor(70, 44, 20));
    p.setPen(QPen(QColor(40, 24, 10), 1.0));
    p.setBrush(wood);
    p.drawRoundedRect(r, r.height() / 2.0, r.height() / 2.0);

    const double radius = r.height() / 2.0;
    for (const double cx : {r.left() + radius, r.right() - radius}) {
        const QPointF centre(cx, r.center().y());
        QRadialGradient end(centre, radius);
        end.setColorAt(0.0, QColor(180, 140, 90));
        end.setColorAt(1.0, QColor(96, 62, 30));
        p.setBrush(end);
        p.setPen(QPen(QColor(40, 24, 10), 1.0));
        p.drawEllipse(centre, radius - 1.0, radius - 1.0);
        // The rolled sheet seen end-on: a spiral of parchment.
        QPainterPath spiral;
        for (int step = 0; step <= 60; ++step) {
            const double angle = step * 0.35;
            const double rr = (radius - 2.0) * step / 60.0;
            const QPointF pt(centre.x() + rr * std::cos(angle), centre.y() + rr * std::sin(angle));
            if (step == 0)
                spiral.moveTo(pt);
            else
                spiral.lineTo(pt);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(236, 214, 170), 1.0));
        p.drawPath(spiral);
    }
}

} // namespace

QImage parchmentScroll() {
    constexpr int width = 293;
    constexpr int height = 382;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);

    // The sheet between the two rolls; its side edges wander a little, as cut parchment does.
    const QColor parchment(232, 212, 166);
    constexpr int sheetTop = 24;
    constexpr int sheetBottom = 358;
    for (int y = sheetTop; y <= sheetBottom; ++y) {
        const double left = 24.0 + 4.0 * fractalNoise(0.0, y, 40.0, 3, 11u);
        const double right = 268.0 - 4.0 * fractalNoise(0.0, y, 40.0, 3, 17u);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (x < left || x > right)
                continue;
            const double edge = std::min(x - left, right - x);
            const double grain = fractalNoise(x, y, 64.0, 5, 3u);
            const double stain = fractalNoise(x, y, 110.0, 3, 29u);
            double factor = 0.86 + 0.22 * grain;
            if (stain > 0.62)
                factor -= (stain - 0.62) * 0.9;
            // Darkened, worn borders.
            if (edge < 12.0)
                factor *= 0.62 + 0.38 * (edge / 12.0);
            line[x] = shade(parchment, factor);
        }
    }

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A ruled border in faded ink round the writing space.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(120, 72, 36, 170), 1.0));
    p.drawRect(QRectF(33.5, 35.5, 225.0, 309.0));
    p.setPen(QPen(QColor(120, 72, 36, 110), 1.0));
    p.drawRect(QRectF(36.5, 38.5, 219.0, 303.0));

    drawRoll(p, QRectF(10.0, 6.0, 273.0, 26.0));
    drawRoll(p, QRectF(10.0, 350.0, 273.0, 26.0));
    p.end();
    return image;
}

QImage titleLettering() {
    constexpr int width = 192;
    constexpr int height = 27;
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QFont font = fonts::blackletter(48.0);
    QPainterPath text;
    text.addText(0.0, 0.0, font, QStringLiteral("Baldur's Gate"));
    const QRectF bounds = text.boundingRect();
    if (bounds.isEmpty())
        return image;
    // Fit the lettering into the picture, keeping its proportions, centred.
    const double scale = std::min((width - 4.0) / bounds.width(), (height - 3.0) / bounds.height());
    QTransform fit;
    fit.translate(width / 2.0, height / 2.0);
    fit.scale(scale, scale);
    fit.translate(-bounds.center().x(), -bounds.center().y());
    const QPainterPath letters = fit.map(text);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 16, 6, 150));
    p.drawPath(letters.translated(1.2, 1.2));

    QLinearGradient gold(0.0, 0.0, 0.0, height);
    gold.setColorAt(0.0, QColor(255, 226, 140));
    gold.setColorAt(0.5, QColor(205, 140, 40));
    gold.setColorAt(1.0, QColor(130, 52, 14));
    p.setBrush(gold);
    p.setPen(QPen(QColor(70, 22, 8), 0.8));
    p.drawPath(letters);
    p.end();
    return image;
}

QImage stoneTexture() {
    constexpr int width = 475;
    constexpr int height = 352;
    QImage image(width, height, QImage::Format_RGB32);
    // Centred on the labels' colour, RGB(24, 36, 29), so they sit on the stone without a seam.
    const QColor base(24, 36, 29);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double grain = fractalNoise(x, y, 48.0, 5, 41u);
            const double fleck = lattice(x, y, 43u);
            // Veins: where a coarse noise crosses its middle value.
            const double vein = std::abs(fractalNoise(x, y, 90.0, 4, 47u) - 0.5);
            double factor = 0.55 + 0.9 * grain;
            if (fleck > 0.985)
                factor += 0.45;
            else if (fleck < 0.012)
                factor -= 0.3;
            if (vein < 0.012)
                factor *= 0.45 + 0.55 * vein / 0.012;
            line[x] = shade(base, factor);
        }
    }
    return image;
}

QImage dragonHead() {
    constexpr int width = 128;
    constexpr int height = 150;
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QRadialGradient ground(QPointF(58.0, 64.0), 110.0);
    ground.setColorAt(0.0, QColor(214, 40, 24));
    ground.setColorAt(1.0, QColor(92, 6, 4));
    p.fillRect(image.rect(), ground);

    const QPen outline(QColor(12, 14, 8), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);

    // Horns sweeping back from the skull.
    QPainterPath horns;
    horns.moveTo(74.0, 34.0);
    horns.cubicTo(88.0, 18.0, 104.0, 10.0, 124.0, 4.0);
    horns.cubicTo(108.0, 16.0, 96.0, 28.0, 86.0, 42.0);
    horns.closeSubpath();
    horns.moveTo(82.0, 44.0);
    horns.cubicTo(98.0, 36.0, 112.0, 34.0, 126.0, 30.0);
    horns.cubicTo(114.0, 40.0, 104.0, 48.0, 92.0, 56.0);
    horns.closeSubpath();
    QLinearGradient bone(QPointF(74.0, 40.0), QPointF(124.0, 6.0));
    bone.setColorAt(0.0, QColor(226, 210, 170));
    bone.setColorAt(1.0, QColor(120, 96, 60));
    p.setPen(outline);
    p.setBrush(bone);
    p.drawPath(horns);

    // Spines down the back of the neck.
    QPainterPath spines;
    const double spineBase[][2] = {
        {96.0, 66.0}, {102.0, 84.0}, {108.0, 102.0}, {113.0, 120.0}, {117.0, 138.0}};
    for (const auto& s : spineBase) {
        spines.moveTo(s[0] - 3.0, s[1] - 6.0);
        spines.lineTo(s[0] + 13.0, s[1] - 4.0);
        spines.lineTo(s[0] + 2.0, s[1] + 8.0);
        spines.closeSubpath();
    }
    p.setBrush(QColor(150, 120, 40));
    p.drawPath(spines);

    // Head and neck in profile, facing left, the jaws a little open.
    QPainterPath head;
    head.moveTo(118.0, 150.0);
    head.cubicTo(110.0, 118.0, 104.0, 88.0, 92.0, 56.0);
    head.cubicTo(86.0, 40.0, 76.0, 30.0, 62.0, 32.0);
    head.cubicTo(48.0, 34.0, 40.0, 44.0, 28.0, 50.0);
    head.cubicTo(18.0, 54.0, 8.0, 58.0, 6.0, 66.0);
    head.lineTo(10.0, 72.0);
    head.lineTo(46.0, 72.0);
    head.lineTo(54.0, 78.0);
    head.lineTo(20.0, 86.0);
    head.cubicTo(16.0, 90.0, 20.0, 96.0, 26.0, 96.0);
    head.cubicTo(40.0, 98.0, 54.0, 98.0, 62.0, 102.0);
    head.cubicTo(66.0, 118.0, 64.0, 134.0, 62.0, 150.0);
    head.closeSubpath();
    QLinearGradient hide(QPointF(20.0, 40.0), QPointF(110.0, 130.0));
    hide.setColorAt(0.0, QColor(62, 138, 78));
    hide.setColorAt(0.6, QColor(28, 84, 48));
    hide.setColorAt(1.0, QColor(12, 44, 26));
    p.setBrush(hide);
    p.drawPath(head);

    // The pale throat plates.
    p.setClipPath(head);
    p.setPen(QPen(QColor(10, 30, 16), 1.0));
    p.setBrush(QColor(196, 176, 110));
    for (int i = 0; i < 6; ++i) {
        const double y = 100.0 + i * 9.0;
        p.drawRoundedRect(QRectF(58.0 + i * 0.5, y, 22.0, 8.0), 4.0, 4.0);
    }
    // Scales: small arcs placed by the fixed hash.
    p.setPen(QPen(QColor(14, 52, 28), 0.9));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 90; ++i) {
        const double x = 20.0 + lattice(i, 1, 53u) * 100.0;
        const double y = 36.0 + lattice(i, 2, 53u) * 110.0;
        p.drawArc(QRectF(x, y, 6.0, 5.0), 200 * 16, 140 * 16);
    }
    p.setClipping(false);

    // Brow ridge, cheek and mouth lines.
    p.setPen(outline);
    QPainterPath lines;
    lines.moveTo(42.0, 44.0);
    lines.cubicTo(52.0, 38.0, 62.0, 38.0, 70.0, 44.0);
    lines.moveTo(54.0, 78.0);
    lines.cubicTo(64.0, 80.0, 72.0, 74.0, 76.0, 66.0);
    p.drawPath(lines);

    // Teeth along both jaws.
    p.setBrush(QColor(244, 238, 220));
    p.setPen(QPen(QColor(60, 50, 40), 0.6));
    for (int i = 0; i < 5; ++i) {
        const double x = 14.0 + i * 7.0;
        QPainterPath upper;
        upper.moveTo(x, 72.0);
        upper.lineTo(x + 4.0, 72.0);
        upper.lineTo(x + 2.0, 79.0 - (i % 2) * 2.0);
        upper.closeSubpath();
        p.drawPath(upper);
        QPainterPath lower;
        lower.moveTo(x + 6.0, 86.0 - i * 1.4);
        lower.lineTo(x + 10.0, 86.0 - i * 1.4);
        lower.lineTo(x + 8.0, 80.0 - i * 1.4);
        lower.closeSubpath();
        p.drawPath(lower);
    }

    // A burning eye with a slit pupil, and the nostril.
    QRadialGradient eye(QPointF(56.0, 49.0), 6.0);
    eye.setColorAt(0.0, QColor(255, 250, 150));
    eye.setColorAt(1.0, QColor(240, 150, 10));
    p.setBrush(eye);
    p.setPen(outline);
    p.drawEllipse(QPointF(56.0, 49.0), 6.0, 4.0);
    p.setBrush(Qt::black);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(56.0, 49.0), 1.2, 3.6);
    p.drawEllipse(QPointF(14.0, 61.0), 2.4, 1.6);
    p.end();
    return image;
}

QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const double s = size;

        // A little scroll: parchment between two wooden rolls.
        QLinearGradient sheet(0.0, 0.0, s, s);
        sheet.setColorAt(0.0, QColor(244, 226, 182));
        sheet.setColorAt(1.0, QColor(200, 170, 112));
        p.setPen(QPen(QColor(90, 56, 24), std::max(1.0, s / 32.0)));
        p.setBrush(sheet);
        p.drawRect(QRectF(s * 0.2, s * 0.16, s * 0.6, s * 0.68));

        QLinearGradient wood(0.0, 0.0, 0.0, s * 0.16);
        wood.setColorAt(0.0, QColor(150, 96, 44));
        wood.setColorAt(1.0, QColor(84, 50, 20));
        p.setBrush(wood);
        const double roll = std::max(3.0, s * 0.16);
        p.drawRoundedRect(QRectF(s * 0.06, s * 0.04, s * 0.88, roll), roll / 2.0, roll / 2.0);
        p.drawRoundedRect(QRectF(s * 0.06, s * 0.96 - roll, s * 0.88, roll), roll / 2.0, roll / 2.0);

        if (size >= 32) {
            // An initial Q in red ink.
            QPainterPath q;
            q.addText(0.0, 0.0, fonts::blackletter(40.0), QStringLiteral("Q"));
            const QRectF b = q.boundingRect();
            const QRectF room(s * 0.26, s * 0.24, s * 0.48, s * 0.52);
            const double k = std::min(room.width() / b.width(), room.height() / b.height());
            QTransform t;
            t.translate(room.center().x(), room.center().y());
            t.scale(k, k);
            t.translate(-b.center().x(), -b.center().y());
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(150, 16, 12));
            p.drawPath(t.map(q));
        } else {
            // At 16 pixels a few lines of writing say more than a letter.
            p.setPen(QPen(QColor(120, 30, 20), 1.0));
            for (int i = 0; i < 3; ++i)
                p.drawLine(QPointF(5.0, 6.5 + i * 2.0), QPointF(11.0, 6.5 + i * 2.0));
        }
        p.end();
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace qm::artwork
