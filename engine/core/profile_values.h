// How the engine reads one INI value and the numbers in it. The file access
// itself (GetPrivateProfileStringA) stays with the engine; it comes in through
// ProfileReader, and everything decided from the text it returns lives here.
// Portable: no Windows header.
#pragma once

#include <cstddef>
#include <string>

namespace vossel {

// Every value is read into a buffer of this size, so it holds at most
// kProfileValueMaxLength characters.
inline constexpr size_t kProfileValueBufferSize = 255;
inline constexpr size_t kProfileValueMaxLength = kProfileValueBufferSize - 1;

// Numbered key lists ("0", "1", ... or "NEW0", ...) end at the first absent
// key. Choice: a list also ends after this many entries (the largest position
// a 16-bit list-box index holds), so a reader that never reports a key absent
// cannot keep a dialog reading for ever and a position plus 100 stays far
// inside int. Real files stay far below it.
inline constexpr int kMaxNumberedEntries = 32767;

class ProfileReader {
public:
    virtual ~ProfileReader() = default;
    // The value of key in section of one INI file, as GetPrivateProfileStringA
    // with an empty default gives it: empty when the file, the section or the
    // key is missing. Section and key names match without regard to case (the
    // platform reader does that). The text may be longer than the engine's
    // buffer: ReadProfileValue makes the cut, so an implementation may read
    // with a buffer of kProfileValueBufferSize bytes or a larger one.
    virtual std::string Get(const std::string& section, const std::string& key) const = 0;
};

// The value as the engine's 255-byte buffer receives it: up to the first zero
// byte (a buffer ends there), cut to kProfileValueMaxLength bytes. The empty
// text means absent. Choice: bytes are counted, not characters: a multi-byte
// character of the code page that straddles the cut loses its tail, as in a
// fixed buffer; no byte value is treated specially.
std::string ReadProfileValue(const ProfileReader& reader, const std::string& section, const std::string& key);

// The leading decimal integer of text: blanks and tabs, an optional sign,
// digits. No digits read as 0. Choice: a number beyond int reads as INT_MAX or
// INT_MIN (what the platform's atoi gives), never wraps.
int LeadingDecimalInteger(const std::string& text);

// The leading decimal number of text: blanks and tabs, an optional sign,
// digits with an optional fraction, an optional exponent. No number reads as
// 0; hexadecimal, infinity and NaN forms are not numbers ("inf" reads as 0).
// Choice: the conversion does not depend on the process's locale (the point
// is always '.'); a number too large for a double reads as infinity with its
// sign, one too small as 0.
double LeadingDecimalNumber(const std::string& text);

}  // namespace vossel
