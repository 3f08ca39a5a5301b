#include "Command.h"
#include "Escape.h"
#include "GameResources.h"
#include "Json.h"
#include "Patterns.h"
#include "SafeName.h"
#include "Text.h"
#include "TypeTable.h"

#include <algorithm>
#include <functional>

namespace qm::cli {

namespace {

const char* layerName(ResourceLayer layer) {
    switch (layer) {
    case ResourceLayer::Override:
        return "override";
    case ResourceLayer::Dlc:
        return "dlc";
    case ResourceLayer::Archive:
        break;
    }
    return "archive";
}

} // namespace

GameResources::Wanted wantedBy(const Request& request) {
    if (request.words.empty() && !request.type)
        return {};
    std::vector<std::string> patterns;
    for (const std::string& word : request.words)
        patterns.push_back(utf8ToCp1252(word));
    const std::string extension = request.type ? asciiUpper(*request.type) : std::string();
    return [patterns, extension](const std::string& resRef, std::uint16_t type) {
        const std::string typeName = documentedExtension(type);
        if (!extension.empty() && asciiUpper(typeName) != extension)
            return false;
        if (patterns.empty())
            return true;
        const std::string name = safeName(resRef) + "." + typeName;
        return std::any_of(patterns.begin(), patterns.end(),
                           [&name](const std::string& pattern) { return matchesPattern(pattern, name); });
    };
}

std::vector<GameResource> chosenResources(const GameResources& game, const Request& request, bool allCopies) {
    std::vector<GameResource> all = game.resources(allCopies);
    if (request.type) {
        // Appended, not "." + text: GCC's optimiser takes that for an overlapping copy (-Wrestrict).
        std::string wanted = ".";
        wanted += asciiUpper(*request.type);
        std::erase_if(all, [&wanted](const GameResource& r) {
            return r.name.size() < wanted.size() ||
                   asciiUpper(r.name.substr(r.name.size() - wanted.size())) != wanted;
        });
    }
    if (request.words.empty())
        return all;
    std::vector<std::string> names;
    names.reserve(all.size());
    for (const GameResource& r : all)
        names.push_back(r.name);
    std::vector<GameResource> chosen;
    for (const std::size_t i : chosenEntries(names, request.words, "the game", false))
        chosen.push_back(std::move(all[i]));
    return chosen;
}

// Each resource once, as the game loads it, sorted by name; the hidden copies too on request.
int resourcesCommand(const Request& request, Streams& streams) {
    const GameResources game(request.game.BGpath, request.game.lang, warnings(streams.err),
                             wantedBy(request));
    // Without words the whole game is listed as the layers hold it (--type already chose while reading),
    // so no copy of a list of tens of thousands is made.
    const auto forEachChosen = [&](const std::function<void(const GameResource&)>& each) {
        if (request.words.empty()) {
            game.forEach(request.allCopies, each);
            return;
        }
        for (const GameResource& r : chosenResources(game, request, request.allCopies))
            each(r);
    };
    const auto archiveName = [&game](const GameResource& r) {
        return r.archive ? gameText(game.archives().at(*r.archive).name) : std::string();
    };
    if (request.json) {
        JsonRows list(streams.out);
        // One row object, its values replaced row by row: no document of the whole listing is built.
        nlohmann::json row = nlohmann::json::object();
        forEachChosen([&](const GameResource& r) {
            row["name"] = gameText(r.name);
            row["type"] = r.type;
            row["size"] = r.size ? nlohmann::json(*r.size) : nlohmann::json(nullptr);
            row["source"] = layerName(r.layer);
            row["archive"] = r.archive ? nlohmann::json(archiveName(r)) : nlohmann::json(nullptr);
            for (const auto& [flag, set] : {std::pair{"missing", r.missing}, std::pair{"hidden", r.hidden}}) {
                if (set)
                    row[flag] = true;
                else
                    row.erase(flag);
            }
            list.add(row);
        });
        list.finish();
        return 0;
    }
    std::string text;
    forEachChosen([&](const GameResource& r) {
        text += escapeField(gameText(r.name)) + '\t' + std::to_string(r.type) + '\t' +
                (r.size ? std::to_string(*r.size) : std::string()) + '\t' + layerName(r.layer) + '\t' +
                escapeField(archiveName(r)) +
                (r.missing  ? "\tmissing"
                 : r.hidden ? "\thidden"
                            : "") +
                '\n';
        if (text.size() > (1u << 16)) {
            streams.out.write(text);
            text.clear();
        }
    });
    streams.out.write(text);
    return 0;
}

} // namespace qm::cli
