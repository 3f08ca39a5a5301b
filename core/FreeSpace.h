#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace qm {

// Bytes this process may still write on the file system that holds `folder`, or -1 when the system cannot
// tell (the check is then skipped).
using FreeSpaceQuery = std::function<std::int64_t(const std::filesystem::path& folder)>;
std::int64_t hostFreeSpace(const std::filesystem::path& folder);

// The query that requireFreeSpace asks, hostFreeSpace unless replaced; returns the one it replaces, so
// that a test can say how much is free and put the host's back afterwards.
FreeSpaceQuery replaceFreeSpaceQuery(FreeSpaceQuery query);

// Fails with 61, before anything is written, when `needed` bytes do not fit on the file system of
// `output` (the nearest folder of it that exists is asked). The description says how much is needed and
// how much is free.
void requireFreeSpace(const std::filesystem::path& output, std::int64_t needed);

// A byte count as people read it: "950 bytes", "12.3 kB", "2.4 GB" (powers of 1000).
std::string readableSize(std::int64_t bytes);

} // namespace qm
