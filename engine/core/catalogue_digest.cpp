#include "catalogue_digest.h"

#include "catalogue.h"

namespace vossel {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

PinnedDigest ParseImageDigest(const std::string& value) {
    PinnedDigest pin;
    if (value.empty()) return pin;
    pin.kind = PinnedDigest::kMalformed;
    if (value.size() != kDigestHexLength) return pin;
    Digest bytes{};
    for (size_t i = 0; i < kDigestSize; ++i) {
        const int high = HexValue(value[2 * i]);
        const int low = HexValue(value[2 * i + 1]);
        if (high < 0 || low < 0) return pin;
        bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    pin.kind = PinnedDigest::kValid;
    pin.bytes = bytes;
    return pin;
}

PinnedDigest ReadImageDigest(const ProfileReader& catalogue, const char* biosPartNumber, int entry) {
    const std::string section = CatalogueSection(biosPartNumber);
    if (section.empty() || entry < 0) return PinnedDigest{};
    return ParseImageDigest(ReadProfileValue(catalogue, section, kImageDigestPrefix + std::to_string(entry)));
}

int EntryOfModel(int modelNumber, int newNumbering) {
    return newNumbering == kSecondNumbering ? modelNumber - kSecondNumberingOffset : modelNumber;
}

bool ImageDigestAccepted(const PinnedDigest& pin, const Digest& actual) {
    switch (pin.kind) {
    case PinnedDigest::kNone: return true;
    case PinnedDigest::kValid: return pin.bytes == actual;
    case PinnedDigest::kMalformed: return false;
    }
    return false;
}

std::string DigestHex(const Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(kDigestHexLength);
    for (uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

std::string PinnedDigestHex(const PinnedDigest& pin) {
    return pin.kind == PinnedDigest::kValid ? DigestHex(pin.bytes) : std::string();
}

SignatureShape ClassifySignature(bool present, size_t size) {
    if (!present) return SignatureShape::kAbsent;
    return size == kSignatureSize ? SignatureShape::kWellFormed : SignatureShape::kMalformed;
}

CatalogueVerdict JudgeCatalogue(SignatureShape shape, bool verified, bool haveKeys, bool requireSigned) {
    if (haveKeys && shape != SignatureShape::kAbsent) {
        if (shape == SignatureShape::kWellFormed && verified) return CatalogueVerdict::kAuthenticated;
        return CatalogueVerdict::kRefusedSignature;
    }
    return requireSigned ? CatalogueVerdict::kRefusedUnsigned : CatalogueVerdict::kUnsigned;
}

}  // namespace vossel
