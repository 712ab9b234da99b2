#include "web/web_lines.h"

#include <utility>

#include "device/line_events.h"
#include "web/web_texts.h"

namespace kelvara::web {

WebSerialLine::WebSerialLine(Requests requests, Announce announce,
                             std::function<void(int)> lineEvent)
    : requests_(std::move(requests)),
      announce_(std::move(announce)),
      lineEvent_(std::move(lineEvent)) {}

bool WebSerialLine::Open() {
    if (open_ || opening_) return open_;
    notChosen_ = false;
    lost_ = false;
    received_.clear();
    reported_.clear();
    if (!unavailable_.empty()) {
        details_ = unavailable_;
        return false;
    }
    details_.clear();
    opening_ = true;
    requests_.open();
    return false;
}

void WebSerialLine::Close() {
    if (open_ || opening_) requests_.close();
    open_ = opening_ = false;
    received_.clear();
}

void WebSerialLine::Write(std::string_view text) {
    if (IsOpen()) requests_.write(text);
}

std::string WebSerialLine::ReadAll() {
    if (!IsOpen()) return {};
    return std::exchange(received_, {});
}

void WebSerialLine::Opened() {
    if (!opening_) return;  // given up meanwhile: the page has been asked to close it
    opening_ = false;
    open_ = true;
    announce_();
}

void WebSerialLine::NotChosen() {
    if (!opening_) return;
    opening_ = false;
    notChosen_ = true;
    announce_();
}

void WebSerialLine::OpenFailed(const std::string& errorName, const std::string& errorMessage) {
    if (!opening_) return;
    opening_ = false;
    details_ = PortOpenFailureText(errorName, errorMessage);
    announce_();
}

void WebSerialLine::Received(std::string_view bytes) {
    if (!open_) return;
    received_.append(bytes);
    announce_();
}

void WebSerialLine::ReadFailed(const std::string& errorName) {
    if (!open_) return;
    const std::optional<int> code = LineEventFromWebSerialError(errorName);
    if (!code) {
        Lost();
        return;
    }
    // A line at the wrong speed raises the same error with every character: once per opening.
    if (reported_.insert(*code).second) lineEvent_(*code);
}

void WebSerialLine::Lost() {
    if (!open_) return;
    lost_ = true;
    announce_();
}

MachineLine::MachineLine(machine::MachineProtocol& machine, std::function<std::int64_t()> nowMs,
                         Announce announce)
    : machine_(machine), nowMs_(std::move(nowMs)), announce_(std::move(announce)) {}

void MachineLine::Write(std::string_view text) {
    if (!open_) return;
    pending_ += machine_.Take(text, nowMs_());
    if (!pending_.empty()) announce_();
}

std::string MachineLine::ReadAll() {
    if (!open_) return {};
    return std::exchange(pending_, {});
}

}  // namespace kelvara::web
