// The device's reply to a read. The read takes a reply only when it is whole and agrees with its
// own count; the document it leaves holds 1..50 plates, the mode the reply names and only values
// the editor could have made. The decoder on its own, given any reply and any document, must
// stay inside its arrays (the sanitizers watch every access) and touch only what a reply carries.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/transfer.h"
#include "device/wire_codec.h"
#include "fuzz_support.h"

namespace kelvara::fuzz {
namespace {

// A port on which the whole reply is waiting at the first poll.
class ReplyLine : public SerialLine {
  public:
    explicit ReplyLine(std::string_view reply) : reply_(reply) {}
    void SelectPort(std::int16_t) override {}
    bool Open() override {
        open_ = true;
        return true;
    }
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    void Write(std::string_view) override {}
    std::string ReadAll() override {
        std::string text(reply_);
        reply_ = {};
        return text;
    }

  private:
    std::string_view reply_;
    bool open_ = false;
};

class QuietHost : public TransferHost {
  public:
    void SetStatus(const std::string&) override {}
    void ArmStatusTimer() override {}
    void ShowPortOpenError() override {}
    void ShowTransferError(const std::string&) override {}
    bool Closing() const override { return false; }
};

// What DecodeReply may change: the mode and count as the count byte says, the pattern, and in
// normal mode the plates 1..min(PlateCount, 50). Everything else stays.
void CheckDecodeAlone(std::string_view reply, const Document& start) {
    Document doc = start;
    DecodeReply(reply, doc);

    const ReplyCount count = DecodeReplyCount(reply);
    switch (count.kind) {
        case ReplyCount::Kind::kLifeGame:
            Require(doc.GameMode == 1 && doc.PlateCount == start.PlateCount,
                    "the life game marker sets life game mode and keeps the count");
            break;
        case ReplyCount::Kind::kPlates:
            Require(count.plates >= 0 && count.plates <= 159, "a count byte reads 0..159");
            Require(doc.GameMode == 0 && doc.PlateCount == count.plates,
                    "a plate count sets normal mode and the count");
            break;
        case ReplyCount::Kind::kUnreadable:
            Require(doc.GameMode == start.GameMode && doc.PlateCount == start.PlateCount,
                    "an unreadable count byte keeps mode and count");
            break;
    }
    Require(doc.NowPlate == start.NowPlate && doc.ComPort == start.ComPort &&
                doc.MaBackup == start.MaBackup && doc.FileName == start.FileName,
            "decoding touches neither NowPlate, the port, the backup nor the file name");
    const int decoded = doc.GameMode == 0 ? doc.PlateCount : 0;
    for (int p = 0; p < kPlateSlots; ++p) {
        if (p >= 1 && p <= decoded) continue;
        Require(doc.IfData[p] == start.IfData[p] && doc.AcData[p] == start.AcData[p],
                "slot 0 and the plates the reply does not carry keep their contents");
    }
    for (int i = 0; i < kCells; ++i) {
        Require(doc.MaData[i] == start.MaData[i] || doc.MaData[i] == kOff || doc.MaData[i] == kOn,
                "a decoded pattern cell is 0 or 1");
    }
}

// The read as the transfer routine runs it, from a document the editor could hold.
void CheckRead(std::string_view reply, const Document& start) {
    Document doc = start;
    ReplyLine line(reply);
    QuietHost host;
    TransferTiming timing;
    timing.pollLimit = 2;  // a reply that is not whole at the first poll never will be
    ComMain transfer(kTransferRead, doc, line, host, timing);
    while (transfer.Resume().kind != TransferWait::Kind::kDone) {
        // The waits cost nothing here: the line holds its whole reply from the start.
    }

    if (!ReplyAcceptable(reply, start)) {
        Require(SameDocument(doc, start), "a refused reply leaves the document unchanged");
        return;
    }
    Document decoded = start;
    DecodeReply(reply, decoded);
    Require(SameDocument(doc, decoded), "an accepted reply is decoded whole");

    Require(doc.PlateCount >= 1 && doc.PlateCount <= kMaxPlates, "1 <= PlateCount <= 50");
    const ReplyCount count = DecodeReplyCount(reply);
    const int mode = count.kind == ReplyCount::Kind::kLifeGame ? 1
                     : count.kind == ReplyCount::Kind::kPlates ? 0
                                                               : start.GameMode;
    Require(doc.GameMode == mode, "the mode is the one the reply names, or the old one");
    Require(ValuesInRange(doc), "an accepted reply leaves only values the editor makes");
    doc.NowPlate = 1;  // the read command goes to plate 1 afterwards
    Require(PlateIndicesValid(doc), "plate indices valid after a read");
}

// The reply a device holding a valid document sends is taken back to that document.
void CheckReplyOfDocument(const Document& held) {
    const std::string reply = ReplyText(held);
    Document doc = DefaultDocument();
    Require(ReplyAcceptable(reply, doc), "the reply of a valid document is acceptable");
    DecodeReply(reply, doc);
    Require(doc.GameMode == held.GameMode && doc.MaData == held.MaData,
            "mode and pattern come back from the reply");
    if (held.GameMode != 0) return;
    Require(doc.PlateCount == held.PlateCount, "the plate count comes back from the reply");
    for (int p = 1; p <= held.PlateCount; ++p) {
        Require(doc.IfData[p] == held.IfData[p] && doc.AcData[p] == held.AcData[p],
                "every plate comes back from the reply");
    }
}

}  // namespace
}  // namespace kelvara::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvara::fuzz;
    const std::string_view reply = AsText(data, size);
    Mixer mix(reply);
    const kelvara::Document defaults = DefaultDocument();
    const kelvara::Document valid = ValidDocument(mix);

    CheckRead(reply, defaults);
    CheckRead(reply, valid);
    CheckDecodeAlone(reply, defaults);
    CheckDecodeAlone(reply, valid);
    CheckDecodeAlone(reply, WildDocument(mix));
    CheckReplyOfDocument(valid);
    return 0;
}
