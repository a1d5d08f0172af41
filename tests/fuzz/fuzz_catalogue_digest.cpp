// Properties of the digest and signature rules on any input. Input: a flags
// byte (bit 0 the signature file is present, bit 1 the build has keys, bit 2
// the policy asks for signatures, bit 3 a key verified it), then a "SHA256%d"
// value of any bytes. A digest must be read only from exactly 64 hex digits
// and give them back, an image must be taken only under a matching pin, and
// the verdict must authenticate only a verified 64-byte signature.
#include <cstdint>
#include <string>

#include "catalogue_digest.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vossel;
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    const std::string value(reinterpret_cast<const char*>(data + 1), size - 1);

    const PinnedDigest pin = ParseImageDigest(value);
    bool hex = value.size() == kDigestHexLength;
    for (char c : value) {
        hex = hex && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
    }
    FUZZ_CHECK((pin.kind == PinnedDigest::kNone) == value.empty());
    FUZZ_CHECK((pin.kind == PinnedDigest::kValid) == hex);
    if (pin.kind == PinnedDigest::kValid) {
        std::string lower = value;
        for (char& c : lower) c = (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
        FUZZ_CHECK(PinnedDigestHex(pin) == lower);
        FUZZ_CHECK(ImageDigestAccepted(pin, pin.bytes));
        Digest other = pin.bytes;
        other[value.size() % kDigestSize] ^= 0x80;
        FUZZ_CHECK(!ImageDigestAccepted(pin, other));
    } else {
        FUZZ_CHECK(PinnedDigestHex(pin).empty());
        FUZZ_CHECK(ImageDigestAccepted(pin, pin.bytes) == (pin.kind == PinnedDigest::kNone));
    }

    const bool present = (flags & 1) != 0, keys = (flags & 2) != 0, require = (flags & 4) != 0,
               verified = (flags & 8) != 0;
    const SignatureShape shape = ClassifySignature(present, value.size());
    FUZZ_CHECK((shape == SignatureShape::kWellFormed) == (present && value.size() == kSignatureSize));
    const CatalogueVerdict verdict = JudgeCatalogue(shape, verified, keys, require);
    if (verdict == CatalogueVerdict::kAuthenticated) {
        FUZZ_CHECK(keys && verified && shape == SignatureShape::kWellFormed);
    }
    if (verdict == CatalogueVerdict::kUnsigned) FUZZ_CHECK(!require);
    if (keys && present) FUZZ_CHECK(verdict != CatalogueVerdict::kUnsigned && verdict != CatalogueVerdict::kRefusedUnsigned);
    return 0;
}
