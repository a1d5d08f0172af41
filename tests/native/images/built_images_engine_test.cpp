// The engine's image checks on images from the builder: the Award window,
// which volumes the descriptor search trusts, in which order it tries them,
// and what each broken thing does to the outcome.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "descriptor_search.h"
#include "image_builder.h"
#include "image_checks.h"

namespace {

using namespace vossel::imagebuilder;
using vossel::BiosDescriptorFields;

BiosDescriptorLayout Descriptor(const char* part, uint16_t year, uint8_t month, uint8_t day) {
    BiosDescriptorLayout d;
    d.Part = *MakePartNumber(part);
    d.Year = year;
    d.Month = month;
    d.Day = day;
    return d;
}

// The search's answer, fields included, as one comparable value.
struct Found {
    int Result = 0;
    std::string Part;
    unsigned Year = 0, Month = 0, Day = 0;
    bool operator==(const Found& o) const {
        return Result == o.Result && Part == o.Part && Year == o.Year && Month == o.Month && Day == o.Day;
    }
};
std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << f.Result << " " << f.Part << " " << f.Year << "-" << f.Month << "-" << f.Day;
}

const Found kNotFound{0, "UNTOUCHD", 0xBEEF, 0xBE, 0xEF};

Found Search(const std::vector<uint8_t>& image) {
    BiosDescriptorFields fields;
    std::memcpy(fields.PartNumber, "UNTOUCHD", 8);
    fields.Year = 0xBEEF;
    fields.Month = 0xBE;
    fields.Day = 0xEF;
    const int result = vossel::FindBiosDescriptor(image.data(), uint32_t(image.size()), &fields);
    return {result, std::string(fields.PartNumber, 8), fields.Year, fields.Month, fields.Day};
}

Found Expect(const char* part, unsigned year, unsigned month, unsigned day) { return {1, part, year, month, day}; }

// ------------------------------------------------------------------ Award

TEST(FindAwardSignature, OnlyTheThousandTwentyFourWindowPositionsCount) {
    const struct {
        uint32_t Size;
        std::optional<int64_t> Offset;
        int Found;
    } cases[] = {
        {0x80000, 0, 1},     {0x80000, 1023, 1},    {0x80000, 512, 1},     {0x80000, 1024, 0},
        {0x80000, -1, 0},    {0x80000, std::nullopt, 0}, {0x100000, 1023, 1}, {0x100000, 1024, 0},
        {0x200000, 0, 1},    {0x200000, -1, 0},     {8192, 0, 1},          {8192, 1023, 1},
        // An image shorter than the window distance: the positions inside it
        // still count, those before its start are never looked at.
        {7700, 600, 1},      {7700, 492, 1},        {7700, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Size) + " at " + (c.Offset ? std::to_string(*c.Offset) : "none"));
        AwardImageLayout layout;
        layout.Size = c.Size;
        layout.SignatureOffset = c.Offset;
        layout.Part = *MakePartNumber("3K41ZT01");
        const BuiltImage image = BuildAwardImage(layout);
        ASSERT_TRUE(image.ok()) << image.Error;
        EXPECT_EQ(vossel::FindAwardSignature(image.Bytes.data(), c.Size), c.Found);
    }
}

TEST(FindAwardSignature, CaseAndCompletenessMatter) {
    for (const char* near : {"award", "AWARD", "Awar"}) {
        SCOPED_TRACE(near);
        std::vector<uint8_t> image(0x80000, 0xFF);
        std::memcpy(&image[0x80000 - 8192 + 10], near, std::strlen(near));
        EXPECT_EQ(vossel::FindAwardSignature(image.data(), uint32_t(image.size())), 0);
    }
    // "Award" straddling the image end of a tiny image is not read past it.
    std::vector<uint8_t> tail = {'A', 'w', 'a'};
    EXPECT_EQ(vossel::FindAwardSignature(tail.data(), uint32_t(tail.size())), 0);
}

