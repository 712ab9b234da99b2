#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kelvara {

// Paths cross from the window to the core as UTF-8 on every system. Going through char8_t
// makes the conversion UTF-8 to UTF-16 on Windows, never through the ANSI code page, so a name
// in any script reaches the file system as it was typed. Nothing for text that is not UTF-8
// where the system cannot take it as it is.
inline std::optional<std::filesystem::path> PathFromUtf8(std::string_view utf8) {
    try {
        return std::filesystem::path(
            std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The UTF-8 text of a path, for the window and for tests.
inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace kelvara
