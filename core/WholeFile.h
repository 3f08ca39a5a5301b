#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

class ByteWriter;

// No sound or text table of the game comes near this; a larger one is not read into memory.
inline constexpr std::int32_t kMaxSoundBytes = 64 << 20;

// The bytes of a regular file of at most `limit` bytes. Nothing for anything else: a missing file, a
// folder, a pipe or a device (never opened, so it cannot block), a larger file, one that grew past
// `limit` while it was read, or one that cannot be read.
std::optional<std::string> readSmallFile(const std::filesystem::path& path, std::uintmax_t limit);

// Writes a file whole or not at all: `fill` writes into a new file beside `path`, which then takes its
// name, so no bytes of an older, longer file survive and whatever stood at the name (a link, a pipe, a
// second name of another file's data) is replaced rather than written through. A failure (or an exception
// from `fill`) removes the new file and leaves `path` as it was.
void writeAtomically(const std::filesystem::path& path, const std::function<void(ByteWriter&)>& fill);
void writeAtomically(const std::filesystem::path& path, std::string_view bytes);

} // namespace qm
