#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kelvara::fakes {

// A scripted Kelvara machine: it takes the editor's characters two at a time and answers each
// unit, or answers the read request with a given reply.
struct FakeDevice {
    std::string ack = "*";  // answer to every unit it takes
    std::function<bool(int unit)> answers = [](int) { return true; };  // units count from 1
    std::optional<std::string> reply;  // answer to "00" when it is the first unit
    std::string received;              // every character taken
    int units = 0;

    // Characters from the editor; returns the characters the device sends back.
    std::string Take(std::string_view chars) {
        std::string answer;
        for (const char c : chars) {
            received += c;
            if (received.size() % 2 != 0) {
                continue;
            }
            ++units;
            if (units == 1 && received == "00" && reply) {
                answer += *reply;
            } else if (answers(units)) {
                answer += ack;
            }
        }
        return answer;
    }
};

}  // namespace kelvara::fakes
