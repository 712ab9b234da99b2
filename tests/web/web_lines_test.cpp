// The web app's lines without a browser: what the page reports of the serial port becomes the
// open, the failure, the input, the line events and the lost line the transfer routine knows;
// the machine in the page answers at once; the port menu's choice holds for a whole transfer.
#include "web/web_lines.h"

#include <gtest/gtest.h>

#include <vector>

namespace kelvara::web {
namespace {

struct SerialRig {
    std::vector<std::string> asked;  // what the page was asked to do
    int announced = 0;
    std::vector<int> events;
    WebSerialLine line{
        {[this] { asked.push_back("open"); },
         [this](std::string_view text) { asked.push_back("write " + std::string(text)); },
         [this] { asked.push_back("close"); }},
        [this] { ++announced; },
        [this](int code) { events.push_back(code); }};
};

TEST(WebSerialLineTest, ThePagesReportsBecomeWhatTheRoutineSees) {
    SerialRig rig;
    EXPECT_FALSE(rig.line.Open());
    EXPECT_TRUE(rig.line.Opening());
    rig.line.Opened();
    EXPECT_TRUE(rig.line.IsOpen());
    EXPECT_FALSE(rig.line.Opening());
    rig.line.Write("01");
    rig.line.Received("*");
    EXPECT_EQ(rig.line.ReadAll(), "*");
    EXPECT_EQ(rig.announced, 2);  // the open, the input
    // A read error the port survives is a line event, once per opening; the device gone is a
    // lost line.
    rig.line.ReadFailed("FramingError");
    rig.line.ReadFailed("FramingError");
    rig.line.ReadFailed("BreakError");
    EXPECT_EQ(rig.events, (std::vector<int>{1004, 1001}));
    EXPECT_TRUE(rig.line.IsOpen());
    rig.line.ReadFailed("NetworkError");
    EXPECT_FALSE(rig.line.IsOpen());
    rig.line.Close();
    EXPECT_EQ(rig.asked, (std::vector<std::string>{"open", "write 01", "close"}));

    // None chosen; refused with the browser's reason; given up while the page still opens it.
    SerialRig none;
    none.line.Open();
    none.line.NotChosen();
    EXPECT_TRUE(none.line.NoPortChosen());
    EXPECT_FALSE(none.line.IsOpen() || none.line.Opening());
    SerialRig busy;
    busy.line.Open();
    busy.line.OpenFailed("InvalidStateError", "The port is already open.");
    EXPECT_NE(busy.line.OpenErrorDetails().find("ほかのプログラムかタブ"), std::string::npos);
    EXPECT_NE(busy.line.OpenErrorDetails().find("The port is already open."), std::string::npos);
    SerialRig late;
    late.line.Open();
    late.line.Close();
    late.line.Opened();
    EXPECT_FALSE(late.line.IsOpen());
    EXPECT_EQ(late.asked, (std::vector<std::string>{"open", "close"}));
    // A browser without serial ports says so at once, and asks the page nothing.
    SerialRig plain;
    plain.line.SetUnavailable("no serial ports");
    EXPECT_FALSE(plain.line.Open());
    EXPECT_FALSE(plain.line.Opening());
    EXPECT_EQ(plain.line.OpenErrorDetails(), "no serial ports");
    EXPECT_TRUE(plain.asked.empty());
}

TEST(WebSerialLineTest, TheMachineInThePageAndTheRouter) {
    machine::MachineProtocol machine;
    int announced = 0;
    MachineLine simulated(
        machine, [] { return std::int64_t{0}; }, [&] { ++announced; });
    SerialRig rig;
    PortRouter router(rig.line, simulated);
    router.UseMachine(true);
    EXPECT_TRUE(router.Open());
    router.UseMachine(false);  // the menu changed during the transfer: it holds for the next one
    router.Write("00");
    EXPECT_EQ(router.ReadAll().substr(0, 3), "*01");
    EXPECT_EQ(announced, 1);
    router.Close();
    EXPECT_FALSE(router.Open());
    EXPECT_TRUE(router.Opening());
    EXPECT_EQ(rig.asked, (std::vector<std::string>{"open"}));
}

}  // namespace
}  // namespace kelvara::web
