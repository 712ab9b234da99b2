#pragma once

// What the data file tests share: documents to write and read, and a fresh folder on disk.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <tuple>

#include "files/datafile.h"
#include "files/utf8_path.h"

namespace kelvara::files_test {

namespace fs = std::filesystem;

inline auto Fields(const Document& d) {
    return std::tie(d.MaData, d.MaBackup, d.IfData, d.AcData, d.NowPlate, d.PlateCount, d.GameMode,
                    d.ComPort, d.FileName);
}

inline Document StartUp() {
    Document doc;
    InitDocument(doc);
    return doc;
}

// Values unlike the defaults and unlike their neighbours, the 16-bit extremes included.
inline int CellAt(int i) { return i == 5 ? -32768 : i == 6 ? 32767 : i % 3 - 1; }
inline int ConditionAt(int p, int c) { return p == 0 ? -(c + 1) : (p + c) % 3; }
inline int MethodAt(int p) { return p == 0 ? 99 : p % 4; }

inline Document FiftyPlates() {
    Document doc = StartUp();
    std::tie(doc.GameMode, doc.ComPort, doc.PlateCount) = std::tuple(1, 7, 50);
    for (int i = 0; i < kCells; ++i) doc.MaData[i] = static_cast<std::int16_t>(CellAt(i));
    for (int p = 0; p <= kMaxPlates; ++p) {
        for (int c = 0; c < 9; ++c) doc.IfData[p][c] = static_cast<std::int16_t>(ConditionAt(p, c));
        doc.AcData[p] = static_cast<std::int16_t>(MethodAt(p));
    }
    return doc;
}

// A path as the window passes it to the core: UTF-8 on every system.
inline std::string U8(const fs::path& path) { return Utf8FromPath(path); }

// A new, empty folder for each test, removed with everything in it afterwards.
class DataFileDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const fs::path dir =
                fs::temp_directory_path() / ("datafile-test-" + std::to_string(random()));
            if (fs::create_directory(dir)) dir_ = dir;
        }
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(dir_, error);
    }
    static std::string Contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // No temporary file may be left behind.
    long Entries() const { return Entries(dir_); }
    static long Entries(const fs::path& dir) {
        return std::distance(fs::directory_iterator(dir), {});
    }

    fs::path dir_;
};

}  // namespace kelvara::files_test
