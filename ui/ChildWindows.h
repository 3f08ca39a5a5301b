#pragma once

#include <QPointer>

class FrmEdit;
class FrmSearch;
class WindowHost;

// A host's single editor and search window, created on demand and shown modeless; each deletes itself
// when closed. Whatever hosts them (the main window, a test's stand-in) shares this one behaviour.
class ChildWindows {
public:
    explicit ChildWindows(WindowHost& host) : m_host(host) {}
    // The windows read their host to their end, so they go before it.
    ~ChildWindows();
    ChildWindows(const ChildWindows&) = delete;
    ChildWindows& operator=(const ChildWindows&) = delete;

    // The editor lists the host's selection when it is created; null when that load failed (it has
    // reported itself).
    FrmEdit* showEdit();
    // The main window's Edit: the editor shows the host's selection. One open on another archive lists
    // the chosen one anew (the search window's caption follows); one on the same archive comes to the
    // front as it is. Null when the listing failed (it has reported itself, and the editor is closed).
    FrmEdit* showChosenEdit();
    // The search is about the archive the editor lists, which the host may have left meanwhile.
    FrmSearch* showSearch();
    FrmEdit* edit() const;
    FrmSearch* search() const;

private:
    WindowHost& m_host;
    QPointer<FrmEdit> m_edit;
    QPointer<FrmSearch> m_search;
};
