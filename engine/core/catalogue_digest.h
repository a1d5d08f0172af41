// What a signed catalogue pins and how the engine judges it: the image
// digests of bios.ini ("SHA256%d", 64 hex digits of the image's SHA-256), the
// shape of the signature file bios.ini.sig (the 64-byte r||s of an ECDSA
// P-256 signature over the exact bytes of bios.ini, as fetched: no line-end
// or encoding change), and the policy that accepts or refuses a catalogue.
// The hashing and the signature check are the platform's; these are the
// rules around them. Portable: no Windows header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "profile_values.h"

namespace vossel {

inline constexpr char kSignatureFileName[] = "bios.ini.sig";
inline constexpr char kImageDigestPrefix[] = "SHA256";  // "SHA256%d", n as for "FC%d"

inline constexpr size_t kDigestSize = 32;
inline constexpr size_t kDigestHexLength = 2 * kDigestSize;
inline constexpr size_t kSignatureSize = 64;
// A signature file longer than this is not read to its end.
inline constexpr size_t kMaxSignatureFileSize = 4096;

using Digest = std::array<uint8_t, kDigestSize>;

// The digest a catalogue gives for an image.
struct PinnedDigest {
    enum Kind {
        kNone,       // no "SHA256%d": the image is taken as before
        kValid,      // bytes holds it
        kMalformed,  // present, but not 64 hex digits: no image can match it
    } kind = kNone;
    Digest bytes{};
};

// A "SHA256%d" value: exactly 64 hex digits, either case, nothing around
// them; an empty value is kNone.
PinnedDigest ParseImageDigest(const std::string& value);

// The digest of the board's entry n (its list position, in either
// numbering). A key of an entry that does not exist is never read.
PinnedDigest ReadImageDigest(const ProfileReader& catalogue, const char* biosPartNumber, int entry);

// The list position of a chosen model: ModelNumber less 100 in the second
// numbering.
int EntryOfModel(int modelNumber, int newNumbering);

// Whether an image whose SHA-256 is actual may be used under pin: always
// with kNone, only on equality with kValid, never with kMalformed.
bool ImageDigestAccepted(const PinnedDigest& pin, const Digest& actual);

// 64 lower-case hex digits; "" for a pin that is not kValid.
std::string DigestHex(const Digest& digest);
std::string PinnedDigestHex(const PinnedDigest& pin);

// What came as bios.ini.sig.
enum class SignatureShape {
    kAbsent,      // no such file on the server
    kMalformed,   // empty, longer than kMaxSignatureFileSize, or not 64 bytes
    kWellFormed,  // 64 bytes: r then s, each 32 bytes big-endian
};
// present: the server gave the file; size: its length (a file longer than
// kMaxSignatureFileSize may be given as any larger size).
SignatureShape ClassifySignature(bool present, size_t size);

enum class CatalogueVerdict {
    kAuthenticated,     // a built-in key verified the signature
    kUnsigned,          // used as an unsigned catalogue
    kRefusedSignature,  // a signature that no built-in key verifies, or malformed
    kRefusedUnsigned,   // no signature, and the policy asks for one
};

// The policy. haveKeys: the build carries keys (without any, every catalogue
// is unsigned, whatever signature it has); verified: a built-in key verified
// a well-formed signature over the catalogue's bytes; requireSigned: an
// unsigned catalogue is refused.
CatalogueVerdict JudgeCatalogue(SignatureShape shape, bool verified, bool haveKeys, bool requireSigned);

}  // namespace vossel
