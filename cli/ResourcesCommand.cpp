#include "Command.h"
#include "Escape.h"
#include "GameResources.h"
#include "Json.h"
#include "Patterns.h"
#include "Text.h"

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
    const GameResources game(request.game.BGpath, request.game.lang, warnings(streams.err));
    const std::vector<GameResource> chosen = chosenResources(game, request, request.allCopies);
    const auto archiveName = [&game](const GameResource& r) {
        return r.archive ? gameText(game.archives().at(*r.archive).name) : std::string();
    };
    if (request.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const GameResource& r : chosen) {
            nlohmann::json entry = {
                {"name", gameText(r.name)},
                {"type", r.type},
                {"size", r.size ? nlohmann::json(*r.size) : nlohmann::json(nullptr)},
                {"source", layerName(r.layer)},
                {"archive", r.archive ? nlohmann::json(archiveName(r)) : nlohmann::json(nullptr)}};
            if (r.missing)
                entry["missing"] = true;
            if (r.hidden)
                entry["hidden"] = true;
            list.push_back(std::move(entry));
        }
        writeJson(streams.out, list);
        return 0;
    }
    std::string text;
    for (const GameResource& r : chosen) {
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
    }
    streams.out.write(text);
    return 0;
}

} // namespace qm::cli
