#pragma once

class Dialogs;
class FrmEdit;
class FrmSearch;
class QProgressBar;

namespace qm {
struct SelectionState;
}

// What the editor and the search window need of the window that opens them: the main window in the
// program, a light stand-in in tests.
class WindowHost {
public:
    virtual Dialogs& dialogs() const = 0;
    // The archive chosen last, which a new editor lists.
    virtual const qm::SelectionState& selection() const = 0;
    // The bar that the editor's load drives; null for none.
    virtual QProgressBar* loadProgressBar() const = 0;
    // Brings the main window back, as the editor's Exit does.
    virtual void showMain() = 0;
    // The single editor and search window, created on demand.
    virtual FrmEdit* showEdit() = 0;
    virtual FrmSearch* showSearch() = 0;

protected:
    ~WindowHost() = default;
};
