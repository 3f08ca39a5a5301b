#pragma once

#include <string>
#include <string_view>

namespace qm {

// A catalogue name as it may be shown, logged and used in a file name: every path separator, character
// that Windows forbids in a file name (\ / : * ? " < > |) and control code becomes "_": C0, DEL, and the
// C1 codes that Windows-1252's five undefined bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) decode to. Names are
// always followed by "." and an extension, so the result never names "." or "..".
std::string safeName(std::string_view name);

// A whole file name ("CON.ITM") as Windows can hold it as an ordinary file: one whose part before the
// first dot is a device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, letter case ignored) gets "_" in
// front; one that ends in a dot or a blank gets "_" at its end. The Windows build names, lists and logs
// its outputs so; elsewhere names stay as they are (windowsOutputName returns its argument).
std::string windowsSafeFileName(std::string_view fileName);
std::string windowsOutputName(std::string fileName);

} // namespace qm
