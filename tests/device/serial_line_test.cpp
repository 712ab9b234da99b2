// The transfers through the real QSerialPort, with the device on the master side of a
// pseudo-terminal serviced as the event loop runs.

#include <grp.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <cerrno>
#include <functional>
#include <thread>
#include <vector>

#include "device/low_latency.h"
#include "device/qt_serial_line.h"
#include "device/transfer_pump.h"
#include "device/wire_codec.h"
#include "pty_device.h"

namespace kelvara {
namespace {

// The driver's side of the low-latency setting, with the calls it was given.
struct FakeDriver {
    LowLatency::Control Control() {
        return [this](int fd, unsigned long request, serial_struct* settings) {
            const bool get = request == TIOCGSERIAL;
            calls.push_back(get ? "get" : Set(settings->flags));
            fds.push_back(fd);
            if (const int error = get ? getError : setError; error != 0) {
                errno = error;
                return -1;
            }
            if (get) {
                settings->flags = flags;
            } else {
                flags = settings->flags;
            }
            return 0;
        };
    }
    static std::string Set(int flags) { return "set " + std::to_string(flags); }

    int flags = 0;     // as the driver has them
    int getError = 0;  // refuses TIOCGSERIAL with this
    int setError = 0;  // refuses TIOCSSERIAL with this
    std::vector<std::string> calls;
    std::vector<int> fds;
};

// The window for the transfer; the device answers before each poll.
struct PtyRig : TransferHost {
    explicit PtyRig(LowLatency::Control control = {})
        : line(
              nullptr, [] { return std::vector<PortInfo>{}; }, std::move(control)) {
        InitDocument(doc);
        qputenv("KELVARA_COM1", QByteArray::fromStdString(pty.SlavePath()));
        QObject::connect(&line, &QtSerialLine::lineEvent,
                         [this](int code) { events.push_back(code); });
    }
    TransferResult Run(std::int16_t mode, const TransferTiming& timing = {}) {
        polls = 0;
        ComMain transfer(mode, doc, line, *this, timing);
        const TransferResult result =
            RunTransfer(transfer, &line, [this](const TransferWait& wait) {
                if (wait.kind != TransferWait::Kind::kEvents) return;
                ++polls;
                active->Service();
                if (onPoll) onPoll();
            });
        QCoreApplication::processEvents();  // line events arrive with the next pass
        return result;
    }

    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void ArmStatusTimer() override {}
    void ShowPortOpenError() override { ++portErrors; }
    void ShowTransferError(const std::string&) override {}
    bool Closing() const override { return false; }

