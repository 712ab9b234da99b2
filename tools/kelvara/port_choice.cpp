#include "port_choice.h"

#include <algorithm>

namespace kelvara::cli {

std::optional<PortChoice> ParsePortChoice(std::string_view text, std::string* error) {
    if (text.empty()) {
        *error = "--port に空の値は指定できません";
        return std::nullopt;
    }
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    const bool comPrefix =
        text.size() > 3 && lower(text[0]) == 'c' && lower(text[1]) == 'o' && lower(text[2]) == 'm';
    const std::string_view digits = comPrefix ? text.substr(3) : std::string_view();
    if (comPrefix &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (digits.size() != 1 || digits[0] == '0') {
            *error = "ポート " + std::string(text) +
                     " はありません。COM1〜COM9 かデバイスのパスを指定してください";
            return std::nullopt;
        }
        const int number = digits[0] - '0';
        return PortChoice{"COM" + std::to_string(number), number, {}};
    }
    return PortChoice{std::string(text), 0, std::string(text)};
}

std::string PortFileLabel(const PortChoice& port) {
    if (port.IsCom()) return port.name;
    std::string_view device = port.device;
    while (device.size() > 1 && device.back() == '/') device.remove_suffix(1);
    const std::size_t slash = device.find_last_of('/');
    return std::string(slash == std::string_view::npos ? device : device.substr(slash + 1));
}

std::string ExpandPortName(std::string_view pattern, const PortChoice& port) {
    const std::string label = PortFileLabel(port);
    std::string out;
    for (std::size_t at = 0;;) {
        const std::size_t found = pattern.find(kPortPlaceholder, at);
        out += pattern.substr(at, found - at);
        if (found == std::string_view::npos) return out;
        out += label;
        at = found + kPortPlaceholder.size();
    }
}

}  // namespace kelvara::cli
