#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "device/transfer.h"
#include "machine/machine_protocol.h"
#include "simulation/random.h"

namespace kelvara::web {

// Tells the web app's event loop that a line has input, or that its opening has ended.
using Announce = std::function<void()>;

// A serial port of the browser (Web Serial), which the page opens, reads and writes; this line
// asks the page for each of those and takes what the page reports. It opens in the background:
// the page may first ask the user which port to use.
class WebSerialLine final : public SerialLine {
  public:
    // What the page is asked to do with the port.
    struct Requests {
        std::function<void()> open;
        std::function<void(std::string_view)> write;
        std::function<void()> close;
    };
    WebSerialLine(Requests requests, Announce announce, std::function<void(int)> lineEvent);

    // Why the browser cannot reach a serial port at all (no Web Serial, not a secure context);
    // empty when it can.
    void SetUnavailable(std::string reason) { unavailable_ = std::move(reason); }

    void SelectPort(std::int16_t) override {}
    bool Open() override;
    bool IsOpen() const override { return open_ && !lost_; }
    void Close() override;
    void Write(std::string_view text) override;
    std::string ReadAll() override;
    std::string OpenErrorDetails() const override { return details_; }
    bool Opening() const override { return opening_; }
    bool NoPortChosen() const override { return notChosen_; }

    // The page's reports. errorName and errorMessage are what the browser raised.
    void Opened();
    void NotChosen();
    void OpenFailed(const std::string& errorName, const std::string& errorMessage);
    void Received(std::string_view bytes);
    void ReadFailed(const std::string& errorName);  // a read of the port raised an error
    void Lost();                                    // the port went away (unplugged)

  private:
    Requests requests_;
    Announce announce_;
    std::function<void(int)> lineEvent_;
    std::string unavailable_;
    bool opening_ = false;
    bool open_ = false;
    bool lost_ = false;
    bool notChosen_ = false;
    std::string details_;
    std::string received_;
    std::set<int> reported_;  // line events reported since the port opened, once each
};

// The Kelvara machine simulated in the page: the line's characters go to the core's machine
// and its answers come back at once, as from a machine on a short wire.
class MachineLine final : public SerialLine {
  public:
    MachineLine(machine::MachineProtocol& machine, std::function<std::int64_t()> nowMs,
                Announce announce);

    void SelectPort(std::int16_t) override {}
    bool Open() override {
        open_ = true;
        return true;
    }
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    void Write(std::string_view text) override;
    std::string ReadAll() override;

  private:
    machine::MachineProtocol& machine_;
    std::function<std::int64_t()> nowMs_;
    Announce announce_;
    bool open_ = false;
    std::string pending_;
};

// The line a transfer uses: the serial port or the machine in the page, as the port menu says
// when the transfer opens it.
class PortRouter final : public SerialLine {
  public:
    PortRouter(SerialLine& serial, SerialLine& machine) : serial_(serial), machine_(machine) {}
    void UseMachine(bool machine) { useMachine_ = machine; }
    bool UsesMachine() const { return useMachine_; }

    void SelectPort(std::int16_t number) override { Active().SelectPort(number); }
    bool Open() override {
        active_ = useMachine_ ? &machine_ : &serial_;
        return active_->Open();
    }
    bool IsOpen() const override { return Active().IsOpen(); }
    void Close() override { Active().Close(); }
    void Write(std::string_view text) override { Active().Write(text); }
    std::string ReadAll() override { return Active().ReadAll(); }
    std::string OpenErrorDetails() const override { return Active().OpenErrorDetails(); }
    bool Opening() const override { return Active().Opening(); }
    bool NoPortChosen() const override { return Active().NoPortChosen(); }

  private:
    SerialLine& Active() const { return active_ != nullptr ? *active_ : serial_; }

    SerialLine& serial_;
    SerialLine& machine_;
    SerialLine* active_ = nullptr;
    bool useMachine_ = false;
};

}  // namespace kelvara::web
