#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "terminal.h"

namespace kelvara::cli {

// What the transfers of one command have to say on standard error. Each transfer reports its
// stages, its progress and its notes as they come; the text to write is taken with Flush. On a
// terminal every port has a bar that Flush redraws in place, with notes and results printed above
// the bars; elsewhere, and on a terminal too small for the bars (more ports than rows, or too
// narrow for a label, a bar and the count), each stage and note is one line and progress none.
class ProgressBoard {
  public:
    ProgressBoard(std::vector<std::string> labels, bool terminal);

    void Stage(std::size_t port, const std::string& text);
    void Progress(std::size_t port, int done, int total);
    void Note(std::size_t port, const std::string& text);
    void Line(const std::string& text);  // a line of its own, not tied to a port's label
    void Ended(std::size_t port);        // the port's transfer is over: its bar goes

    // The text that brings standard error up to date on a terminal of the given size (0 for
    // what it does not say). Bar lines are fitted to the width, less one column so that none
    // wraps: a long label is shortened in its middle before the count would be cut. A change
    // of size redraws the bars, also where the terminal has rewrapped the rows they took.
    std::string Flush(TerminalSize size);

    // The text that takes the bars off the terminal (nothing when none are drawn), so that
    // what is written next, on standard error or standard output, is not drawn over. The next
    // Flush draws them again below it.
    std::string TakeDown(TerminalSize size);

  private:
    struct Port {
        std::string stage;
        int done = 0;
        int total = 0;
        bool ended = false;  // its result line stands above the bars: no bar any more
    };
    struct Pending {
        std::string text;
        bool stage;  // a stage line: shown in the bar instead while bars are drawn
    };
    struct Layout {
        bool bars = false;
        std::size_t label = 0;  // columns of the label
        std::size_t bar = 0;    // cells between the brackets
        std::size_t limit = 0;  // the widest a line may be; 0 for no limit
    };
    Layout Fit(TerminalSize size) const;
    std::string BarLine(std::size_t port, const Layout& layout) const;
    std::string Erase(TerminalSize size);

    std::vector<std::string> labels_;
    std::vector<Port> ports_;
    std::vector<Pending> pending_;  // lines not written yet
    bool terminal_;
    bool changed_ = true;
    std::vector<std::size_t> drawn_;  // the width of each bar line on the terminal now
    TerminalSize drawnSize_;          // the size they were drawn for
    std::size_t labelWidth_ = 0;
};

// Columns text takes on a terminal: East Asian wide characters take two.
std::size_t DisplayWidth(std::string_view text);

// The longest start of text that fits in columns, cut at a character boundary.
std::string_view CutToWidth(std::string_view text, std::size_t columns);

// text in at most columns: its start and its end with "..." between them when it is wider.
std::string ShortenMiddle(std::string_view text, std::size_t columns);

}  // namespace kelvara::cli
