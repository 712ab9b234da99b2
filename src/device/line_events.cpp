#include "device/line_events.h"

namespace kelvara {

std::optional<std::string> LineEventMessage(int code) {
    switch (code) {
        case kLineEventSent:
        case kLineEventReceived:
        case kLineEventCts:
        case kLineEventDsr:
        case kLineEventCd:
        case kLineEventRing:
        case kLineEventEof:
            return std::nullopt;
        case kLineErrorBreak:
            return "中断信号受信";
        case kLineErrorFrame:
            return "フレームエラー";
        case kLineErrorOverrun:
            return "オーバーランエラー";
        case kLineErrorRxOver:
            return "受信バッファオーバー";
        case kLineErrorParity:
            return "受信パリティエラー";
        case kLineErrorTxFull:
            return "送信バッファフル";
        case kLineErrorDcb:
            return "DCB取得エラー";
        default:
            return "未定義エラー発生";
    }
}

std::vector<int> LineEventsBetween(const LineErrorCounts& before, const LineErrorCounts& now) {
    std::vector<int> codes;
    const auto add = [&](long was, long is, int code) {
        if (is > was) {
            codes.push_back(code);
        }
    };
    add(before.breaks, now.breaks, kLineErrorBreak);
    add(before.frames, now.frames, kLineErrorFrame);
    add(before.overruns, now.overruns, kLineErrorOverrun);
    add(before.bufferOverruns, now.bufferOverruns, kLineErrorRxOver);
    add(before.parities, now.parities, kLineErrorParity);
    return codes;
}

std::vector<int> LineEventsFromCommErrors(std::uint32_t errors) {
    std::vector<int> codes;
    const auto add = [&](std::uint32_t bit, int code) {
        if ((errors & bit) != 0) {
            codes.push_back(code);
        }
    };
    add(kCommBreak, kLineErrorBreak);
    add(kCommFrame, kLineErrorFrame);
    add(kCommOverrun, kLineErrorOverrun);
    add(kCommRxOver, kLineErrorRxOver);
    add(kCommRxParity, kLineErrorParity);
    add(kCommTxFull, kLineErrorTxFull);
    return codes;
}

std::optional<int> LineEventFromWebSerialError(std::string_view name) {
    if (name == "NetworkError") return std::nullopt;
    if (name == "BreakError") return kLineErrorBreak;
    if (name == "FramingError") return kLineErrorFrame;
    if (name == "ParityError") return kLineErrorParity;
    // The browser's own buffer for what the page has not read yet ran over.
    if (name == "BufferOverrunError") return kLineErrorRxOver;
    return kLineErrorUndefined;
}

}  // namespace kelvara