// ------------------------------------------------------------------ UEFI

constexpr uint32_t kImageSize = 0x100000;

BuiltImage BuildRecipe(const std::vector<ImageBreak>& breaks) {
    UefiRecipe recipe;
    recipe.Size = kImageSize;
    recipe.Descriptor = Descriptor("5R27HX9C", 2012, 1, 12);
    recipe.Breaks = breaks;
    UefiImageLayout layout;
    EXPECT_EQ(DescribeUefiImage(recipe, &layout), "");
    return BuildUefiImage(layout);
}

// What each broken thing does to a one-volume image: whether the volume still
// verifies, and whether its descriptor is found.
TEST(DescriptorSearch, EachBrokenThingDecidesTheOutcome) {
    const Found kGood = Expect("5R27HX9C", 2012, 1, 12);
    const struct {
        std::optional<ImageBreak> Break;
        int Verifies;
        Found Result;
    } cases[] = {
        {std::nullopt, 1, kGood},
        {ImageBreak::VolumeHeaderChecksum, 0, kNotFound},
        {ImageBreak::FileHeaderChecksum, 0, kNotFound},
        {ImageBreak::FileDataChecksum, 0, kNotFound},
        // The stated length bounds the search: past the image end the search
        // stops at the end, short of the descriptor it never gets to it.
        {ImageBreak::VolumeLengthLong, 1, kGood},
        {ImageBreak::VolumeLengthShort, 1, kNotFound},
        // A size of 0 or 0xFFFFFF ends the walk with success; the descriptor's
        // bytes are still inside the volume.
        {ImageBreak::FileSizeZero, 1, kGood},
        {ImageBreak::FileSizeErased, 1, kGood},
        // A file that claims checksums over bytes past the image end cannot
        // pass them.
        {ImageBreak::FileSizePastEnd, 0, kNotFound},
        // Without 0x40 neither checksum byte is looked at.
        {ImageBreak::ChecksumAttributeCleared, 1, kGood},
        {ImageBreak::DescriptorMarker, 1, kNotFound},
        {ImageBreak::DescriptorSignature, 1, kNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Break ? kImageBreakNames[size_t(*c.Break)].Name : "unbroken");
        const BuiltImage image =
            BuildRecipe(c.Break ? std::vector<ImageBreak>{*c.Break} : std::vector<ImageBreak>{});
        ASSERT_TRUE(image.ok()) << image.Error;
        const uint32_t volume = image.Volumes[0].Offset;
        EXPECT_EQ(vossel::VerifyFirmwareVolume(image.Bytes.data(), kImageSize, volume), c.Verifies);
        EXPECT_EQ(Search(image.Bytes), c.Result);
    }
    // The signature is the search's business, not the checksum test's.
    const BuiltImage unsigned_ = BuildRecipe({ImageBreak::VolumeSignature});
    ASSERT_TRUE(unsigned_.ok());
    EXPECT_EQ(Search(unsigned_.Bytes), kNotFound);
}

// A small image of volumes, each holding one file: a descriptor or noise.
struct VolumeAt {
    uint32_t Offset;
    uint32_t Length;
    std::optional<BiosDescriptorLayout> Descriptor;
    std::function<void(FirmwareVolumeLayout&)> Change = nullptr;
};

BuiltImage BuildVolumes(uint32_t size, const std::vector<VolumeAt>& volumes) {
    UefiImageLayout layout;
    layout.Size = size;
    uint32_t seed = 1;
    for (const VolumeAt& at : volumes) {
        FirmwareVolumeLayout v;
        v.Offset = at.Offset;
        v.Length = at.Length;
        FfsFileLayout noise;
        noise.Data = PseudoRandomBytes(100, seed++);
        v.Files.push_back(noise);
        if (at.Descriptor) {
            FfsFileLayout file;
            file.Data = EncodeBiosDescriptor(*at.Descriptor);
            v.Files.push_back(file);
        }
        if (at.Change) at.Change(v);
        layout.Volumes.push_back(v);
    }
    return BuildUefiImage(layout);
}

