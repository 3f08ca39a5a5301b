#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace qm {

// Root keys as Windows numbers them, so callers need no Windows header.
inline constexpr std::uint32_t kHkeyCurrentUser = 0x80000001;
inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002;

// Reads one registry value as 8-bit text in the ANSI code page (Windows-1252). A value of more than 1024
// bytes, its terminating NUL included, fails. One terminating NUL is removed; a string stored without it
// is taken whole. Type 1 (string) gives the text; type 4 (number) gives its decimal form; any other type
// leaves `result` as it was. Returns true on success; on failure (no key, no value, too long) `result`
// becomes empty.
//
// Type 4: "&h" and two hexadecimal digits per byte, last byte to first, read as a number the way the
// original platform reads such a literal: up to four digits a signed 16-bit value, more a signed 32-bit
// value (so a DWORD of 0xFFFFFFFF gives "-1"); only the low four bytes of a longer value count.
//
// On Windows the key is opened for reading only, first in the process's own view and then in the 32-bit
// view, where a 32-bit installer on 64-bit Windows left it. Elsewhere the value comes from the registry
// files of the Wine prefix (see winePrefix): system.reg for HKEY_LOCAL_MACHINE, user.reg for
// HKEY_CURRENT_USER; other roots fail.
bool readregvalue(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                  std::string& result);

// The Wine prefix: $WINEPREFIX when set and not empty, else ~/.wine; empty when neither is known.
std::filesystem::path winePrefix();

// readregvalue's contract over one Wine registry file whose keys are relative to the root. Key and value
// names match without regard to letter case; a key below "Software" missing from the file is also looked
// for below "Software\Wow6432Node". Malformed lines are skipped.
bool readWineRegistryValue(const std::filesystem::path& regFile, const std::string& keyPath,
                           const std::string& valueName, std::string& result);
// The same over the file's bytes, wherever they are held.
bool readWineRegistryValue(std::istream& regFile, const std::string& keyPath, const std::string& valueName,
                           std::string& result);

// One value that readWineRegistryTexts looks for.
struct RegistryQuery {
    std::string keyPath;
    std::string valueName;
};
// Several values of one file from one reading, each as readWineRegistryValue gives it into a result that
// starts empty: a missing value and one of another type are empty. Looks at stop requests as it reads.
std::vector<std::string> readWineRegistryTexts(const std::filesystem::path& regFile,
                                               const std::vector<RegistryQuery>& queries);

} // namespace qm