    fakes::FakeDevice device;
    fakes::PtyDevice pty{device};
    fakes::PtyDevice* active = &pty;  // the device the polls service
    QtSerialLine line;
    int polls = 0;
    Document doc;
    std::vector<int> events;
    std::vector<std::string> statuses;
    int portErrors = 0;
    std::function<void()> onPoll;
};

void SetRow(Pattern& pattern, int row, std::initializer_list<std::int16_t> cells) {
    std::copy(cells.begin(), cells.end(), pattern.begin() + row * 8);
}

TEST(SerialLineTest, WriteAndLifeGameReachTheDeviceCharacterByCharacter) {
    PtyRig rig;
    ASSERT_TRUE(rig.pty.Ready());
    rig.doc.PlateCount = 2;
    SetRow(rig.doc.MaData, 0, {1, 0, 1, 1, 0, 0, 0, 1});
    SetRow(rig.doc.MaData, 7, {1, 1, 1, 1, 1, 1, 1, 1});
    rig.doc.IfData[1].fill(kOn);
    rig.doc.AcData[1] = kMethodRandom;
    rig.doc.IfData[2] = {0, 1, 2, 0, 1, 2, 0, 1, 2};
    rig.doc.AcData[2] = kMethodInvert;
    rig.Run(kTransferWrite);
    EXPECT_EQ(rig.device.received,
              "02"
              "B1000000000000FF"
              "555570"
              "1861a0");
    EXPECT_EQ(rig.statuses, (std::vector<std::string>{kWriteSendingText, kWriteDoneText}));
    EXPECT_FALSE(rig.line.IsOpen());
    EXPECT_TRUE(rig.events.empty());  // the pty's refusal of RTS is no line event

    rig.Run(kTransferLifeGame);
    EXPECT_EQ(rig.device.received.substr(30),
              "ff"
              "B1000000000000FF");
    EXPECT_EQ(rig.statuses.back(), kLifeGameDoneText);
    EXPECT_TRUE(rig.events.empty());
}

TEST(SerialLineTest, ReadTakesTheDevicesDocument) {
    Document held;
    InitDocument(held);
    held.PlateCount = 3;
    SetRow(held.MaData, 3, {0, 1, 1, 0, 1, 0, 0, 1});
    for (int p = 1; p <= 3; ++p) {
        held.IfData[p] = {
            kOff, kOn, kAny, kOn, kOff, kAny, kAny, kOn, static_cast<std::int16_t>(p - 1)};
        held.AcData[p] = static_cast<std::int16_t>(p);
    }
    PtyRig rig;
    rig.device.reply = ReplyText(held);
    ASSERT_TRUE(rig.pty.Ready());
    rig.Run(kTransferRead);
    EXPECT_EQ(rig.device.received, "00");
    EXPECT_EQ(rig.statuses, (std::vector<std::string>{kReadingText, kReadDoneText}));
    EXPECT_EQ(rig.doc.PlateCount, 3);
    EXPECT_EQ(rig.doc.MaData, held.MaData);
    EXPECT_EQ(rig.doc.IfData, held.IfData);
    EXPECT_EQ(rig.doc.AcData, held.AcData);
}

TEST(SerialLineTest, APortThatDoesNotExistShowsOnlyTheOpenError) {
    PtyRig rig;
    qputenv("KELVARA_COM3", "/nonexistent");
    rig.doc.ComPort = 3;
    EXPECT_EQ(rig.Run(kTransferWrite), TransferResult::kPortOpenFailed);
    qunsetenv("KELVARA_COM3");
    EXPECT_EQ(rig.portErrors, 1);
    EXPECT_TRUE(rig.statuses.empty());
    EXPECT_TRUE(rig.events.empty());
    EXPECT_TRUE(rig.device.received.empty());
    const std::string details = rig.line.OpenErrorDetails();
    EXPECT_NE(details.find("ポート: COM3 (/nonexistent、環境変数 KELVARA_COM3 で指定)\n理由: "),
              std::string::npos)
        << details;

    // No port present at all: COM5 names no device, and the box says so.
    rig.doc.ComPort = 5;
    EXPECT_EQ(rig.Run(kTransferRead), TransferResult::kPortOpenFailed);
    EXPECT_EQ(rig.line.OpenErrorDetails().rfind("COM5 には何も接続されていません", 0), 0u);
}

// The advice names a group only when joining it would help: one that may read and write the
// device and is not the administrator's.
TEST(SerialLineTest, APortTheUserMayNotOpenSaysHowToGetAccess) {
    fakes::FakeDevice device;
    fakes::PtyDevice pty(device);
    ASSERT_TRUE(pty.Ready());
    // Root may open anything: the check runs as nobody, in a child.
    const bool root = ::geteuid() == 0;
    struct stat info {};
    ASSERT_EQ(::stat(pty.SlavePath().c_str(), &info), 0);
    const group* owner = ::getgrgid(info.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string group = owner->gr_name;
    std::vector<std::pair<mode_t, bool>> modes{{root ? 0600 : 0, false}};
    if (root && info.st_gid != 0) modes.push_back({0660, true});
    for (const auto& [mode, joinable] : modes) {
        ASSERT_EQ(::chmod(pty.SlavePath().c_str(), mode), 0);
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(out[0]);
            if (root &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                ::_exit(3);
            }
            QtSerialLine line(nullptr, [] { return std::vector<PortInfo>{}; });
            line.SetDevice(pty.SlavePath());
            const bool opened = line.Open();
            const std::string details = line.OpenErrorDetails();
            const bool written =
                ::write(out[1], details.data(), details.size()) == ssize_t(details.size());
            ::_exit(opened ? 1 : written ? 0 : 2);
        }
        ::close(out[1]);
        std::string details;
        char buffer[512];
        for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) details.append(buffer, n);
        ::close(out[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << details;
        EXPECT_NE(details.find(pty.SlavePath()), std::string::npos) << details;
        EXPECT_NE(details.find("理由: このデバイスを開く権限がありません（"), std::string::npos)
            << details;
        if (joinable) {
            EXPECT_NE(details.find("sudo usermod -aG " + group + " $USER"), std::string::npos)
                << details;
            EXPECT_NE(details.find("ログインし直してください"), std::string::npos) << details;
        } else {
            EXPECT_EQ(details.find("usermod"), std::string::npos) << details;
            EXPECT_NE(details.find("管理者"), std::string::npos) << details;
        }
    }
}

// QSerialPort would look for a name without a leading "/", "./" or "../" under /dev/, and takes
// names as text: a relative path, a relative override and a link whose name is not UTF-8 all
// reach the device they name.
TEST(SerialLineTest, DevicePathsAreTakenAsTyped) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    char* before = ::getcwd(nullptr, 0);
    ASSERT_NE(before, nullptr);
    ASSERT_EQ(::chdir(dir.path().toLocal8Bit().constData()), 0);
    ASSERT_EQ(::mkdir("sims", 0700), 0);
    const std::string names[] = {"sims/m1", "m1", std::string("bad\xff\xfename")};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        PtyRig rig;
        ASSERT_TRUE(rig.pty.Ready());
        ASSERT_EQ(::symlink(rig.pty.SlavePath().c_str(), name.c_str()), 0);
        rig.line.SetDevice(name);
        EXPECT_EQ(rig.Run(kTransferLifeGame), TransferResult::kDone);
        EXPECT_EQ(rig.device.received, "ff" + std::string(16, '0'));
        rig.line.SetDevice("");
        qputenv("KELVARA_COM1", QByteArray::fromStdString(name));
        EXPECT_EQ(rig.Run(kTransferLifeGame), TransferResult::kDone);
        EXPECT_EQ(rig.device.received.size(), 36u);
        ::unlink(name.c_str());
    }
    // Gone: the details name the path that was tried, not one under /dev/.
    PtyRig rig;
    rig.line.SetDevice("sims/m1");
    EXPECT_EQ(rig.Run(kTransferRead), TransferResult::kPortOpenFailed);
    const std::string details = rig.line.OpenErrorDetails();
    EXPECT_NE(details.find("開こうとしたパス: " + dir.path().toStdString() + "/sims/m1\n"),
              std::string::npos)
        << details;
    EXPECT_NE(details.find("理由: そのようなデバイスはありません"), std::string::npos) << details;
    ASSERT_EQ(::chdir(before), 0);
    std::free(before);
}

TEST(SerialLineTest, TheWaitBetweenPollsEndsWhenACharacterArrives) {
    fakes::FakeDevice device;
    fakes::PtyDevice pty(device);
    ASSERT_TRUE(pty.Ready());
    std::vector<int> events;
    QtSerialLine line(nullptr, [] { return std::vector<PortInfo>{}; });
    QObject::connect(&line, &QtSerialLine::lineEvent, [&](int code) { events.push_back(code); });
    line.SetDevice(pty.SlavePath());
    ASSERT_TRUE(line.Open());
    TransferPump pump;
    pump.WatchLine(&line);
    QEventLoop loop;
    const auto wait = [&](int milliseconds) {
        QElapsedTimer clock;
        clock.start();
        pump.Schedule({TransferWait::Kind::kInput, milliseconds}, [&] { loop.quit(); });
        loop.exec();
        return clock.elapsed();
    };
    EXPECT_GE(wait(20), 19);  // nothing comes: the wait runs out, which is no line error
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(line.IsOpen());

    std::thread answer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.Put("*");
    });
    const qint64 waited = wait(5000);
    answer.join();
    EXPECT_LT(waited, 2500);  // it returned with the character, not at the end of the wait
    EXPECT_EQ(line.ReadAll(), "*");
    // A pause is no wait for input: it runs its time whatever arrives.
    pty.Put("*");
    QElapsedTimer clock;
    clock.start();
    pump.Schedule({TransferWait::Kind::kPause, 30}, [&] { loop.quit(); });
    loop.exec();
    EXPECT_GE(clock.elapsed(), 29);
    line.Close();
}

