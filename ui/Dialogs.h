#pragma once

#include <QString>

namespace qm {
class FileError;
}

// Every message box and beep of the windows goes through one Dialogs, so widget tests can answer the
// modal boxes with a scripted fake. Boxes have no icon.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void beep() = 0;
    // A modal box with an OK button.
    virtual void message(const QString& title, const QString& text) = 0;
    // A modal box with Yes (the default) and No; true for Yes.
    virtual bool askYesNo(const QString& title, const QString& text) = 0;
    // Ends the whole program at once: every window closes, no further handler runs.
    [[noreturn]] virtual void endProgram(int exitCode) = 0;
};

// The production boxes: QMessageBox without icon and QApplication::beep().
class QtDialogs : public Dialogs {
public:
    void beep() override;
    void message(const QString& title, const QString& text) override;
    bool askYesNo(const QString& title, const QString& text) override;
    [[noreturn]] void endProgram(int exitCode) override;
};

// The box for a failure that no handler traps: "Run-time error 'N':", a blank line, the description and,
// on a line of its own, what failed: the path, with the archive entry where there is one.
QString runtimeErrorText(const qm::FileError& error);
void showRuntimeError(Dialogs& dialogs, const qm::FileError& error);
// The text of the existence tests' "ERROR" box: "N : description" and, on a line of its own, the path.
QString fatalErrorText(const qm::FileError& error);
// The fatal box of the existence tests: beep, the "ERROR" box, then the end.
[[noreturn]] void showFatalError(Dialogs& dialogs, const qm::FileError& error);
// The same box when a test fails on the output side: the operation stops, the program goes on.
void showOutputError(Dialogs& dialogs, const qm::FileError& error);
