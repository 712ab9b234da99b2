#include "web/web_texts.h"

namespace kelvara::web {

std::string PortOpenFailureText(const std::string& errorName, const std::string& errorMessage) {
    std::string reason;
    if (errorName == "InvalidStateError" || errorName == "NetworkError") {
        reason = "ほかのプログラムかタブがこのポートを使っているか、ポートが外されています。";
    } else if (errorName == "SecurityError" || errorName == "NotAllowedError") {
        reason =
            "ブラウザーがこのポートを使わせません。「データ転送」か「データ読み込み」を押して"
            "選び直してください。";
    } else {
        reason = "ブラウザーがポートを開けませんでした。";
    }
    std::string text = "ポート: " + std::string(kSerialItem) + "\n理由: " + reason;
    if (!errorName.empty() || !errorMessage.empty()) {
        text += "（" + errorName + (errorMessage.empty() ? "" : ": " + errorMessage) + "）";
    }
    return text;
}

std::string MachineHolds(const Document& held) {
    if (held.GameMode == 1) return "ライフゲームモード";
    return "通常モード プレート " + std::to_string(held.PlateCount) + " 枚";
}

std::string MachineEventText(const machine::Event& event) {
    using Kind = machine::Event::Kind;
    switch (event.kind) {
        case Kind::kStored:
            return "受け取りました: プレート " + std::to_string(event.plates) + " 枚";
        case Kind::kLifeGameStored:
            return "受け取りました: ライフゲームモード";
        case Kind::kReplied:
            return "送りました: 記憶している内容";
        case Kind::kDropped:
            return "捨てました: 合わない単位 \"" + machine::Printable(event.unit) + "\"";
        case Kind::kAbandoned:
            return "捨てました: 途切れた書き込み";
    }
    return {};
}

}  // namespace kelvara::web
