#include "document/document.h"

namespace kelvara {

bool AllData(Document& doc, std::int16_t value) {
    if (value < kOff || value > kAny) return false;
    if (doc.NowPlate < 0 || doc.NowPlate > kMaxPlates) return false;
    doc.IfData[doc.NowPlate].fill(value);
    return true;
}

namespace {
// Step shared by start-up and New: plates 1..50 back to their defaults, empty pattern.
void ResetPlatesAndPattern(Document& doc) {
    for (std::int16_t p = 1; p <= kMaxPlates; ++p) {
        doc.AcData[p] = kMethodOn;
        doc.MaData.fill(kOff);
        doc.NowPlate = p;
        AllData(doc, kAny);
    }
}
}  // namespace

void InitDocument(Document& doc) {
    doc.ComPort = 1;
    doc.GameMode = 0;
    ResetPlatesAndPattern(doc);
    doc.NowPlate = 1;
    doc.PlateCount = 1;
}

void NewDocument(Document& doc) {
    doc.PlateCount = 1;
    doc.GameMode = 0;
    ResetPlatesAndPattern(doc);
    doc.NowPlate = 1;
}

bool PlateIndicesValid(const Document& doc) {
    return doc.PlateCount >= 1 && doc.PlateCount <= kMaxPlates && doc.NowPlate >= 1 &&
           doc.NowPlate <= doc.PlateCount;
}

}  // namespace kelvara
