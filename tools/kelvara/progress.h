#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kelvara::cli {

// What the transfers of one command have to say on standard error. Each transfer reports its
// stages, its progress and its notes from its own thread; the main thread takes the text to
// write with Flush. On a terminal every port has a bar that Flush redraws in place, with notes
// printed above the bars; elsewhere each stage and note is one line, progress none.
class ProgressBoard {
  public:
    ProgressBoard(std::vector<std::string> labels, bool terminal);

    void Stage(std::size_t port, const std::string& text);
    void Progress(std::size_t port, int done, int total);
    void Note(std::size_t port, const std::string& text);
    void Line(const std::string& text);  // a line of its own, not tied to a port's label

    // The text that brings standard error up to date; columns is the terminal's width (0 when
    // not known), which bar lines are cut to so that the redraw stays in place.
    std::string Flush(int columns);

  private:
    struct Port {
        std::string stage;
        int done = 0;
        int total = 0;
    };
    std::string BarLine(std::size_t port, int columns) const;

    std::mutex mutex_;
    std::vector<std::string> labels_;
    std::vector<Port> ports_;
    std::vector<std::string> lines_;  // stage and note lines not yet written
    bool terminal_;
    bool changed_ = true;
    int drawn_ = 0;  // bar lines on the terminal below the cursor's line start
    std::size_t labelWidth_ = 0;
};

// Columns text takes on a terminal: East Asian wide characters take two.
std::size_t DisplayWidth(std::string_view text);

// The longest start of text that fits in columns, cut at a character boundary.
std::string_view CutToWidth(std::string_view text, std::size_t columns);

}  // namespace kelvara::cli
