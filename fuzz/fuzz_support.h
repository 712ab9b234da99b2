#pragma once

// Shared pieces of the fuzz targets: a check that aborts with a message, whole-document
// comparison, and the documents each input is tried against.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "document/document.h"

namespace kelvara::fuzz {

// Stops the run with a message when an invariant does not hold; libFuzzer then saves the input.
inline void Require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::abort();
    }
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Every field of the document, the file name included.
inline bool SameDocument(const Document& a, const Document& b) {
    return a.MaData == b.MaData && a.MaBackup == b.MaBackup && a.IfData == b.IfData &&
           a.AcData == b.AcData && a.NowPlate == b.NowPlate && a.PlateCount == b.PlateCount &&
           a.GameMode == b.GameMode && a.ComPort == b.ComPort && a.FileName == b.FileName;
}

// True when the pattern, every plate slot's condition cells and change method, the mode and the
// port hold values the editor itself produces. Plate indices are checked apart
// (PlateIndicesValid), as some steps legitimately leave NowPlate for their caller to set.
inline bool ValuesInRange(const Document& doc) {
    const auto in = [](int v, int low, int high) { return v >= low && v <= high; };
    for (const std::int16_t cell : doc.MaData) {
        if (!in(cell, kOff, kOn)) return false;
    }
    for (int p = 0; p < kPlateSlots; ++p) {
        for (const std::int16_t cell : doc.IfData[p]) {
            if (!in(cell, kOff, kAny)) return false;
        }
        if (!in(doc.AcData[p], kMethodOff, kMethodRandom)) return false;
    }
    return in(doc.GameMode, 0, 1) && in(doc.ComPort, 1, 9);
}

// A small deterministic generator (splitmix64), seeded from the input so that a crash
// reproduces from the saved input alone.
class Mixer {
  public:
    explicit Mixer(std::string_view input) {
        std::uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a
        for (const char c : input) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
        }
        state_ = hash;
    }

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }

    // Uniform enough in low..high for choosing states; the slight bias does not matter here.
    std::int16_t Between(int low, int high) {
        return static_cast<std::int16_t>(low + static_cast<int>(Next() % (high - low + 1)));
    }

  private:
    std::uint64_t state_ = 0;
};

// The document at start-up.
inline Document DefaultDocument() {
    Document doc;
    InitDocument(doc);
    return doc;
}

// A document the editor could hold after some editing: every value in its usual range,
// 1 <= NowPlate <= PlateCount, slot 0 and the unused slots filled as well (a file or an
// earlier document may have left anything valid there), a backup and a file name.
inline Document ValidDocument(Mixer& mix) {
    Document doc;
    for (std::int16_t& cell : doc.MaData) cell = mix.Between(kOff, kOn);
    for (std::int16_t& cell : doc.MaBackup) cell = mix.Between(kOff, kOn);
    for (int p = 0; p < kPlateSlots; ++p) {
        for (std::int16_t& cell : doc.IfData[p]) cell = mix.Between(kOff, kAny);
        doc.AcData[p] = mix.Between(kMethodOff, kMethodRandom);
    }
    doc.PlateCount = mix.Between(1, kMaxPlates);
    doc.NowPlate = mix.Between(1, doc.PlateCount);
    doc.GameMode = mix.Between(0, 1);
    doc.ComPort = mix.Between(1, 9);
    doc.FileName = "/home/user/data/kelvara.dat";
    return doc;
}

// Any 16-bit value in every field: what a document could hold were an invariant ever broken.
// Only for steps that must stay inside the arrays whatever they are given.
inline Document WildDocument(Mixer& mix) {
    const auto any = [&mix] { return static_cast<std::int16_t>(mix.Next()); };
    Document doc;
    for (std::int16_t& cell : doc.MaData) cell = any();
    for (int p = 0; p < kPlateSlots; ++p) {
        for (std::int16_t& cell : doc.IfData[p]) cell = any();
        doc.AcData[p] = any();
    }
    doc.PlateCount = any();
    doc.NowPlate = any();
    doc.GameMode = any();
    doc.ComPort = any();
    return doc;
}

}  // namespace kelvara::fuzz
