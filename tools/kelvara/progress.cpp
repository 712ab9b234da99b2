#include "progress.h"

#include <algorithm>

namespace kelvara::cli {

namespace {

constexpr int kBarCells = 24;
constexpr int kBarAtLeast = 8;
constexpr long kCountColumns = 7;     // "320/320": a read has at most 320 characters
constexpr long kLabelShrinksTo = 20;  // before the bar is made shorter
constexpr long kLabelAtLeast = 8;

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

std::string ShortenMiddle(std::string_view text, std::size_t columns) {
    if (DisplayWidth(text) <= columns) return std::string(text);
    constexpr std::string_view kGap = "...";
    if (columns <= kGap.size()) return std::string(CutToWidth(text, columns));
    const std::size_t head = (columns - kGap.size() + 1) / 2;
    const std::size_t tail = columns - kGap.size() - head;
    // The end: the shortest end of the text that is no wider than tail.
    std::size_t from = text.size();
    for (std::size_t at = 0; at < text.size();) {
        if (DisplayWidth(text.substr(at)) <= tail) {
            from = at;
            break;
        }
        at += Decode(text, at).second;
    }
    return std::string(CutToWidth(text, head)) + std::string(kGap) + std::string(text.substr(from));
}

ProgressBoard::ProgressBoard(std::vector<std::string> labels, bool terminal)
    : labels_(std::move(labels)), ports_(labels_.size()), terminal_(terminal) {
    for (const std::string& label : labels_) {
        labelWidth_ = std::max(labelWidth_, DisplayWidth(label));
    }
}

void ProgressBoard::Stage(std::size_t port, const std::string& text) {
    ports_[port].stage = text;
    pending_.push_back({labels_[port] + ": " + text, true});
    changed_ = true;
}

void ProgressBoard::Progress(std::size_t port, int done, int total) {
    ports_[port].done = done;
    ports_[port].total = total;
    changed_ = true;
}

void ProgressBoard::Note(std::size_t port, const std::string& text) {
    pending_.push_back({labels_[port] + ": " + text, false});
    changed_ = true;
}

void ProgressBoard::Line(const std::string& text) {
    pending_.push_back({text, false});
    changed_ = true;
}

void ProgressBoard::Ended(std::size_t port) {
    ports_[port].ended = true;
    changed_ = true;
}

ProgressBoard::Layout ProgressBoard::Fit(TerminalSize size) const {
    Layout layout;
    // The bars and the line below them must all be on the screen, or moving up over them
    // would stop at its top and the redraw would land on what is above.
    if (!terminal_ || (size.rows > 0 && ports_.size() + 1 > static_cast<std::size_t>(size.rows))) {
        return layout;
    }
    layout.bars = true;
    layout.label = labelWidth_;
    layout.bar = kBarCells;
    if (size.columns == 0) return layout;
    // label, two blanks, "[" bar "] ", the count ("320/320" at most); the stage goes last and
    // is cut first.
    const long room = static_cast<long>(size.columns) - 1 - 2 - 3 - kCountColumns;
    const long widest = static_cast<long>(labelWidth_);
    long label = std::min(widest, std::max(room - kBarCells, std::min(widest, kLabelShrinksTo)));
    long bar = std::min<long>(kBarCells, room - label);
    if (bar < kBarAtLeast) {
        bar = kBarAtLeast;
        label = room - bar;
    }
    if (label < std::min(widest, kLabelAtLeast)) {
        layout.bars = false;
        return layout;
    }
    layout.label = static_cast<std::size_t>(label);
    layout.bar = static_cast<std::size_t>(bar);
    layout.limit = static_cast<std::size_t>(size.columns - 1);
    return layout;
}

std::string ProgressBoard::BarLine(std::size_t port, const Layout& layout) const {
    const Port& state = ports_[port];
    std::string line = ShortenMiddle(labels_[port], layout.label);
    line += std::string(layout.label - DisplayWidth(line) + 2, ' ');
    const int cells = static_cast<int>(layout.bar);
    const int filled = state.total > 0 ? std::clamp(state.done * cells / state.total, 0, cells) : 0;
    line += '[' + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(cells - filled), '-') + "] ";
    line += std::to_string(state.done) + '/' +
            (state.total > 0 ? std::to_string(state.total) : std::string("?"));
    if (!state.stage.empty()) line += "  " + state.stage;
    if (layout.limit > 0) line = std::string(CutToWidth(line, layout.limit));
    while (line.back() == ' ') line.pop_back();  // the blanks before a stage cut off
    return line;
}

std::string ProgressBoard::Erase(TerminalSize size) {
    if (drawn_.empty()) return {};
    // A terminal made narrower rewraps a line wider than itself onto several rows.
    const std::size_t columns = static_cast<std::size_t>(size.columns);
    std::size_t rows = 0;
    for (const std::size_t width : drawn_) {
        rows += columns > 0 && width > columns ? (width + columns - 1) / columns : 1;
    }
    if (size.rows > 0) rows = std::min(rows, static_cast<std::size_t>(size.rows - 1));
    drawn_.clear();
    return rows == 0 ? "\r\x1b[J" : "\r\x1b[" + std::to_string(rows) + "A\x1b[J";
}

std::string ProgressBoard::Flush(TerminalSize size) {
    std::string out;
    if (!terminal_) {
        for (const Pending& line : pending_) out += line.text + '\n';
        pending_.clear();
        return out;
    }
    if (!changed_ && size == drawnSize_) return out;
    const Layout layout = Fit(size);
    out = Erase(size);
    for (const Pending& line : pending_) {
        if (!layout.bars || !line.stage) out += line.text + '\n';
    }
    pending_.clear();
    if (layout.bars) {
        for (std::size_t port = 0; port < ports_.size(); ++port) {
            if (ports_[port].ended) continue;
            const std::string line = BarLine(port, layout);
            out += line + '\n';
            drawn_.push_back(DisplayWidth(line));
        }
    }
    drawnSize_ = size;
    changed_ = false;
    return out;
}

std::string ProgressBoard::TakeDown(TerminalSize size) {
    changed_ = true;
    return Erase(size);
}

}  // namespace kelvara::cli
