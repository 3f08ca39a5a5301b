// Whole-archive and selective extraction over an arbitrary catalogue and archive, in a private current
// folder: nothing may land outside it, and the game folder must stay as it was.
#include "Extract.h"
#include "FileError.h"
#include "Sandbox.h"
#include "Selection.h"
#include "Text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

void expectReport(const qm::FileError& e) {
    if (e.number() != qm::InputPastEndOfFile && e.number() != qm::BadRecordNumber)
        qm::fuzz::fail("unexpected failure " + std::string(e.what()));
}

// An output path is the folder, one separator and a name without any.
void expectInside(const std::string& written, const std::string& folder) {
    const std::string prefix = folder + "\\";
    if (written.compare(0, prefix.size(), prefix) != 0 ||
        written.find_first_of("\\/", prefix.size()) != std::string::npos)
        qm::fuzz::fail("output path outside its folder: " + written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qm::fuzz::Sandbox sandbox;
    const qm::fuzz::GameInput input = qm::fuzz::splitGameInput(data, size);
    sandbox.reset(input.gameFiles());
    const int openBefore = qm::fuzz::openFileCount();

    qm::SelectionState selected;
    try {
        selected = qm::selectArchive(sandbox.gamePrefix(), input.archiveName + ".BIF");
    } catch (const qm::FileError& e) {
        expectReport(e);
    }

    if (!selected.targetfile.empty()) {
        int done = 0;
        qm::ExtractCallbacks callbacks;
        callbacks.done = [&done] { ++done; };
        callbacks.written = [&](const std::string& path) { expectInside(path, selected.targetfile); };
        try {
            qm::extractArchive(selected, callbacks);
            if (done != 1)
                qm::fuzz::fail("a finished extraction did not say Done once");
        } catch (const qm::FileError& e) {
            expectReport(e);
        }

        // The editor's Extract with the first entries checked.
        try {
            const qm::ArchiveListing listing = qm::listArchive(selected, {});
            std::vector<std::string> texts;
            for (const qm::ListedFile& file : listing.files)
                texts.push_back(file.text);
            std::vector<bool> checked(texts.size());
            for (std::size_t i = 0; i < checked.size() && i < 8; ++i)
                checked[i] = true;
            qm::PickCallbacks pick;
            pick.isChecked = [&checked](int i) { return checked.at(static_cast<std::size_t>(i)); };
            pick.uncheck = [&checked](int i) { checked.at(static_cast<std::size_t>(i)) = false; };
            pick.written = [](const std::string& path, const std::filesystem::path&) {
                expectInside(path, "workdir");
            };
            qm::extractSelected(selected, texts, pick);
        } catch (const qm::FileError& e) {
            expectReport(e);
        }
    }

    if (qm::fuzz::openFileCount() != openBefore)
        qm::fuzz::fail("a file was left open");
    sandbox.check();
    return 0;
}
