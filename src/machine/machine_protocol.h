#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"
#include "simulation/random.h"
#include "simulation/simulation.h"

namespace kelvara::machine {

// The Kelvara machine as the editor meets it on the line, without the line itself: characters
// go in with the time they arrived, and what the machine sends back comes out.
//
// The machine takes the characters two at a time. The first unit of a sequence is
//   "00"          the read request: answered with the framed reply, never with '*';
//   "01".."32"    a plate count in upper-case hexadecimal: a write of that many plates follows;
//   "ff"          life game mode: eight pattern rows follow.
// Every unit of a write is acknowledged with '*': the count, eight rows ("00".."FF", upper
// case), then three units per plate (two condition pair units of the digits 0 1 2 4 5 6 8 9 a,
// then the cell-8-and-method digit 0..b followed by "0"). The document, or life game mode and
// the pattern, is kept only when the last unit has arrived.
//
// Resynchronising: a unit that is not valid where it stands gets no '*'; it ends a write in
// progress, which is dropped as a whole, and the machine waits for a new first unit. A pause on
// the line of more than kResyncPauseMs also drops a half unit and any unfinished write, so that
// a sender that lost its place, or went away in the middle of a write, finds the machine at the
// start again long before the editor gives up waiting for an acknowledgement.
inline constexpr std::int64_t kResyncPauseMs = 500;

// Misbehaviour on request, for testing the editor against a faulty machine.
struct Faults {
    bool silent = false;           // takes everything, sends nothing at all
    std::optional<int> stopAfter;  // sends nothing more after this many acknowledgements
    bool doubleAck = false;        // acknowledges with "**"
    std::string stray;             // sent once, just before the next reply to a read
};

// Something the machine did that its owner may want to show.
struct Event {
    enum class Kind {
        kStored,          // a write completed: `plates` plates, normal mode
        kLifeGameStored,  // life game mode and its pattern completed
        kReplied,         // a read request was answered (or would have been, when silenced)
        kDropped,         // a unit that did not fit, `unit`; any write in progress is gone
        kAbandoned,       // a pause ended an unfinished write or a half unit
    };
    Kind kind;
    int plates = 0;
    std::string unit;  // as it came off the line: any byte at all
};

// The text made safe to show on a terminal: printable ASCII stays, a backslash and a double quote
// get a backslash, and every other byte becomes an escape (\n, \r, \t, else \x1b style), so that
// whatever a sender puts on the line cannot move the cursor, break a line or reset the terminal.
std::string Printable(std::string_view text);

class MachineProtocol {
  public:
    // Starts holding the new document: one plate, all nine cells any, method ON, empty pattern.
    explicit MachineProtocol(Faults faults = {}, std::int64_t resyncPauseMs = kResyncPauseMs);

    // Characters that arrived at nowMs (a monotonic clock in milliseconds); returns the
    // characters the machine sends back.
    std::string Take(std::string_view chars, std::int64_t nowMs);

    // Tells the machine that the line carried something at nowMs (its own sending counts too).
    void LineBusy(std::int64_t nowMs) { lastActivity_ = nowMs; }

    // Drops a half unit or an unfinished write when the line has been quiet for longer than the
    // resync pause. Call it as time passes.
    void Expire(std::int64_t nowMs);

    // True while a write, or a unit, is partly received.
    bool Receiving() const { return stage_ != Stage::kFirstUnit || !half_.empty(); }

    // Runs what the machine holds for one period: one step of the plates in normal mode, one
    // generation in life game mode. Nothing happens while a write is arriving; returns whether
    // a step was made.
    bool Step(RandomSource& random);

    const Document& Held() const { return held_; }

    // The events since the last call, oldest first.
    std::vector<Event> TakeEvents();

  private:
    enum class Stage { kFirstUnit, kRows, kPlates };

    std::string TakeUnit(std::string_view unit);
    std::string Acknowledge();
    std::string Reply();
    void Drop(std::string_view unit);
    void Reset();

    Faults faults_;
    std::int64_t resyncPauseMs_;
    std::int64_t lastActivity_ = 0;
    Document held_;
    SimulationWork work_;

    // The write being received, built on a copy of what is held so that plates above its count
    // stay as they were.
    Stage stage_ = Stage::kFirstUnit;
    std::string half_;
    Document incoming_;
    bool lifeGame_ = false;
    int plates_ = 0;
    int index_ = 0;  // rows: 0..7; plates: unit 0..3 * plates - 1

    int acks_ = 0;
    bool straySent_ = false;
    std::vector<Event> events_;
};

}  // namespace kelvara::machine
