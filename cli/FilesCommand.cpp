#include "ArchiveLocation.h"
#include "ByteReader.h"
#include "Command.h"
#include "Escape.h"
#include "Extract.h"
#include "GameResources.h"
#include "Json.h"
#include "Patterns.h"
#include "Text.h"

#include <optional>

namespace qm::cli {

namespace {

std::vector<std::string> listTexts(const ArchiveListing& listing) {
    std::vector<std::string> texts;
    texts.reserve(listing.files.size());
    for (const auto& file : listing.files)
        texts.push_back(file.text);
    return texts;
}

} // namespace

// One line per file: index, name, offset, size, type description, item name.
int filesCommand(const Request& request, Streams& streams) {
    const std::string& archive = request.words.at(0);
    const SelectionState selection = chooseArchive(request.game, archive);
    const ArchiveListing listing = listArchive(selection, {});
    const std::vector<std::size_t> shown =
        chosenEntries(listTexts(listing),
                      std::vector<std::string>(request.words.begin() + 1, request.words.end()), archive);
    const bool items = asciiUpper(selection.targetfile) == "ITEMS";
    std::optional<ByteReader> bif;
    std::unique_ptr<StringTable> strings;
    if (items) {
        bif.emplace(locateArchive(selection), ByteReader::kRandomAccessBuffer);
        strings = itemNameTable(request.game.BGpath, request.game.lang);
    }
    JsonRows list(streams.out);
    std::string line;
    for (const std::size_t i : shown) {
        const ListedFile& file = listing.files[i];
        std::string name;
        if (items)
            name = strings->text(readEntryDetails(*bif, static_cast<int>(i)).nameIndex);
        if (request.json) {
            list.add({{"index", i},
                      {"name", gameText(file.text)},
                      {"offset", file.dataOffset},
                      {"size", file.dataSize},
                      {"type", file.resourceType},
                      {"description", describeEnding(file.text)},
                      {"item", name}});
            continue;
        }
        line.clear();
        line += std::to_string(i) + '\t' + escapeField(gameText(file.text)) + '\t' +
                std::to_string(file.dataOffset) + '\t' + std::to_string(file.dataSize) + '\t' +
                escapeField(describeEnding(file.text)) + '\t' + escapeField(name) + '\n';
        streams.out.write(line);
    }
    if (request.json)
        list.finish();
    return 0;
}

} // namespace qm::cli