// Low latency is asked for only where it can be put back as it was; the port's other flags stay.
TEST(SerialLineTest, LowLatencyIsAskedForWhereTheDriverHasItAndPutBack) {
    constexpr int kOther = ASYNC_SKIP_TEST;
    constexpr int kLow = ASYNC_LOW_LATENCY;
    const auto set = FakeDriver::Set;
    struct Case {
        const char* what;
        int flags;
        int getError;
        int setError;
        std::vector<std::string> onRequest;
        std::vector<std::string> onRestore;
    };
    const Case cases[] = {
        {"an FTDI adapter", kOther, 0, 0, {"get", set(kOther | kLow)}, {"get", set(kOther)}},
        {"an adapter at low latency already", kOther | kLow, 0, 0, {"get"}, {}},
        {"a pty, which has no such setting", kOther, ENOTTY, 0, {"get"}, {}},
        {"a driver that refuses the change", kOther, 0, EPERM, {"get", set(kOther | kLow)}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeDriver driver;
        driver.flags = c.flags;
        driver.getError = c.getError;
        driver.setError = c.setError;
        LowLatency latency(driver.Control());
        latency.Request(7);
        EXPECT_EQ(driver.calls, c.onRequest);
        driver.calls.clear();
        latency.Restore(7);
        latency.Restore(7);  // once only
        EXPECT_EQ(driver.calls, c.onRestore);
        EXPECT_EQ(driver.flags, c.flags);
        EXPECT_EQ(driver.fds, std::vector<int>(driver.fds.size(), 7));
    }
}

// The device side going away (a pty's master closed, as a USB adapter pulled) is one failure:
// no box, the transfer ends within a poll or two, and the next transfer opens afresh.
TEST(SerialLineTest, ALineThatGoesAwayEndsTheTransferWithoutABox) {
    for (const std::int16_t mode : {kTransferWrite, kTransferRead}) {
        FakeDriver driver;  // as an adapter with a latency timer
        PtyRig rig(driver.Control());
        ASSERT_TRUE(rig.pty.Ready());
        rig.device.answers = [](int unit) { return unit <= 3; };  // read: no reply at all
        int closedAt = 0;
        rig.onPoll = [&] {
            if (closedAt == 0 && rig.polls == 4) {
                rig.pty.CloseMaster();
                closedAt = rig.polls;
            }
        };
        EXPECT_EQ(rig.Run(mode), TransferResult::kLineLost) << mode;
        EXPECT_LE(rig.polls - closedAt, 2) << mode;
        EXPECT_TRUE(rig.events.empty()) << mode;
        EXPECT_EQ(rig.statuses.back(), kTransferRetryText);
        EXPECT_FALSE(rig.line.IsOpen());
        // Its setting was put back on the port before it was closed.
        EXPECT_EQ(driver.calls, (std::vector<std::string>{"get", FakeDriver::Set(ASYNC_LOW_LATENCY),
                                                          "get", FakeDriver::Set(0)}));
        ASSERT_EQ(driver.fds.size(), 4u);
        EXPECT_GE(driver.fds[0], 0);
        EXPECT_EQ(driver.fds, std::vector<int>(4, driver.fds[0]));

        fakes::FakeDevice again;
        fakes::PtyDevice pty(again);
        ASSERT_TRUE(pty.Ready());
        rig.active = &pty;
        qputenv("KELVARA_COM1", QByteArray::fromStdString(pty.SlavePath()));
        rig.onPoll = nullptr;
        EXPECT_EQ(rig.Run(kTransferLifeGame), TransferResult::kDone) << mode;
        EXPECT_EQ(again.received, "ff" + std::string(16, '0'));
        EXPECT_TRUE(rig.events.empty());
    }
}

TEST(SerialLineTest, ComNumbersNameThePortsPresentAndTheOverrideWins) {
    qunsetenv("KELVARA_COM1");
    qunsetenv("KELVARA_COM2");
    const PortLister two = [] {
        return std::vector<PortInfo>{{"/dev/ttyS0", "", "", {}, {}},
                                     {"/dev/ttyUSB0", "CP2102", "Silicon Labs", 0x10c4, 0xea60}};
    };
    EXPECT_EQ(ResolveSystemPort(1, two).device, "/dev/ttyUSB0");
    EXPECT_EQ(ResolveSystemPort(2, two).device, "/dev/ttyS0");
    EXPECT_EQ(ResolveSystemPort(3, two).device, "");
    qputenv("KELVARA_COM2", "/dev/ttyUSB9");
    EXPECT_EQ(ResolveSystemPort(2, two).device, "/dev/ttyUSB9");
    qunsetenv("KELVARA_COM2");
}

}  // namespace
}  // namespace kelvara
