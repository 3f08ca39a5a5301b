#include "ChildWindows.h"

#include "FrmEdit.h"
#include "FrmSearch.h"
#include "Selection.h"
#include "WindowHost.h"

namespace {

template <typename Window> Window* bringUp(Window* window) {
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

// The same archive file of the same game, read in the same language.
bool sameArchive(const qm::SelectionState& a, const qm::SelectionState& b) {
    return a.BGpath == b.BGpath && a.targetdir == b.targetdir && a.targetfile == b.targetfile &&
           a.lang == b.lang;
}

} // namespace

ChildWindows::~ChildWindows() {
    delete m_search;
    delete m_edit;
}

FrmEdit* ChildWindows::showEdit() {
    if (!m_edit) {
        auto* window = new FrmEdit(m_host);
        if (!window->loaded()) {
            delete window;
            return nullptr;
        }
        window->setAttribute(Qt::WA_DeleteOnClose);
        m_edit = window;
    }
    return bringUp(m_edit.data());
}

FrmEdit* ChildWindows::showChosenEdit() {
    if (m_edit && !sameArchive(m_edit->keptArchive(), m_host.selection())) {
        if (!m_edit->relist()) {
            delete m_search;
            delete m_edit;
            return nullptr;
        }
        if (m_search)
            m_search->showArchive(m_edit->keptArchive().targetfile);
    }
    return showEdit();
}

FrmSearch* ChildWindows::showSearch() {
    if (!m_search) {
        const bool listed = m_edit && m_edit->loaded();
        auto* window =
            new FrmSearch(m_host, listed ? m_edit->keptArchive().targetfile : m_host.selection().targetfile);
        window->setAttribute(Qt::WA_DeleteOnClose);
        m_search = window;
    }
    return bringUp(m_search.data());
}

FrmEdit* ChildWindows::edit() const {
    return m_edit;
}

FrmSearch* ChildWindows::search() const {
    return m_search;
}
