#include "Dialogs.h"

#include "FileError.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QIcon>
#include <QMessageBox>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace {

// Room for a title bar's icon and its close, maximise and minimise buttons, with their padding.
constexpr int kTitleBarMargin = 150;

int runBox(const QString& title, const QString& text, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton) {
    QMessageBox box;
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(title);
    // Plain text keeps the leading blanks of "Done !" and never reads a name as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setStandardButtons(buttons);
    box.setDefaultButton(defaultButton);
    // No icon anywhere: the style would put one on each button.
    for (QAbstractButton* button : box.buttons())
        button->setIcon(QIcon());
    // The window manager shows the title whole only in a box wide enough for it, with room for the title
    // bar's own buttons; a box sizes itself by its text alone, so a spacer sets the least width.
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(title) + kTitleBarMargin;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box.exec();
}

} // namespace

void QtDialogs::beep() {
    QApplication::beep();
}

void QtDialogs::message(const QString& title, const QString& text) {
    runBox(title, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtDialogs::askYesNo(const QString& title, const QString& text) {
    return runBox(title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

void QtDialogs::endProgram(int exitCode) {
    // The end comes from inside a handler, perhaps with an extraction's files open: hide every window,
    // flush what was written, and leave without unwinding through the event loop or running more handlers.
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

// The title of the original platform's report: the application title.
QString runtimeErrorText(const qm::FileError& error) {
    QString text = QStringLiteral("Run-time error '%1':\n\n%2")
                       .arg(error.number())
                       .arg(QString::fromStdString(error.description()));
    // What failed, as the command line names it: the path, and the archive entry where there is one.
    if (!error.path().empty())
        text += QLatin1Char('\n') + QString::fromStdString(error.path());
    return text;
}

void showRuntimeError(Dialogs& dialogs, const qm::FileError& error) {
    dialogs.message(QStringLiteral(QUILLMERE_APP_TITLE), runtimeErrorText(error));
}

QString fatalErrorText(const qm::FileError& error) {
    QString text =
        QStringLiteral("%1 : %2").arg(error.number()).arg(QString::fromStdString(error.description()));
    if (!error.path().empty())
        text += QLatin1Char('\n') + QString::fromStdString(error.path());
    return text;
}

void showOutputError(Dialogs& dialogs, const qm::FileError& error) {
    dialogs.beep();
    dialogs.message(QStringLiteral("ERROR"), fatalErrorText(error));
}

void showFatalError(Dialogs& dialogs, const qm::FileError& error) {
    showOutputError(dialogs, error);
    dialogs.endProgram(1);
    // endProgram never returns; the compiler cannot see that through a virtual call.
    std::abort();
}
