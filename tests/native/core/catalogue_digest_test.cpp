#include <gtest/gtest.h>

#include <map>
#include <string>

#include "catalogue_digest.h"

namespace vossel {
namespace {

constexpr char kHex[] = "00112233445566778899aabbccddeeff0123456789ABCDEFfedcba9876543210";

class OneSection : public ProfileReader {
public:
    std::string Get(const std::string& section, const std::string& key) const override {
        if (section != "8IK1100X") return std::string();
        const auto found = values.find(key);
        return found == values.end() ? std::string() : found->second;
    }
    std::map<std::string, std::string> values;
};

TEST(ImageDigest, OnlySixtyFourHexDigitsPinAnImage) {
    struct Case {
        const char* name;
        std::string value;
        PinnedDigest::Kind kind;
    };
    const Case cases[] = {
        {"absent", "", PinnedDigest::kNone},
        {"both cases", kHex, PinnedDigest::kValid},
        {"one digit short", std::string(kHex).substr(1), PinnedDigest::kMalformed},
        {"one digit more", std::string(kHex) + "0", PinnedDigest::kMalformed},
        {"a blank after", std::string(kHex) + " ", PinnedDigest::kMalformed},
        {"a non-hex digit", "g" + std::string(kHex).substr(1), PinnedDigest::kMalformed},
        {"a zero byte inside", std::string(kHex).substr(0, 10) + '\0' + std::string(kHex).substr(11),
         PinnedDigest::kMalformed},
        {"a prefix", "0x" + std::string(kHex).substr(2), PinnedDigest::kMalformed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PinnedDigest pin = ParseImageDigest(c.value);
        EXPECT_EQ(pin.kind, c.kind);
        if (c.kind == PinnedDigest::kValid) {
            EXPECT_EQ(pin.bytes[0], 0x00);
            EXPECT_EQ(pin.bytes[5], 0x55);
            EXPECT_EQ(pin.bytes[10], 0xAA);
            EXPECT_EQ(pin.bytes[31], 0x10);
            EXPECT_EQ(PinnedDigestHex(pin), "00112233445566778899aabbccddeeff0123456789abcdeffedcba9876543210");
        } else {
            EXPECT_EQ(PinnedDigestHex(pin), "");
        }
    }
}

TEST(ImageDigest, TheEntrysOwnKeyInEitherNumberingAndNoOther) {
    OneSection catalogue;
    catalogue.values = {{"SHA2561", kHex}, {"SHA2567", "beef"}};
    EXPECT_EQ(ReadImageDigest(catalogue, "8IK1100X", EntryOfModel(1, 0)).kind, PinnedDigest::kValid);
    EXPECT_EQ(ReadImageDigest(catalogue, "8IK1100X", EntryOfModel(101, 1)).kind, PinnedDigest::kValid)
        << "the second numbering's model 101 is entry 1";
    EXPECT_EQ(ReadImageDigest(catalogue, "8IK1100X", 0).kind, PinnedDigest::kNone);
    EXPECT_EQ(ReadImageDigest(catalogue, "8IK1100X", 7).kind, PinnedDigest::kMalformed);
    EXPECT_EQ(ReadImageDigest(catalogue, "8IK1100Y", 1).kind, PinnedDigest::kNone) << "another board's section";
    EXPECT_EQ(ReadImageDigest(catalogue, "", 1).kind, PinnedDigest::kNone);
    EXPECT_EQ(ReadImageDigest(catalogue, "8IK1100X", -1).kind, PinnedDigest::kNone);
}

TEST(ImageDigest, AnImageIsTakenOnlyUnderAMatchingOrNoPin) {
    const PinnedDigest pin = ParseImageDigest(kHex);
    Digest other = pin.bytes;
    other[31] ^= 1;
    EXPECT_TRUE(ImageDigestAccepted(pin, pin.bytes));
    EXPECT_FALSE(ImageDigestAccepted(pin, other));
    EXPECT_TRUE(ImageDigestAccepted(PinnedDigest{}, other));
    EXPECT_FALSE(ImageDigestAccepted(ParseImageDigest("12"), other));
    PinnedDigest zero_malformed;
    zero_malformed.kind = PinnedDigest::kMalformed;
    EXPECT_FALSE(ImageDigestAccepted(zero_malformed, Digest{})) << "a malformed pin matches nothing, zeros included";
}

TEST(CatalogueSignature, OnlySixtyFourBytesAreASignature) {
    EXPECT_EQ(ClassifySignature(false, 0), SignatureShape::kAbsent);
    EXPECT_EQ(ClassifySignature(true, 64), SignatureShape::kWellFormed);
    for (size_t size : {size_t{0}, size_t{1}, size_t{63}, size_t{65}, size_t{128}, size_t{4096}, size_t{4097}}) {
        EXPECT_EQ(ClassifySignature(true, size), SignatureShape::kMalformed) << size;
    }
}

TEST(CatalogueSignature, ThePolicyTable) {
    using S = SignatureShape;
    using V = CatalogueVerdict;
    struct Case {
        S shape;
        bool verified, keys, require;
        V verdict;
    };
    const Case cases[] = {
        {S::kWellFormed, true, true, false, V::kAuthenticated},
        {S::kWellFormed, true, true, true, V::kAuthenticated},
        {S::kWellFormed, false, true, false, V::kRefusedSignature},  // tampered, or an unknown key
        {S::kMalformed, false, true, false, V::kRefusedSignature},
        {S::kMalformed, true, true, true, V::kRefusedSignature},
        {S::kAbsent, false, true, false, V::kUnsigned},
        {S::kAbsent, false, true, true, V::kRefusedUnsigned},
        // A build without keys cannot tell signatures apart: every catalogue is unsigned.
        {S::kWellFormed, false, false, false, V::kUnsigned},
        {S::kMalformed, false, false, false, V::kUnsigned},
        {S::kWellFormed, false, false, true, V::kRefusedUnsigned},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JudgeCatalogue(c.shape, c.verified, c.keys, c.require), c.verdict)
            << int(c.shape) << c.verified << c.keys << c.require;
    }
}

}  // namespace
}  // namespace vossel
