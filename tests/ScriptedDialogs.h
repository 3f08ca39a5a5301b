#pragma once

#include "Dialogs.h"

#include <QString>
#include <deque>
#include <vector>

// Thrown by ScriptedDialogs::endProgram so a test sees the program end instead of the process exiting.
struct ProgramEnded {
    int exitCode;
};

// Answers the windows' modal boxes from a script. Each box must have been expected, in order, with its
// title and text; an unexpected box fails the test. Records every box and counts beeps.
class ScriptedDialogs : public Dialogs {
public:
    struct Box {
        QString title;
        QString text;
    };

    ~ScriptedDialogs() override;

    void expectMessage(const QString& title, const QString& text);
    void expectQuestion(const QString& title, const QString& text, bool answerYes);
    // Boxes that were expected but have not been shown yet.
    std::size_t pending() const { return m_script.size(); }

    void beep() override { ++beeps; }
    void message(const QString& title, const QString& text) override;
    bool askYesNo(const QString& title, const QString& text) override;
    [[noreturn]] void endProgram(int exitCode) override;

    int beeps = 0;
    std::vector<Box> shown;

private:
    struct Expected {
        Box box;
        bool question = false;
        bool answerYes = false;
    };
    const Expected take(const QString& title, const QString& text, bool question);

    std::deque<Expected> m_script;
};
