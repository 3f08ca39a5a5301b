#include "Fonts.h"

#include <QApplication>
#include <gtest/gtest.h>

// Widget tests run headless unless a display is asked for explicitly.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // As the program does: the fonts shipped beside it (the Windows build's).
    qm::fonts::loadBundled(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
