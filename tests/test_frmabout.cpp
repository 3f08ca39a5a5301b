#include "Artwork.h"
#include "frmAbout.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#ifdef _WIN32
#include <vector>
#include <windows.h>
#endif

namespace {

const QColor kLabelGround(24, 36, 29);

// Shown windows under WA_DeleteOnClose, as the main window opens them.
QPointer<frmAbout> openAbout() {
    auto* about = new frmAbout();
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->show();
    return about;
}

void processDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(FrmAboutLoad, CaptionAndVersionComeFromTitleAndVersionNumbers) {
    frmAbout about;
    EXPECT_EQ(about.windowTitle().toStdString(), "About Quillmere");
    EXPECT_EQ(about.lblVersion->text().toStdString(), "Version 1.2.0");
    EXPECT_EQ(about.lblTitle->text().toStdString(), "Quillmere Ziro");
}

#ifdef _WIN32
// Explorer shows the program's file version and icon from its resources: the same version as the window.
TEST(FrmAboutLoad, ProgramFileCarriesTheSameVersionAndAnIcon) {
    const std::wstring program = QStringLiteral(QUILLMERE_GUI).toStdWString();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    const auto version = [](DWORD high, DWORD low) {
        return QStringLiteral("Version %1.%2.%3.%4")
            .arg(HIWORD(high))
            .arg(LOWORD(high))
            .arg(HIWORD(low))
            .arg(LOWORD(low));
    };
    frmAbout about;
    const QString shown = about.lblVersion->text() + QStringLiteral(".0");
    EXPECT_EQ(version(fixed->dwFileVersionMS, fixed->dwFileVersionLS), shown);
    EXPECT_EQ(version(fixed->dwProductVersionMS, fixed->dwProductVersionLS), shown);
    EXPECT_GE(ExtractIconExW(program.c_str(), -1, nullptr, nullptr, 0), 1u) << "no icon";
}
#endif

TEST(FrmAboutLoad, TextsCarryDescriptionCreditsAndNotice) {
    frmAbout about;
    EXPECT_EQ(about.lblDescription->text().toStdString(),
              "A Pre Release of a Veldmoor tool able to extract all creatures, Items, Spells and Characters' "
              "Sounds from Baldur's Gate .bif files, the fantastic game of Bioware/Black Isle/Interplay.");
    EXPECT_TRUE(about.lblAuteur->text().contains("Veldmoor"));
    EXPECT_TRUE(about.lblAuteur->text().contains('@')) << "name and e-mail address";
    EXPECT_FALSE(about.lblAuteur->text().contains('\n'));
    EXPECT_TRUE(about.Label2->text().startsWith("Special Thanks to "));
    // Five names: four separated by commas and "and", the last after "and".
    const QString names = about.Label2->text().mid(QStringLiteral("Special Thanks to ").size());
    EXPECT_EQ(names.count(','), 3);
    EXPECT_EQ(names.count(" and "), 1);
    EXPECT_GT(about.Text1->toPlainText().size(), 100);
}

TEST(FrmAboutLayout, FixedSizeWithoutMinimiseOrMaximise) {
    frmAbout about;
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_FALSE(about.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(about.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(about.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(about.isModal());
    EXPECT_FALSE(about.windowIcon().isNull());
}

TEST(FrmAboutLayout, LabelsAreWhiteOrHighlightTextOnDarkGreen) {
    frmAbout about;
    const QColor highlightText = about.palette().color(QPalette::HighlightedText);
    for (QLabel* label :
         {about.lblDescription, about.lblTitle, about.lblVersion, about.lblAuteur, about.Label2}) {
        EXPECT_TRUE(label->autoFillBackground()) << label->objectName().toStdString();
        EXPECT_EQ(label->palette().color(QPalette::Window), kLabelGround)
            << label->objectName().toStdString();
    }
    for (QLabel* label : {about.lblDescription, about.lblTitle, about.lblAuteur})
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::white))
            << label->objectName().toStdString();
    EXPECT_EQ(about.lblVersion->palette().color(QPalette::WindowText), highlightText);
    EXPECT_EQ(about.Label2->palette().color(QPalette::WindowText), highlightText);
}

TEST(FrmAboutLayout, AuthorLineAndNoticeShowWhole) {
    // Qt's offscreen platform on Windows measures text in no installed font at all.
    if (QFontDatabase::families().isEmpty())
        GTEST_SKIP() << "the platform plugin knows no fonts to measure with";
    frmAbout about;
    about.show();
    QCoreApplication::processEvents();
    const QFontMetrics metrics(about.lblAuteur->font());
    EXPECT_LE(metrics.horizontalAdvance(about.lblAuteur->text()), about.lblAuteur->width());
    EXPECT_EQ(about.Text1->verticalScrollBar()->maximum(), 0) << "the notice needs no scrolling";
}

TEST(FrmAboutClose, OkEnterAndEscapeCloseTheWindow) {
    QPointer<frmAbout> byOk = openAbout();
    QTest::mouseClick(byOk->cmdOK, Qt::LeftButton);
    processDeferredDeletes();
    EXPECT_TRUE(byOk.isNull());

    QPointer<frmAbout> byEscape = openAbout();
    QTest::keyClick(byEscape.data(), Qt::Key_Escape);
    processDeferredDeletes();
    EXPECT_TRUE(byEscape.isNull());

    QPointer<frmAbout> byEnter = openAbout();
    EXPECT_TRUE(byEnter->cmdOK->isDefault());
    QTest::keyClick(byEnter.data(), Qt::Key_Return);
    processDeferredDeletes();
    EXPECT_TRUE(byEnter.isNull());
}

// The sizes Windows asks of a program's icon, for lists, the task bar and Explorer.
TEST(Artwork, ProgramIconComesInTheSizesWindowsAsksFor) {
    EXPECT_EQ(qm::artwork::programIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}}));
}

TEST(Artwork, StoneAveragesTheLabelsGreen) {
    const QImage stone = qm::artwork::stoneTexture();
    double r = 0, g = 0, b = 0;
    for (int y = 0; y < stone.height(); ++y)
        for (int x = 0; x < stone.width(); ++x) {
            const QColor c(stone.pixel(x, y));
            r += c.red();
            g += c.green();
            b += c.blue();
        }
    const double n = static_cast<double>(stone.width()) * stone.height();
    EXPECT_NEAR(r / n, kLabelGround.red(), 6.0);
    EXPECT_NEAR(g / n, kLabelGround.green(), 6.0);
    EXPECT_NEAR(b / n, kLabelGround.blue(), 6.0);
}

TEST(Artwork, ScrollLiesOnBlack) {
    const QImage scroll = qm::artwork::parchmentScroll();
    for (const QPoint corner : {QPoint(0, 0), QPoint(292, 0), QPoint(0, 381), QPoint(292, 381)})
        EXPECT_EQ(QColor(scroll.pixel(corner)), QColor(Qt::black)) << corner.x() << "," << corner.y();
    const QColor middle(scroll.pixel(146, 190));
    EXPECT_GT(middle.red(), 150) << "parchment in the middle";
}

} // namespace
