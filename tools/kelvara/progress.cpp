#include "progress.h"

#include <algorithm>

namespace kelvara::cli {

namespace {

constexpr int kBarCells = 24;

// The code point starting at text[at] and its length in bytes; a stray byte counts as one.
std::pair<char32_t, std::size_t> Decode(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    const std::size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
    if (length == 1 || at + length > text.size()) return {byte, 1};
    char32_t code = byte & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    return {code, length};
}

bool Wide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

std::size_t DisplayWidth(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t at = 0; at < text.size();) {
        const auto [code, length] = Decode(text, at);
        width += Wide(code) ? 2 : 1;
        at += length;
    }
    return width;
}

std::string_view CutToWidth(std::string_view text, std::size_t columns) {
    std::size_t width = 0;
    for (std::size_t at = 0; at < text.size();) {
        const auto [code, length] = Decode(text, at);
        width += Wide(code) ? 2 : 1;
        if (width > columns) return text.substr(0, at);
        at += length;
    }
    return text;
}

ProgressBoard::ProgressBoard(std::vector<std::string> labels, bool terminal)
    : labels_(std::move(labels)), ports_(labels_.size()), terminal_(terminal) {
    for (const std::string& label : labels_) {
        labelWidth_ = std::max(labelWidth_, DisplayWidth(label));
    }
}

void ProgressBoard::Stage(std::size_t port, const std::string& text) {
    const std::lock_guard lock(mutex_);
    ports_[port].stage = text;
    if (!terminal_) lines_.push_back(labels_[port] + ": " + text);
    changed_ = true;
}

void ProgressBoard::Progress(std::size_t port, int done, int total) {
    const std::lock_guard lock(mutex_);
    ports_[port].done = done;
    ports_[port].total = total;
    changed_ = true;
}

void ProgressBoard::Note(std::size_t port, const std::string& text) {
    const std::lock_guard lock(mutex_);
    lines_.push_back(labels_[port] + ": " + text);
    changed_ = true;
}

void ProgressBoard::Line(const std::string& text) {
    const std::lock_guard lock(mutex_);
    lines_.push_back(text);
    changed_ = true;
}

std::string ProgressBoard::BarLine(std::size_t port, int columns) const {
    const Port& state = ports_[port];
    std::string line = labels_[port];
    line += std::string(labelWidth_ - DisplayWidth(labels_[port]) + 2, ' ');
    const int filled =
        state.total > 0 ? std::clamp(state.done * kBarCells / state.total, 0, kBarCells) : 0;
    line += '[' + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(kBarCells - filled), '-') + "] ";
    line += std::to_string(state.done) + '/' +
            (state.total > 0 ? std::to_string(state.total) : std::string("?"));
    if (!state.stage.empty()) line += "  " + state.stage;
    // A line as wide as the terminal would wrap and push the redraw down by one row.
    if (columns > 1) line = std::string(CutToWidth(line, static_cast<std::size_t>(columns - 1)));
    return line;
}

std::string ProgressBoard::Flush(int columns) {
    const std::lock_guard lock(mutex_);
    std::string out;
    if (!terminal_) {
        for (const std::string& line : lines_) out += line + '\n';
        lines_.clear();
        return out;
    }
    if (!changed_) return out;
    if (drawn_ > 0) out += "\x1b[" + std::to_string(drawn_) + "A";
    // Every row written clears what a bar left there, also the rows of a line that holds several.
    for (const std::string& line : lines_) {
        for (std::size_t at = 0; at <= line.size();) {
            const std::size_t end = std::min(line.find('\n', at), line.size());
            out += "\r\x1b[2K" + line.substr(at, end - at) + '\n';
            at = end + 1;
        }
    }
    lines_.clear();
    for (std::size_t port = 0; port < ports_.size(); ++port) {
        out += "\r\x1b[2K" + BarLine(port, columns) + '\n';
    }
    drawn_ = static_cast<int>(ports_.size());
    changed_ = false;
    return out;
}

}  // namespace kelvara::cli
