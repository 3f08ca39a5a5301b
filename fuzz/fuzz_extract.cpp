// Whole-archive and selective extraction over an arbitrary catalogue and archive read from memory, writing
// into a private current folder: nothing may land outside it.
#include "ByteReader.h"
#include "ByteSource.h"
#include "Endian.h"
#include "Extract.h"
#include "FileError.h"
#include "Sandbox.h"
#include "Selection.h"
#include "Text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
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
    const auto key = qm::endian::asBytes(input.key.data(), input.key.size());
    const auto bif = qm::endian::asBytes(input.bif.data(), input.bif.size());
    const qm::ArchiveInputs sources{[&] { return std::make_unique<qm::MemorySource>(key, "chitin.key"); },
                                    [&] { return std::make_unique<qm::MemorySource>(bif, "archive.bif"); }};
    sandbox.reset({});
    const int openBefore = qm::fuzz::openFileCount();

    qm::SelectionState selected;
    try {
        qm::ByteReader archive(sources.archive());
        selected = qm::selectArchive("", input.archiveName + ".BIF", archive);
    } catch (const qm::FileError& e) {
        expectReport(e);
    }

    if (!selected.targetfile.empty()) {
        int done = 0;
        qm::ExtractCallbacks callbacks;
        callbacks.done = [&done] { ++done; };
        // The list texts of the written files, in table order: the names the editor's list would show,
        // without a third walk (the listing itself is fuzz_walk's).
        std::vector<std::string> texts;
        callbacks.written = [&](const std::string& path) {
            expectInside(path, selected.targetfile);
            texts.push_back(path.substr(selected.targetfile.size() + 1));
        };
        try {
            qm::extractArchive(selected, sources, callbacks);
            if (done != 1)
                qm::fuzz::fail("a finished extraction did not say Done once");
        } catch (const qm::FileError& e) {
            expectReport(e);
        }

        // The editor's Extract with the first entries checked.
        try {
            std::vector<bool> checked(texts.size());
            for (std::size_t i = 0; i < checked.size() && i < 8; ++i)
                checked[i] = true;
            qm::PickCallbacks pick;
            pick.isChecked = [&checked](int i) { return checked.at(static_cast<std::size_t>(i)); };
            pick.uncheck = [&checked](int i) { checked.at(static_cast<std::size_t>(i)) = false; };
            pick.written = [](const std::string& path, const std::filesystem::path&) {
                expectInside(path, "WorkDir");
            };
            qm::extractSelected(selected, sources, texts, pick);
        } catch (const qm::FileError& e) {
            expectReport(e);
        }
    }

    if (qm::fuzz::openFileCount() != openBefore)
        qm::fuzz::fail("a file was left open");
    sandbox.check();
    return 0;
}
