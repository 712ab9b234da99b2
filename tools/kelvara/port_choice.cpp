#include "port_choice.h"

#include <sys/stat.h>

#include <algorithm>

#include "files/datafile.h"

namespace kelvara::cli {

std::optional<PortChoice> ParsePortChoice(std::string_view text, std::string* error,
                                          PortSystem system) {
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
        if (digits.size() == 1 && digits[0] != '0') {
            const int number = digits[0] - '0';
            return PortChoice{"COM" + std::to_string(number), number, {}};
        }
        if (system == PortSystem::kWindows && digits[0] != '0') {
            const std::string name = WindowsComName(text);
            return PortChoice{name, 0, name};
        }
        *error = "ポート " + std::string(text) +
                 " はありません。COM1〜COM9 かデバイスのパスを指定してください";
        return std::nullopt;
    }
    return PortChoice{std::string(text), 0, std::string(text)};
}

std::string PortFileLabel(const PortChoice& port, PortSystem system) {
    if (port.IsCom()) return port.name;
    std::string_view device = port.device;
    const bool windows = system == PortSystem::kWindows;
    if (windows) {
        if (std::string com = WindowsComName(device); !com.empty()) return com;
    }
    const char* separators = windows ? "/\\" : "/";
    while (device.size() > 1 &&
           std::string_view(separators).find(device.back()) != std::string_view::npos) {
        device.remove_suffix(1);
    }
    const std::size_t slash = device.find_last_of(separators);
    return std::string(slash == std::string_view::npos ? device : device.substr(slash + 1));
}

namespace {

std::string Expand(std::string_view pattern, const std::string& label) {
    std::string out;
    for (std::size_t at = 0;;) {
        const std::size_t found = pattern.find(kPortPlaceholder, at);
        out += pattern.substr(at, found - at);
        if (found == std::string_view::npos) return out;
        out += label;
        at = found + kPortPlaceholder.size();
    }
}

}  // namespace

std::string ExpandPortName(std::string_view pattern, const PortChoice& port, PortSystem system) {
    const std::string label = PortFileLabel(port, system);
    std::string out = Expand(pattern, label);
    if (system == PortSystem::kWindows && IsWindowsDeviceName(out) &&
        !IsWindowsDeviceName(std::string(pattern))) {
        out = Expand(pattern, label + "_");
    }
    return out;
}

namespace {

bool IsCharacterDevice(const struct stat& info) {
#if defined(S_ISCHR)
    return S_ISCHR(info.st_mode);
#else
    return (info.st_mode & _S_IFMT) == _S_IFCHR;  // MSVC has the bits but not the macro
#endif
}

// What a port reaches: a key equal for every name of one device, and its real path.
struct Reached {
    std::string key;
    std::string path;
};

std::optional<Reached> Reach(const PortChoice& port, const PortLister& lister) {
    const std::string device =
        port.IsCom() ? ResolveSystemPort(port.number, lister).device : port.device;
    if (device.empty()) return std::nullopt;
    const std::string path = DevicePathToOpen(device);
#if defined(_WIN32)
    // Windows names a port COM3, com3 or \\.\COM3: one key for all of them.
    if (const std::string com = WindowsComName(path); !com.empty())
        return Reached{"com " + com, com};
#endif
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return Reached{"path " + path, path};
    if (IsCharacterDevice(info)) return Reached{"device " + std::to_string(info.st_rdev), path};
    return Reached{"file " + std::to_string(info.st_dev) + " " + std::to_string(info.st_ino), path};
}

}  // namespace

std::vector<std::size_t> FirstOfSameDevice(const std::vector<PortChoice>& ports,
                                           const PortLister& lister) {
    std::vector<std::optional<Reached>> reached;
    std::vector<std::size_t> first;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        reached.push_back(Reach(ports[i], lister));
        first.push_back(i);
        for (std::size_t j = 0; j < i && reached[i]; ++j) {
            if (reached[j] && reached[j]->key == reached[i]->key) {
                first[i] = j;
                break;
            }
        }
    }
    return first;
}

std::optional<std::string> SameDeviceTwice(const std::vector<PortChoice>& ports,
                                           const PortLister& lister) {
    const std::vector<std::size_t> first = FirstOfSameDevice(ports, lister);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (first[i] == i) continue;
        const std::optional<Reached> reached = Reach(ports[i], lister);
        return "ポート " + ports[first[i]].name + " と " + ports[i].name + " は同じデバイス (" +
               (reached ? reached->path : ports[i].name) +
               ") です。一つのデバイスには --port を一度だけ指定してください";
    }
    return std::nullopt;
}

}  // namespace kelvara::cli