TEST(DescriptorSearch, TriesVolumesFromTheImageEndBackwards) {
    const BiosDescriptorLayout a = Descriptor("AAAAAAAA", 2011, 12, 26);
    const BiosDescriptorLayout b = Descriptor("BBBBBBBB", 2012, 2, 1);
    BiosDescriptorLayout badMarker = Descriptor("CCCCCCCC", 2013, 3, 3);
    badMarker.Marker = 0x5AA4;
    const auto brokenHeader = [](FirmwareVolumeLayout& v) { v.BreakHeaderChecksum = true; };
    const auto brokenFile = [](FirmwareVolumeLayout& v) { v.Files[0].BreakDataChecksum = true; };

    const struct {
        const char* Name;
        uint32_t Size;
        std::vector<VolumeAt> Volumes;
        Found Result;
    } cases[] = {
        {"the volume nearer the end wins", 0x40000, {{0x10000, 0x1000, a}, {0x3E000, 0x2000, b}},
         Expect("BBBBBBBB", 2012, 2, 1)},
        {"a bad marker sends the search on to earlier volumes", 0x40000,
         {{0x10000, 0x1000, a}, {0x3E000, 0x2000, badMarker}}, Expect("AAAAAAAA", 2011, 12, 26)},
        {"a volume with a wrong header checksum is passed over", 0x40000,
         {{0x10000, 0x1000, a}, {0x3E000, 0x2000, b, brokenHeader}}, Expect("AAAAAAAA", 2011, 12, 26)},
        {"a volume with a wrong file checksum is passed over", 0x40000,
         {{0x10000, 0x1000, a}, {0x3E000, 0x2000, b, brokenFile}}, Expect("AAAAAAAA", 2011, 12, 26)},
        {"the volume at the image start is tried last", 0x40000, {{0, 0x40000, a}}, Expect("AAAAAAAA", 2011, 12, 26)},
        {"a volume not a multiple of 4 KiB from the end is never tried", 0x40000, {{0x3E008, 0x1FF8, a}}, kNotFound},
        {"an image size that is not a multiple of 4 KiB", 0x40000 + 100, {{100, 0x2000, a}},
         Expect("AAAAAAAA", 2011, 12, 26)},
        {"the same image, a volume at a round offset", 0x40000 + 100, {{0, 0x2000, a}}, kNotFound},
        {"a volume of exactly 4 KiB at the image end", 0x1000, {{0, 0x1000, b}}, Expect("BBBBBBBB", 2012, 2, 1)},
        {"no volume", 0x40000, {}, kNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const BuiltImage image = BuildVolumes(c.Size, c.Volumes);
        ASSERT_TRUE(image.ok()) << image.Error;
        EXPECT_EQ(Search(image.Bytes), c.Result);
    }
}

TEST(DescriptorSearch, ABadMarkerAbandonsTheRestOfItsVolume) {
    BiosDescriptorLayout badMarker = Descriptor("CCCCCCCC", 2013, 3, 3);
    badMarker.Marker = 0xA55A;
    const auto goodAfterBad = [](FirmwareVolumeLayout& v) {
        FfsFileLayout good;
        good.Data = EncodeBiosDescriptor(Descriptor("DDDDDDDD", 2014, 4, 4));
        v.Files.push_back(good);
    };
    const BuiltImage alone = BuildVolumes(0x40000, {{0x3E000, 0x2000, badMarker, goodAfterBad}});
    ASSERT_TRUE(alone.ok()) << alone.Error;
    EXPECT_EQ(Search(alone.Bytes), kNotFound);

    const BuiltImage withEarlier = BuildVolumes(
        0x40000, {{0x1000, 0x1000, Descriptor("AAAAAAAA", 2011, 12, 26)}, {0x3E000, 0x2000, badMarker, goodAfterBad}});
    ASSERT_TRUE(withEarlier.ok()) << withEarlier.Error;
    EXPECT_EQ(Search(withEarlier.Bytes), Expect("AAAAAAAA", 2011, 12, 26));
}

// Records and headers cut off by the image end are never read past it (the
// sanitizer build turns a read past the vector into a failure).
TEST(DescriptorSearch, NothingIsReadPastTheImageEnd) {
    const BiosDescriptorLayout record = Descriptor("5R27HX9C", 2012, 1, 12);
    const std::vector<uint8_t> bytes = EncodeBiosDescriptor(record);
    for (uint32_t cut : {4u, 10u, 33u, 44u, 47u}) {
        SCOPED_TRACE(cut);
        BuiltImage image = BuildVolumes(0x2000, {{0, 0x2000, std::nullopt}});
        ASSERT_TRUE(image.ok());
        // The descriptor's first `cut` bytes end the image, in erased space.
        std::copy_n(bytes.begin(), cut, image.Bytes.end() - cut);
        EXPECT_EQ(Search(image.Bytes), kNotFound);
    }
    // The image cut inside the volume header: nothing to verify, no volume.
    const BuiltImage whole = BuildVolumes(0x1000, {{0, 0x1000, record}});
    ASSERT_TRUE(whole.ok());
    EXPECT_EQ(Search(whole.Bytes), Expect("5R27HX9C", 2012, 1, 12));
    for (uint32_t size : {0u, 1u, 40u, 44u, 49u, 71u, 72u, 100u, 0xFFFu}) {
        SCOPED_TRACE(size);
        const std::vector<uint8_t> cut(whole.Bytes.begin(), whole.Bytes.begin() + size);
        EXPECT_EQ(Search(cut), kNotFound);
        const int verified = vossel::VerifyFirmwareVolume(cut.data(), size, 0);
        if (size < 72) EXPECT_EQ(verified, 0);  // beyond: the walk stops at the end, either way in bounds
        EXPECT_EQ(vossel::VerifyFirmwareVolume(cut.data(), size, size), 0);
    }
}

TEST(DescriptorSearch, DecoyVolumesAllVerifyAndOnlyTheFirstHoldsTheDescriptor) {
    const BuiltImage small = BuildDecoyChainImage(0x40000, 512, Descriptor("5R27HX9C", 2012, 1, 12));
    ASSERT_TRUE(small.ok()) << small.Error;
    for (uint32_t v = 0; v < 0x40000; v += 4096)
        ASSERT_EQ(vossel::VerifyFirmwareVolume(small.Bytes.data(), 0x40000, v), 1) << v;
    EXPECT_EQ(Search(small.Bytes), Expect("5R27HX9C", 2012, 1, 12));

    const BuiltImage large = BuildDecoyChainImage(0x400000, 256, Descriptor("5R27HX9C", 2012, 1, 12));
    ASSERT_TRUE(large.ok()) << large.Error;
    EXPECT_EQ(Search(large.Bytes), Expect("5R27HX9C", 2012, 1, 12));
    const BuiltImage none = BuildDecoyChainImage(0x400000, 256, std::nullopt);
    ASSERT_TRUE(none.ok()) << none.Error;
    EXPECT_EQ(Search(none.Bytes), kNotFound);
}

TEST(DescriptorSearch, RealisticImageIsFoundInItsLastTriedVolume) {
    const BuiltImage image = BuildRealisticUefiImage(0x400000, Descriptor("5R27HX9C", 2012, 1, 12));
    ASSERT_TRUE(image.ok()) << image.Error;
    for (const PlacedVolume& v : image.Volumes)
        EXPECT_EQ(vossel::VerifyFirmwareVolume(image.Bytes.data(), uint32_t(image.Bytes.size()), v.Offset), 1);
    EXPECT_EQ(Search(image.Bytes), Expect("5R27HX9C", 2012, 1, 12));
}

}  // namespace
