#include "ScriptedDialogs.h"

#include <gtest/gtest.h>

ScriptedDialogs::~ScriptedDialogs() {
    for (const Expected& e : m_script)
        ADD_FAILURE() << "expected box never shown: " << e.box.title.toStdString() << " / "
                      << e.box.text.toStdString();
}

void ScriptedDialogs::expectMessage(const QString& title, const QString& text) {
    m_script.push_back({{title, text}, false, false});
}

void ScriptedDialogs::expectQuestion(const QString& title, const QString& text, bool answerYes) {
    m_script.push_back({{title, text}, true, answerYes});
}

const ScriptedDialogs::Expected ScriptedDialogs::take(const QString& title, const QString& text,
                                                      bool question) {
    shown.push_back({title, text});
    if (m_script.empty()) {
        ADD_FAILURE() << "unexpected box: " << title.toStdString() << " / " << text.toStdString();
        return {};
    }
    Expected next = m_script.front();
    m_script.pop_front();
    EXPECT_EQ(next.box.title.toStdString(), title.toStdString());
    EXPECT_EQ(next.box.text.toStdString(), text.toStdString());
    EXPECT_EQ(next.question, question) << "box kind for " << title.toStdString();
    return next;
}

void ScriptedDialogs::message(const QString& title, const QString& text) {
    take(title, text, false);
}

bool ScriptedDialogs::askYesNo(const QString& title, const QString& text) {
    return take(title, text, true).answerYes;
}

void ScriptedDialogs::endProgram(int exitCode) {
    throw ProgramEnded{exitCode};
}
