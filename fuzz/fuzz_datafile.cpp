// Reading a data file. Whatever the text, the read either loads a document whose plate count the
// arrays can hold, or refuses the file and leaves the document exactly as it was; a loaded
// document writes out and reads back to itself, also into a document that held something else.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "files/datafile.h"
#include "fuzz_support.h"

namespace kelvara::fuzz {
namespace {

// The values a data file carries: the header, the pattern and slots 0..PlateCount.
bool SameFileContent(const Document& a, const Document& b) {
    if (a.GameMode != b.GameMode || a.ComPort != b.ComPort || a.PlateCount != b.PlateCount ||
        a.MaData != b.MaData) {
        return false;
    }
    for (int p = 0; p <= a.PlateCount && p < kPlateSlots; ++p) {
        if (a.IfData[p] != b.IfData[p] || a.AcData[p] != b.AcData[p]) return false;
    }
    return true;
}

void CheckRoundTrip(const Document& loaded) {
    const std::string written = FormatDataFile(loaded);
    Document other = DefaultDocument();
    Require(ReadDataFile(written, other) == LoadStatus::Loaded, "a written file loads");
    Require(SameFileContent(other, loaded), "a written file reads back to the same document");
    Require(FormatDataFile(other) == written, "the read-back document writes the same bytes");
}

void CheckLoad(std::string_view text, const Document& start) {
    Document doc = start;
    const LoadStatus status = ReadDataFile(text, doc);
    Require(status == LoadStatus::Loaded || status == LoadStatus::BadPlateCount,
            "reading text reports Loaded or BadPlateCount");
    if (status != LoadStatus::Loaded) {
        Require(SameDocument(doc, start), "a refused file leaves the document unchanged");
        return;
    }
    Require(doc.PlateCount >= 1 && doc.PlateCount <= kMaxPlates, "1 <= PlateCount <= 50");
    // A text without faults carries every value the reader takes: read into another document
    // it gives the same file.
    if (FindDataFileFaults(text, start.PlateCount).empty()) {
        Document other = DefaultDocument();
        other.MaData.fill(7);
        for (Condition& condition : other.IfData) condition.fill(7);
        other.AcData.fill(7);
        Require(ReadDataFile(text, other) == LoadStatus::Loaded &&
                    FormatDataFile(other) == FormatDataFile(doc),
                "a text without faults reads the same into any document");
    }
    Require(doc.NowPlate == start.NowPlate && doc.MaBackup == start.MaBackup &&
                doc.FileName == start.FileName,
            "a load leaves NowPlate, the backup and the file name to the caller");
    for (int p = doc.PlateCount + 1; p < kPlateSlots; ++p) {
        Require(doc.IfData[p] == start.IfData[p] && doc.AcData[p] == start.AcData[p],
                "plates above the file's count keep their contents");
    }
    // The file command goes to plate 1 after a load; the document is then fit for every index.
    doc.NowPlate = 1;
    Require(PlateIndicesValid(doc), "plate indices valid after a load");
    CheckRoundTrip(doc);
}

}  // namespace
}  // namespace kelvara::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvara::fuzz;
    const std::string_view text = AsText(data, size);
    Mixer mix(text);
    CheckLoad(text, DefaultDocument());
    CheckLoad(text, ValidDocument(mix));
    return 0;
}
