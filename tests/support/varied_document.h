#pragma once

#include <cstdint>

#include "document/document.h"

namespace kelvara::test {

// A document whose plates all differ, so that a plate in the wrong place shows.
inline Document Varied(int plates) {
    Document doc;
    InitDocument(doc);
    doc.PlateCount = static_cast<std::int16_t>(plates);
    for (int i = 0; i < kCells; ++i) {
        doc.MaData[i] = static_cast<std::int16_t>(i % 5 == 1 || i / 8 == 6);
    }
    for (int p = 1; p <= plates; ++p) {
        for (int c = 0; c < kConditionCells; ++c) {
            doc.IfData[p][c] = static_cast<std::int16_t>((p * 7 + c * (p % 4 + 1)) % 3);
        }
        doc.AcData[p] = static_cast<std::int16_t>((p / 3) % 4);
    }
    return doc;
}

}  // namespace kelvara::test
