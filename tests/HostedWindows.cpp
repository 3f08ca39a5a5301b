#include "HostedWindows.h"

#include "FrmEdit.h"
#include "FrmSearch.h"
#include "GameLanguage.h"

#include <QCoreApplication>
#include <QEvent>

TestHost::TestHost(Dialogs& dialogs, std::string gamePrefix)
    : m_dialogs(dialogs), m_gamePrefix(std::move(gamePrefix)) {
    m_selection.BGpath = m_gamePrefix;
    m_selection.lang = qm::gameLanguage(m_gamePrefix);
}

void TestHost::choose(const std::string& entry) {
    m_selection = qm::selectArchive(m_gamePrefix, entry, m_selection.lang);
}

void HostedWindows::startHost() {
    gameDir.unset();
    host = std::make_unique<TestHost>(dialogs, game.path().string() + "/");
}

void HostedWindows::TearDown() {
    if (host) {
        if (FrmSearch* search = host->searchWindow())
            search->close();
        if (FrmEdit* edit = host->editWindow())
            edit->close();
    }
    flushDeletes();
    host.reset();
    flushDeletes();
}

void HostedWindows::flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
