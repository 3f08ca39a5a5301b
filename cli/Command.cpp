#include "Command.h"

#include "ByteReader.h"
#include "ByteSource.h"
#include "Catalogue.h"
#include "Escape.h"
#include "FileError.h"
#include "HostPath.h"
#include "Interrupt.h"
#include "KeyFile.h"
#include "Selection.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace qm::cli {

SelectionState chooseArchive(const Game& game, const std::string& archive) {
    auto names = listbifs(game.BGpath);
    sortArchiveNames(names);
    const std::string wanted = utf8ToCp1252(archive);
    for (const auto& name : names)
        if (equalsIgnoreCase(name, wanted))
            return selectArchive(game.BGpath, name, game.lang);
    // Any other archive of the catalogue, by its file name or by its whole name as the catalogue stores it.
    const std::unique_ptr<ByteSource> source =
        openFileSource(hostPath(game.BGpath + "chitin.key"), ByteReader::kSequentialBuffer);
    const KeyFile key = KeyFile::read(*source);
    const std::string wantedPath = archiveRelativePath(wanted);
    for (const KeyFile::Archive& stored : key.archives()) {
        const std::string path = archiveRelativePath(stored.name);
        if (equalsIgnoreCase(archiveFileName(stored.name), wanted) || equalsIgnoreCase(path, wantedPath))
            return selectArchiveAt(game.BGpath, path, game.lang);
    }
    throw UsageError{"archive not in the catalogue: " + archive};
}

void requireCatalogue(const std::string& BGpath, std::ostream& err) {
    const CatalogueShape shape = inspectCatalogue(BGpath);
    const std::string folder = displayPath(hostPath(BGpath.empty() ? "." : BGpath));
    if (!shape.found)
        throw FileError(FileNotFound, "no chitin.key in " + folder, "");
    const std::string key = displayPath(hostPath(BGpath + "chitin.key"));
    if (!shape.headerWhole)
        throw FileError(InputPastEndOfFile, "the catalogue ends inside its header", key);
    const auto warn = [&](const char* table, std::uint64_t held, std::uint32_t count) {
        err << "quillmere-cli: warning: " << escapeField(key) << ": the " << table << " holds " << held
            << " of its " << count << " entries; the rest of the file is missing\n";
    };
    if (shape.archivesHeld < shape.archiveCount)
        warn("archive table", shape.archivesHeld, shape.archiveCount);
    if (shape.resourcesHeld < shape.resourceCount)
        warn("resource table", shape.resourcesHeld, shape.resourceCount);
}

ProgressBar::ProgressBar() : m_enabled(isatty(fileno(stderr)) != 0) {}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::set(float percent) {
    if (!m_enabled)
        return;
    const int whole = std::clamp(static_cast<int>(percent), 0, 100);
    if (whole == m_last)
        return;
    m_last = whole;
    const int filled = whole * 30 / 100;
    std::fprintf(stderr, "\r[%.*s%.*s] %3d%%", filled, "##############################", 30 - filled,
                 "                              ", whole);
    std::fflush(stderr);
    m_drawn = true;
}

void ProgressBar::finish() {
    if (m_drawn)
        std::fprintf(stderr, "\r%42s\r", "");
    m_drawn = false;
}

void printWritten(const std::function<void(const std::string&)>& convert, const std::string& gamePath,
                  const std::filesystem::path& path, ProgressBar& bar, Streams& streams) {
    const auto print = [&] {
        bar.finish();
        streams.out.write(escapeField(displayPath(path.generic_string())) + '\n');
        streams.out.check();
    };
    try {
        if (convert)
            convert(gamePath);
    } catch (const FileError&) {
        print();
        throw;
    }
    print();
}

} // namespace qm::cli
