#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "document/document.h"

namespace kelvara {

// The text the device understands. The editor writes hexadecimal digits two to a byte; the
// device acknowledges each byte with '*'. Digits made from numbers (the plate count and the
// pattern rows) are upper case; the condition and method digits are lower case. The device's
// own reply to a read is lower case throughout and framed by '*'.

inline constexpr std::string_view kAck = "*";              // the device has taken one byte
inline constexpr std::string_view kLifeGameMarker = "ff";  // sent in the place of the count
inline constexpr std::string_view kPlateTrailer = "0";     // sixth character of every plate
inline constexpr std::string_view kReadRequest = "00";     // asks the device for its document

// The value of one hexadecimal digit of the line in the given case; the case of every digit is
// part of the format, so a letter of the other case is no digit.
enum class DigitCase { kUpper, kLower };
std::optional<int> HexDigitValue(char c, DigitCase letterCase);

// Plate count byte: "01".."32" for 1..50, upper case; no byte for any other count.
std::optional<std::string> CountByte(std::int16_t count);

// Pattern row byte of row 0..7: two upper-case digits, the leftmost cell of each half row is
// the most significant bit. No byte when a cell of the row is not 0 or 1.
std::optional<std::string> RowByte(const Pattern& pattern, int row);

// Condition pair digit d(a, b) = 4a + b for cells 0..2, lower case.
std::optional<char> PairDigit(std::int16_t a, std::int16_t b);

// Cell-8-and-method digit e(s, m) = 4s + m for cell 8 in 0..2 and method 0..3, lower case.
std::optional<char> CellEightMethodDigit(std::int16_t cell8, std::int16_t method);

// The count byte of a reply (its characters 2 and 3).
struct ReplyCount {
    enum class Kind { kLifeGame, kPlates, kUnreadable };
    Kind kind = Kind::kUnreadable;
    int plates = 0;  // 0..159 for kPlates
};
ReplyCount DecodeReplyCount(std::string_view reply);

// Decodes the device's reply into doc: the count byte (life game marker, or plate count with
// normal mode), the sixteen pattern digits, then in normal mode the plate groups, plate
// PlateCount first. A character that is no lower-case digit leaves the values it would carry
// as they were. A reply shorter than its count is read by the same positions, each field
// taking what there is. Plates above 50 are passed over.
void DecodeReply(std::string_view reply, Document& doc);

// True when reply is a whole reply that may be taken into doc: framed by '*', a count of
// 1..50 (or the marker, or an unreadable count with doc's own count and mode), and exactly
// 6 N + 20 characters for N plates, or at least 20 in life game mode.
bool ReplyAcceptable(std::string_view reply, const Document& doc);

// The reply a device holding doc sends to the read request. A value without a digit gives '?',
// which the decoder passes over.
std::string ReplyText(const Document& doc);

}  // namespace kelvara
