#pragma once

#include "Dialogs.h"
#include "Existence.h"
#include "FileError.h"

#include <utility>

// Runs one event handler's work: an unexpected failure of an existence test ends the program after the
// "ERROR" box; any other failure shows the run-time error box and stops only the operation. Work keeps
// its files in scoped objects, so they are closed by the time the box shows.
template <typename Work> bool guardEvent(Dialogs& dialogs, Work&& work) {
    try {
        std::forward<Work>(work)();
        return true;
    } catch (const qm::FatalFileError& e) {
        showFatalError(dialogs, e);
    } catch (const qm::FileError& e) {
        showRuntimeError(dialogs, e);
    }
    return false;
}

// The guard of an operation that writes output (the extractions): an existence test that fails on the
// output side names the path in its "ERROR" box and stops the operation only; what was written stays,
// and so do the program and its windows.
template <typename Work> bool guardOutput(Dialogs& dialogs, Work&& work) {
    try {
        std::forward<Work>(work)();
        return true;
    } catch (const qm::FatalFileError& e) {
        showOutputError(dialogs, e);
    } catch (const qm::FileError& e) {
        showRuntimeError(dialogs, e);
    }
    return false;
}
