#include "device/port_names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kelvara {
namespace {

std::string_view BaseName(std::string_view location) {
    const std::size_t slash = location.find_last_of("/\\");
    return slash == std::string_view::npos ? location : location.substr(slash + 1);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "ttyUSB2" before "ttyUSB10": runs of digits compare by their value.
bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei])) ++ei;
            while (ej < b.size() && IsDigit(b[ej])) ++ej;
            std::string_view da = a.substr(i, ei - i), db = b.substr(j, ej - j);
            while (da.size() > 1 && da.front() == '0') da.remove_prefix(1);
            while (db.size() > 1 && db.front() == '0') db.remove_prefix(1);
            if (da.size() != db.size()) return da.size() < db.size();
            if (da != db) return da < db;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

bool IsUsbAdapter(const PortInfo& port, PortSystem system) {
    if (port.vendorId) return true;
    const std::string_view name = BaseName(port.location);
    switch (system) {
        case PortSystem::kLinux:
            return name.starts_with("ttyUSB") || name.starts_with("ttyACM");
        case PortSystem::kMacOS:
            return name.starts_with("cu.usbserial") || name.starts_with("cu.usbmodem");
        case PortSystem::kWindows:
            break;
    }
    return false;
}

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
    return text;
}

std::string ComLabel(int n) { return "COM" + std::to_string(n); }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The four hex digits after key ("VID_") in a hardware id, if they are there.
std::optional<std::uint16_t> HexAfter(std::string_view id, std::string_view key) {
    std::string upper;
    for (const char c : id) upper += Upper(c);
    const std::size_t at = upper.find(key);
    if (at == std::string::npos || at + key.size() + 4 > upper.size()) return std::nullopt;
    unsigned value = 0;
    for (const char c : upper.substr(at + key.size(), 4)) {
        if (IsDigit(c)) {
            value = value * 16 + static_cast<unsigned>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            value = value * 16 + static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace

PortSystem ThisSystem() {
#if defined(_WIN32)
    return PortSystem::kWindows;
#elif defined(__APPLE__)
    return PortSystem::kMacOS;
#else
    return PortSystem::kLinux;
#endif
}

std::string ComPortName(int n) { return ComLabel(n); }

std::string WindowsComName(std::string_view location) {
    if (location.starts_with("\\\\.\\")) location.remove_prefix(4);
    std::string name;
    for (const char c : location) name += Upper(c);
    const std::string_view digits =
        std::string_view(name).substr(std::min<std::size_t>(3, name.size()));
    if (!name.starts_with("COM") || digits.empty() || digits[0] == '0' ||
        !std::all_of(digits.begin(), digits.end(), IsDigit)) {
        return {};
    }
    return name;
}

PortInfo WindowsPortInfo(std::string_view comName, std::string_view friendlyName,
                         std::string_view manufacturer, std::string_view hardwareId) {
    PortInfo info;
    info.location = std::string(comName);
    std::string_view description = friendlyName;
    const std::string suffix = " (" + std::string(comName) + ")";
    if (description.ends_with(suffix)) description.remove_suffix(suffix.size());
    info.description = std::string(description);
    info.manufacturer = std::string(manufacturer);
    info.vendorId = HexAfter(hardwareId, "VID_");
    info.productId = HexAfter(hardwareId, "PID_");
    if (!info.vendorId || !info.productId) info.vendorId = info.productId = std::nullopt;
    return info;
}

std::vector<PortInfo> OrderPorts(std::vector<PortInfo> ports, PortSystem system) {
    if (system == PortSystem::kMacOS) {
        std::erase_if(ports, [&](const PortInfo& port) {
            const std::string_view name = BaseName(port.location);
            if (!name.starts_with("tty.")) return false;
            const std::string twin = "cu." + std::string(name.substr(4));
            return std::any_of(ports.begin(), ports.end(), [&](const PortInfo& other) {
                return BaseName(other.location) == twin;
            });
        });
    }
    std::stable_sort(ports.begin(), ports.end(), [&](const PortInfo& a, const PortInfo& b) {
        const bool usbA = IsUsbAdapter(a, system), usbB = IsUsbAdapter(b, system);
        if (usbA != usbB) return usbA;
        return NaturalLess(BaseName(a.location), BaseName(b.location));
    });
    return ports;
}

ResolvedPort ResolveComPort(int n, const std::vector<PortInfo>& ports, std::string_view override,
                            PortSystem system) {
    ResolvedPort resolved;
    // Windows lists a port by its device-namespace path ("\\.\COM3"), in any letter case.
    const auto same = [&](std::string_view location, std::string_view device) {
        if (location == device) return true;
        if (system != PortSystem::kWindows) return false;
        const std::string name = WindowsComName(location);
        return !name.empty() && name == WindowsComName(device);
    };
    const auto find = [&](std::string_view device) -> std::optional<PortInfo> {
        for (const PortInfo& port : ports) {
            if (same(port.location, device)) return port;
        }
        return std::nullopt;
    };
    if (!override.empty()) {
        resolved.device = std::string(override);
        resolved.info = find(override);
        resolved.overridden = true;
        return resolved;
    }
    if (system == PortSystem::kWindows) {
        resolved.device = ComPortName(n);
        resolved.info = find(resolved.device);
        return resolved;
    }
    const std::vector<PortInfo> ordered = OrderPorts(ports, system);
    if (n >= 1 && n <= static_cast<int>(ordered.size())) {
        resolved.device = ordered[static_cast<std::size_t>(n - 1)].location;
        resolved.info = ordered[static_cast<std::size_t>(n - 1)];
    }
    return resolved;
}

std::string DescribePort(const PortInfo& info) {
    std::string text = !info.description.empty() ? info.description : info.manufacturer;
    if (info.vendorId && info.productId) {
        if (!text.empty()) text += ' ';
        text += "(" + Hex4(*info.vendorId) + ":" + Hex4(*info.productId) + ")";
    }
    return text;
}

std::string PortToolTip(int n, const ResolvedPort& port) {
    if (port.device.empty()) {
        return ComLabel(n) + " には何も接続されていません";
    }
    std::string what;
    if (port.info) what = DescribePort(*port.info);
    if (port.overridden) {
        what = "KELVARA_COM" + std::to_string(n) + " で指定" +
               (port.missing ? "、見つかりません" : "") + (what.empty() ? "" : "、" + what);
    } else if (!port.info) {
        what = "何も接続されていません";
    }
    return what.empty() ? port.device : port.device + " — " + what;
}

std::vector<ResolvedPort> ResolveComPorts(const std::vector<PortInfo>& ports,
                                          const std::vector<std::string>& overrides,
                                          PortSystem system) {
    std::vector<ResolvedPort> resolved;
    for (int n = 1; n <= 9; ++n) {
        const std::size_t i = static_cast<std::size_t>(n - 1);
        const std::string_view override = i < overrides.size() ? overrides[i] : std::string_view();
        resolved.push_back(ResolveComPort(n, ports, override, system));
    }
    return resolved;
}

std::vector<std::string> PortTable(const std::vector<ResolvedPort>& resolved) {
    std::size_t width = 1;
    for (const ResolvedPort& port : resolved) width = std::max(width, port.device.size());
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < resolved.size(); ++i) {
        const ResolvedPort& port = resolved[i];
        const int n = static_cast<int>(i) + 1;
        const std::string device = port.device.empty() ? "-" : port.device;
        std::string what;
        if (port.info) what = DescribePort(*port.info);
        if (port.overridden) {
            what = "KELVARA_COM" + std::to_string(n) + (port.missing ? "（見つかりません）" : "") +
                   (what.empty() ? "" : ", " + what);
        }
        std::string line = ComLabel(n) + "  " + device;
        if (!what.empty()) line += std::string(width - device.size() + 2, ' ') + what;
        lines.push_back(line);
    }
    return lines;
}

namespace {

// The common reasons in the user's language.
const char* JapaneseReason(PortOpenFailure::Kind kind) {
    switch (kind) {
        case PortOpenFailure::Kind::kPermission:
            return "このデバイスを開く権限がありません";
        case PortOpenFailure::Kind::kBusy:
            return "使用中です";
        case PortOpenFailure::Kind::kNotFound:
            return "そのようなデバイスはありません";
        case PortOpenFailure::Kind::kNotTerminal:
            return "シリアルポート（端末）ではありません";
        default:
            return nullptr;
    }
}

}  // namespace

std::string PortOpenDetails(const PortOpenFailure& failure, PortSystem system) {
    const std::string com = ComLabel(failure.number);
    if (failure.kind == PortOpenFailure::Kind::kNoDevice && failure.number >= 1) {
        return com +
               " には何も接続されていません。Kelvara をつないだ USB シリアルアダプタを差し込んで"
               "から、もう一度やってください。";
    }
    std::string text = "ポート: ";
    if (failure.number < 1) {
        text += failure.device;
    } else {
        text += com;
        if (failure.overridden) {
            text += " (" + failure.device + "、環境変数 KELVARA_COM" +
                    std::to_string(failure.number) + " で指定)";
        } else if (!failure.device.empty() && failure.device != com) {
            text += " (" + failure.device + ")";
        }
    }
    if (!failure.opened.empty()) text += "\n開こうとしたパス: " + failure.opened;
    if (const char* japanese = JapaneseReason(failure.kind)) {
        text += "\n理由: " + std::string(japanese);
        if (!failure.reason.empty()) text += "（" + failure.reason + "）";
    } else if (!failure.reason.empty()) {
        text += "\n理由: " + failure.reason;
    }
    switch (failure.kind) {
        case PortOpenFailure::Kind::kPermission:
            if (system == PortSystem::kLinux && !failure.group.empty()) {
                text += "\nこのポートを使うには、ユーザーを " + failure.group +
                        " グループに加えて（sudo usermod -aG " + failure.group +
                        " $USER）、ログインし直してください。";
            } else if (system == PortSystem::kLinux) {
                text +=
                    "\nこのデバイスを読み書きできるグループはないので、グループに加わっても"
                    "開けません。デバイスの権限を管理者に確かめてもらってください。";
            }
            break;
        case PortOpenFailure::Kind::kBusy:
            text += "\nほかのプログラムがこのポートを使っていないか確かめてください。";
            break;
        case PortOpenFailure::Kind::kNotFound:
            if (failure.overridden) {
                text += "\n環境変数 KELVARA_COM" + std::to_string(failure.number) +
                        " の値を確かめてください。";
            }
            break;
        default:
            break;
    }
    return text;
}

void ClassifyWindowsOpenError(std::uint32_t error, std::string_view systemText,
                              PortOpenFailure& failure) {
    switch (error) {
        case kWinFileNotFound:
        case kWinPathNotFound:
            failure.kind = PortOpenFailure::Kind::kNoDevice;
            failure.reason = "そのポートはありません";
            return;
        case kWinAccessDenied:
            failure.kind = PortOpenFailure::Kind::kBusy;
            failure.reason =
                "アクセスが拒否されました（ほかのプログラムが使用中か、使う権限がありません）";
            return;
        case kWinSharingViolation:
        case kWinBusy:
            failure.kind = PortOpenFailure::Kind::kBusy;
            failure.reason = "ほかのプログラムが使用中です";
            return;
        case kWinNotReady:
        case kWinGenFailure:
        case kWinDeviceNotConnected:
            failure.kind = PortOpenFailure::Kind::kOther;
            failure.reason =
                "デバイスが応答しません（USB シリアルアダプタが外れていないか確かめてください）";
            return;
        default:
            failure.kind = PortOpenFailure::Kind::kOther;
            failure.reason = !systemText.empty() ? std::string(systemText)
                                                 : "Windows のエラー " + std::to_string(error);
            return;
    }
}

}  // namespace kelvara
