#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "port_choice.h"

namespace kelvara::cli {

enum class Command { kNone, kSend, kRead, kRun, kCheck, kPorts };

// The command line, checked: what parsing let through can be carried out as it stands.
struct Options {
    Command command = Command::kNone;
    bool help = false;     // --help: show the command's help (the overview without a command)
    bool version = false;  // --version, before any command
    std::string file;      // send, run, check
    std::vector<PortChoice> ports;      // send, read: COM1 when none was given; ports --probe
    std::optional<std::string> output;  // read -o; several ports: contains "{port}"
    long steps = 1;                     // run --steps
    std::optional<std::uint64_t> seed;  // run --seed
    bool every = false;                 // run --every
    bool keepGoing = false;             // send --keep-going: on after a unit went unanswered
    bool probe = false;                 // ports --probe
    bool lenient = false;               // send, run --lenient: a file read as "開く" reads it
};

inline constexpr long kMaxSteps = 1'000'000;

// Parses argv (argv[0] is the program). On a usage error returns nothing and sets *error to the
// reason in Japanese; the caller adds the hint to --help (HelpHint) and exits with 2.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error);

// The help text of a command; the overview for Command::kNone.
const char* HelpText(Command command);

// "詳しくは kelvara send --help を見てください。"
std::string HelpHint(Command command);

// The command's name as typed: "send"; "" for kNone.
const char* CommandName(Command command);

// The command a name stands for; kNone for any other word.
Command CommandNamed(std::string_view name);

}  // namespace kelvara::cli
