#include "Selection.h"

#include "ArchiveLocation.h"
#include "ByteReader.h"
#include "FileError.h"
#include "FileSystem.h"
#include "Records.h"
#include "Text.h"

namespace qm {

std::int16_t biffidFor(std::string_view targetfile) {
    const std::string lower = asciiLower(targetfile);
    if (lower == "creature")
        return 608;
    if (lower == "items")
        return 240;
    if (lower == "spells")
        return 800;
    if (lower == "chasound")
        return 1136;
    return 999;
}

std::string archivePath(const SelectionState& state) {
    return state.BGpath + state.targetdir + state.targetfile + ".bif";
}

namespace {

SelectionState named(const std::string& BGpath, std::string_view entryText) {
    SelectionState next;
    next.BGpath = BGpath;
    next.targetdir =
        entryText.size() >= 5 && asciiUpper(entryText.substr(0, 5)) == "MOVIE" ? "movies\\" : "data\\";
    next.targetfile = std::string(entryText.substr(0, entryText.size() >= 4 ? entryText.size() - 4 : 0));
    return next;
}

SelectionState measured(SelectionState next, ByteReader& bif) {
    // The length field is 32-bit; an archive beyond 2 GiB keeps its low bits, as the field always did.
    next.taillefile = static_cast<std::int32_t>(static_cast<std::uint32_t>(bif.length() & 0xFFFFFFFF));
    next.nbfile = readFileEntryCount(bif);
    // A count made partly of missing bytes would be a number the archive never held.
    if (bif.ranShort())
        throw FileError(InputPastEndOfFile, "the archive ends inside its header", bif.name());
    next.nbfile_2 = next.nbfile;
    next.nbpart = 1;
    next.begin_i = 1;
    next.biffid = biffidFor(next.targetfile);
    return next;
}

} // namespace

SelectionState selectArchive(const std::string& BGpath, std::string_view entryText, const std::string& lang) {
    SelectionState next = named(BGpath, entryText);
    next.lang = lang;
    const auto path = locateArchive(next);
    // Measured first, so that something other than a file at the archive's name is 75 for that path.
    filesystem::fileLength(path);
    ByteReader bif(path, ByteReader::kRandomAccessBuffer);
    return measured(std::move(next), bif);
}

SelectionState selectArchiveAt(const std::string& BGpath, std::string_view relativePath,
                               const std::string& lang) {
    // Mac releases separate with ":", the Enhanced Edition with "/": every one becomes "\".
    std::string path;
    for (const char c : relativePath)
        path += c == '/' || c == ':' ? '\\' : c;
    const std::size_t start = path.find_first_not_of('\\');
    path.erase(0, start == std::string::npos ? path.size() : start);
    const std::size_t cut = path.rfind('\\');
    const std::string fileName = cut == std::string::npos ? path : path.substr(cut + 1);
    SelectionState next = named(BGpath, fileName);
    next.targetdir = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    next.lang = lang;
    const auto found = locateArchive(next);
    filesystem::fileLength(found);
    ByteReader bif(found, ByteReader::kRandomAccessBuffer);
    return measured(std::move(next), bif);
}

SelectionState selectArchive(const std::string& BGpath, std::string_view entryText, ByteReader& bif) {
    return measured(named(BGpath, entryText), bif);
}

} // namespace qm
