// The image builder writes what it claims: every byte of its output is read
// back here with the test's own layout code and checksums recomputed here.

#include "image_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "firmware_bytes.h"

namespace {

using namespace vossel::imagebuilder;
using namespace fwbytes;

constexpr char kBdr[] = "$BDR";

PartNumber Part(const char* text) { return *MakePartNumber(text); }

BiosDescriptorLayout Descriptor(const char* part, uint16_t year, uint8_t month, uint8_t day) {
    BiosDescriptorLayout d;
    d.Part = Part(part);
    d.Year = year;
    d.Month = month;
    d.Day = day;
    return d;
}

// ------------------------------------------------------------------ Award

struct AwardCase {
    const char* Name;
    uint32_t Size;
    std::optional<int64_t> SignatureOffset;
    uint8_t Filler;
};

TEST(AwardImage, TrailerLandsWhereAskedAndNothingElseChanges) {
    const AwardCase cases[] = {
        {"window start", 0x80000, 0, 0xFF},
        {"window last position", 0x80000, 1023, 0xFF},
        {"one past the window", 0x80000, 1024, 0xFF},
        {"one before the window", 0x100000, -1, 0x00},
        {"no signature", 0x80000, std::nullopt, 0x5A},
        {"image as small as the window distance", 8192, 0, 0xFF},
    };
    for (const AwardCase& c : cases) {
        SCOPED_TRACE(c.Name);
        AwardImageLayout layout;
        layout.Size = c.Size;
        layout.SignatureOffset = c.SignatureOffset;
        layout.Filler = c.Filler;
        layout.Part = Part("3K41ZT01");
        const BuiltImage image = BuildAwardImage(layout);
        ASSERT_TRUE(image.ok()) << image.Error;
        ASSERT_EQ(image.Bytes.size(), c.Size);

        Bytes expected(c.Size, c.Filler);
        if (c.SignatureOffset) {
            const size_t at = size_t(int64_t(c.Size) - 8192 + *c.SignatureOffset);
            std::copy_n("Award", 5, expected.begin() + long(at));
        }
        std::copy_n("3K41ZT01", 8, expected.end() - 24);
        EXPECT_TRUE(image.Bytes == expected);
        EXPECT_EQ(Text(image.Bytes, c.Size - 24, 8), "3K41ZT01");
    }
}

TEST(AwardImage, RefusesTrailersThatDoNotFit) {
    const AwardCase cases[] = {
        {"signature before the image start", 4096, 0, 0xFF},
        {"signature over the part number", 0x80000, 8192 - 24 - 2, 0xFF},
        {"image shorter than the part number", 16, std::nullopt, 0xFF},
    };
    for (const AwardCase& c : cases) {
        SCOPED_TRACE(c.Name);
        AwardImageLayout layout;
        layout.Size = c.Size;
        layout.SignatureOffset = c.SignatureOffset;
        layout.Part = Part("3K41ZT01");
        const BuiltImage image = BuildAwardImage(layout);
        EXPECT_FALSE(image.ok());
        EXPECT_TRUE(image.Bytes.empty());
    }
}

// ------------------------------------------------------------------ UEFI

TEST(BiosDescriptorRecord, FieldsAtTheirOffsets) {
    const Bytes record = EncodeBiosDescriptor(Descriptor("5R27HX9C", 2012, 1, 12));
    ASSERT_EQ(record.size(), 48u);
    EXPECT_EQ(Text(record, 0, 4), "$BDR");
    EXPECT_EQ(Le16(record, 8), 0x5AA5u);
    EXPECT_EQ(Text(record, 32, 8), "5R27HX9C");
    EXPECT_EQ(Le16(record, 44), 2012u);
    EXPECT_EQ(record[46], 1);
    EXPECT_EQ(record[47], 12);
}

// Two volumes, files of awkward sizes (so padding shows), one without 0x40.
UefiImageLayout TwoVolumeLayout() {
    UefiImageLayout layout;
    layout.Size = 0x40000;
    layout.Filler = 0x00;  // apart from the volumes' erased 0xFF
    FirmwareVolumeLayout low;
    low.Offset = 0x10000;
    low.Length = 0x8000;
    for (size_t dataSize : {size_t(1), size_t(13), size_t(48), size_t(1000)}) {
        FfsFileLayout f;
        f.Data = PseudoRandomBytes(dataSize, uint32_t(dataSize));
        low.Files.push_back(f);
    }
    low.Files[1].Attributes = 0x00;
    low.Files[1].Type = 0xF0;
    FirmwareVolumeLayout high;
    high.Offset = 0x3F000;
    high.Length = 0x1000;
    FfsFileLayout d;
    d.Data = EncodeBiosDescriptor(Descriptor("5R27HX9C", 2012, 1, 12));
    high.Files.push_back(d);
    layout.Volumes = {high, low};  // order of the layout is kept, whatever the offsets
    return layout;
}

TEST(UefiImage, VolumeHeadersFilesAndPaddingAreStandard) {
    const UefiImageLayout layout = TwoVolumeLayout();
    const BuiltImage image = BuildUefiImage(layout);
    ASSERT_TRUE(image.ok()) << image.Error;
    const Bytes& b = image.Bytes;
    ASSERT_EQ(b.size(), layout.Size);
    ASSERT_EQ(image.Volumes.size(), layout.Volumes.size());

    Bytes accounted(b.size(), 0);  // 1 where a volume put the byte
    for (size_t vi = 0; vi < layout.Volumes.size(); ++vi) {
        SCOPED_TRACE("volume " + std::to_string(vi));
        const FirmwareVolumeLayout& v = layout.Volumes[vi];
        const size_t at = v.Offset;
        EXPECT_EQ(image.Volumes[vi].Offset, v.Offset);
        EXPECT_EQ(Text(b, at + kFvSignature, 4), "_FVH");
        EXPECT_EQ(Le64(b, at + kFvLength), v.Length);
        EXPECT_EQ(Le16(b, at + kFvHeaderLength), 72u);
        EXPECT_EQ(VolumeHeaderWordSum(b, at), 0u);
        // The checksum word is the standard one at +50: with it zeroed, the
        // header sums to its complement.
        Bytes zeroed = b;
        zeroed[at + kFvChecksum] = zeroed[at + kFvChecksum + 1] = 0;
        EXPECT_EQ(uint16_t(VolumeHeaderWordSum(zeroed, at) + Le16(b, at + kFvChecksum)), 0u);

        // Files follow the header back to back at 8-byte steps; 0xFF between
        // them and after the last.
        size_t expectedAt = at + 72;
        ASSERT_EQ(image.Volumes[vi].Files.size(), v.Files.size());
        for (size_t fi = 0; fi < v.Files.size(); ++fi) {
            SCOPED_TRACE("file " + std::to_string(fi));
            const FfsFileLayout& f = v.Files[fi];
            const size_t file = image.Volumes[vi].Files[fi].Offset;
            const uint32_t size = uint32_t(24 + f.Data.size());
            EXPECT_EQ(file, expectedAt);
            EXPECT_EQ((file - at) % 8, 0u);
            EXPECT_EQ(Le24(b, file + kFileSize), size);
            EXPECT_EQ(b[file + kFileType], f.Type);
            EXPECT_EQ(b[file + kFileAttributes], f.Attributes);
            EXPECT_EQ(b[file + kFileState], 0xF8);
            EXPECT_EQ(FileHeaderSum(b, file), 0);
            if (f.Attributes & kCarriesChecksums) EXPECT_EQ(FileDataSum(b, file, size), 0);
            else EXPECT_EQ(b[file + kFileDataSum], 0xAA);
            EXPECT_TRUE(std::equal(f.Data.begin(), f.Data.end(), b.begin() + long(file + 24)));
            const size_t padded = (size + 7) / 8 * 8;
            for (size_t i = size; i < padded; ++i) EXPECT_EQ(b[file + i], 0xFF) << "padding at " << i;
            std::fill_n(accounted.begin() + long(file), padded, 1);
            expectedAt = file + padded;
        }
        std::fill_n(accounted.begin() + long(at), 72, 1);
        EXPECT_EQ(WalkFiles(b, at).size(), v.Files.size());
        for (size_t i = at; i < at + v.Length; ++i)
            if (!accounted[i]) ASSERT_EQ(b[i], 0xFF) << "erased space at " << i;
        std::fill_n(accounted.begin() + long(at), v.Length, 1);
    }
    for (size_t i = 0; i < b.size(); ++i)
        if (!accounted[i]) ASSERT_EQ(b[i], 0x00) << "filler at " << i;
}

TEST(UefiImage, RefusesLayoutsThatDoNotFit) {
    struct Case {
        const char* Name;
        std::function<void(UefiImageLayout&)> Change;
    };
    const Case cases[] = {
        {"volumes overlap", [](UefiImageLayout& s) { s.Volumes[0].Offset = 0x17000; }},
        {"volume past the image end", [](UefiImageLayout& s) { s.Volumes[0].Length = 0x1001; }},
        {"volume shorter than its header", [](UefiImageLayout& s) { s.Volumes[0].Length = 71; }},
        {"files longer than the volume", [](UefiImageLayout& s) { s.Volumes[0].Files[0].Data.resize(0x1000); }},
        {"file beyond a 24-bit size",
         [](UefiImageLayout& s) {
             s.Size = 0x2000000;
             s.Volumes = {FirmwareVolumeLayout{0, 0x2000000, {FfsFileLayout{}}, std::nullopt, false, false}};
             s.Volumes[0].Files[0].Data.resize(0xFFFFFF);
         }},
        {"size past the end beyond 24 bits",
         [](UefiImageLayout& s) {
             s.Size = 0x2000000;
             s.Volumes = {FirmwareVolumeLayout{0, 0x1000, {FfsFileLayout{}}, std::nullopt, false, false}};
             s.Volumes[0].Files[0].SizeField = FileSizeField::PastImageEnd;
         }},
        {"empty image", [](UefiImageLayout& s) { s.Size = 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        UefiImageLayout layout = TwoVolumeLayout();
        c.Change(layout);
        const BuiltImage image = BuildUefiImage(layout);
        EXPECT_FALSE(image.ok());
        EXPECT_TRUE(image.Bytes.empty());
    }
}

// What the test sees in the descriptor's volume and file of a recipe image.
struct Reading {
    bool VolumeSignature = false;
    bool VolumeHeaderSum = false;
    uint64_t StatedLength = 0;
    bool FileHeaderSum = false;
    bool FileDataSum = false;
    uint32_t SizeField = 0;
    bool CarriesChecksums = false;
    bool DescriptorSignature = false;
    uint32_t Marker = 0;
    std::string Part;
    bool operator==(const Reading& o) const {
        return VolumeSignature == o.VolumeSignature && VolumeHeaderSum == o.VolumeHeaderSum &&
               StatedLength == o.StatedLength && FileHeaderSum == o.FileHeaderSum && FileDataSum == o.FileDataSum &&
               SizeField == o.SizeField && CarriesChecksums == o.CarriesChecksums &&
               DescriptorSignature == o.DescriptorSignature && Marker == o.Marker && Part == o.Part;
    }
};

std::ostream& operator<<(std::ostream& os, const Reading& r) {
    return os << "{fvh " << r.VolumeSignature << ", header sum " << r.VolumeHeaderSum << ", length " << r.StatedLength
              << ", file header sum " << r.FileHeaderSum << ", file data sum " << r.FileDataSum << ", size "
              << r.SizeField << ", 0x40 " << r.CarriesChecksums << ", $BDR " << r.DescriptorSignature << ", marker "
              << r.Marker << ", part " << r.Part << "}";
}

constexpr uint32_t kRecipeSize = 0x100000;
constexpr uint32_t kRecipeVolume = 0xF0000;  // the default: the last 64 KiB

BuiltImage BuildRecipe(std::vector<ImageBreak> breaks) {
    UefiRecipe recipe;
    recipe.Size = kRecipeSize;
    recipe.Descriptor = Descriptor("5R27HX9C", 2012, 1, 12);
    recipe.Breaks = std::move(breaks);
    UefiImageLayout layout;
    const std::string why = DescribeUefiImage(recipe, &layout);
    EXPECT_EQ(why, "");
    return BuildUefiImage(layout);
}

Reading Read(const BuiltImage& image) {
    const Bytes& b = image.Bytes;
    const PlacedFile file = image.Volumes.at(0).Files.at(1);
    const size_t record = file.Offset + 24;
    Reading r;
    r.VolumeSignature = Text(b, kRecipeVolume + kFvSignature, 4) == "_FVH";
    r.VolumeHeaderSum = VolumeHeaderWordSum(b, kRecipeVolume) == 0;
    r.StatedLength = Le64(b, kRecipeVolume + kFvLength);
    r.FileHeaderSum = FileHeaderSum(b, file.Offset) == 0;
    r.FileDataSum = FileDataSum(b, file.Offset, file.Size) == 0;
    r.SizeField = Le24(b, file.Offset + kFileSize);
    r.CarriesChecksums = b[file.Offset + kFileAttributes] & kCarriesChecksums;
    r.DescriptorSignature = Text(b, record, 4) == "$BDR";
    r.Marker = Le16(b, record + 8);
    r.Part = Text(b, record + 32, 8);
    return r;
}

// Each break spoils its one thing and leaves every other check right.
TEST(UefiRecipe, EachBreakSpoilsExactlyItsOwnThing) {
    const BuiltImage good = BuildRecipe({});
    ASSERT_TRUE(good.ok()) << good.Error;
    ASSERT_EQ(good.Volumes.size(), 1u);
    ASSERT_EQ(good.Volumes[0].Offset, kRecipeVolume);
    ASSERT_EQ(good.Volumes[0].Files.size(), 2u);
    const Reading base = Read(good);
    const Reading expectedBase{true, true, 0x10000, true, true, 72, true, true, 0x5AA5, "5R27HX9C"};
    ASSERT_EQ(base, expectedBase);
    const uint32_t fileOffsetInVolume = good.Volumes[0].Files[1].Offset - kRecipeVolume;

    struct Case {
        ImageBreak Break;
        std::function<void(Reading&)> Expect;
        bool AlsoFileHeaderSumBreaks = false;  // the file's header sum covers its size and attributes
    };
    const Case cases[] = {
        {ImageBreak::VolumeHeaderChecksum, [](Reading& r) { r.VolumeHeaderSum = false; }},
        {ImageBreak::VolumeSignature, [](Reading& r) { r.VolumeSignature = false; }},
        {ImageBreak::VolumeLengthLong, [](Reading& r) { r.StatedLength = 0x10000 + 0x1000; }},
        {ImageBreak::VolumeLengthShort, [&](Reading& r) { r.StatedLength = fileOffsetInVolume; }},
        {ImageBreak::FileHeaderChecksum, [](Reading& r) { r.FileHeaderSum = false; }},
        {ImageBreak::FileDataChecksum, [](Reading& r) { r.FileDataSum = false; }},
        {ImageBreak::FileSizeZero, [](Reading& r) { r.SizeField = 0; }},
        {ImageBreak::FileSizeErased, [](Reading& r) { r.SizeField = 0xFFFFFF; }},
        {ImageBreak::FileSizePastEnd,
         [&](Reading& r) { r.SizeField = kRecipeSize - (kRecipeVolume + fileOffsetInVolume) + 8; }},
        {ImageBreak::ChecksumAttributeCleared,
         [](Reading& r) {
             r.CarriesChecksums = false;
             r.FileHeaderSum = false;
             r.FileDataSum = false;
         }},
        {ImageBreak::DescriptorMarker, [](Reading& r) { r.Marker = 0x5AA4; }},
        {ImageBreak::DescriptorSignature, [](Reading& r) { r.DescriptorSignature = false; }},
    };
    static_assert(std::size(cases) == std::size(kImageBreakNames), "every break has a case");
    for (const Case& c : cases) {
        SCOPED_TRACE(kImageBreakNames[size_t(c.Break)].Name);
        EXPECT_EQ(kImageBreakNames[size_t(c.Break)].Break, c.Break);
        const BuiltImage broken = BuildRecipe({c.Break});
        ASSERT_TRUE(broken.ok()) << broken.Error;
        Reading expected = base;
        c.Expect(expected);
        EXPECT_EQ(Read(broken), expected);
        // Nothing outside the descriptor's file and volume header moves.
        size_t differing = 0;
        for (size_t i = 0; i < kRecipeSize; ++i) differing += good.Bytes[i] != broken.Bytes[i];
        EXPECT_LE(differing, 8u);
        EXPECT_GE(differing, 1u);
    }
}

TEST(UefiRecipe, VolumesRunToTheNextVolumeOrTheImageEnd) {
    UefiRecipe recipe;
    recipe.Size = 0x800000;
    recipe.Descriptor = Descriptor("5R27HX9C", 2012, 1, 12);
    recipe.VolumeOffsets = {0x7F0000, 0x100000, 0};
    recipe.DescriptorVolume = 1;
    UefiImageLayout layout;
    ASSERT_EQ(DescribeUefiImage(recipe, &layout), "");
    const BuiltImage image = BuildUefiImage(layout);
    ASSERT_TRUE(image.ok()) << image.Error;
    const struct {
        size_t Offset;
        uint64_t Length;
        size_t Files;
    } expected[] = {{0x7F0000, 0x10000, 1}, {0x100000, 0x6F0000, 2}, {0, 0x100000, 1}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.Offset);
        EXPECT_EQ(Le64(image.Bytes, e.Offset + kFvLength), e.Length);
        EXPECT_EQ(VolumeHeaderWordSum(image.Bytes, e.Offset), 0u);
        EXPECT_EQ(WalkFiles(image.Bytes, e.Offset).size(), e.Files);
    }
    const auto record = std::search(image.Bytes.begin(), image.Bytes.end(), kBdr, kBdr + 4);
    ASSERT_NE(record, image.Bytes.end());
    EXPECT_GT(size_t(record - image.Bytes.begin()), 0x100000u);
    EXPECT_LT(size_t(record - image.Bytes.begin()), 0x101000u);
}

TEST(UefiRecipe, RefusesWhatCannotBeLaidOut) {
    struct Case {
        const char* Name;
        std::function<void(UefiRecipe&)> Change;
    };
    const Case cases[] = {
        {"descriptor volume index past the list", [](UefiRecipe& r) { r.DescriptorVolume = 1; }},
        {"volume offset outside the image", [](UefiRecipe& r) { r.VolumeOffsets = {0x100000}; }},
        {"two volumes at one offset", [](UefiRecipe& r) { r.VolumeOffsets = {0x1000, 0x1000}; }},
        {"breaks with nothing to break",
         [](UefiRecipe& r) {
             r.WithDescriptor = false;
             r.Breaks = {ImageBreak::DescriptorMarker};
         }},
        {"empty image", [](UefiRecipe& r) { r.Size = 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        UefiRecipe recipe;
        recipe.Size = kRecipeSize;
        c.Change(recipe);
        UefiImageLayout layout;
        EXPECT_NE(DescribeUefiImage(recipe, &layout), "");
    }
    // A volume too small for its two files is refused when built.
    UefiRecipe cramped;
    cramped.Size = kRecipeSize;
    cramped.VolumeOffsets = {0x1000, 0x1100};
    UefiImageLayout layout;
    ASSERT_EQ(DescribeUefiImage(cramped, &layout), "");
    EXPECT_FALSE(BuildUefiImage(layout).ok());
}

// ------------------------------------------------------------ the benchmark inputs

TEST(DecoyChainImage, EveryFourKiBHoldsAVolumeThatWalksTheWholeChain) {
    constexpr uint32_t kSize = 0x40000;
    for (uint32_t fileSize : {512u, 200u, 72u, 2048u}) {
        SCOPED_TRACE(fileSize);
        const BuiltImage image = BuildDecoyChainImage(kSize, fileSize, Descriptor("5R27HX9C", 2012, 1, 12));
        ASSERT_TRUE(image.ok()) << image.Error;
        const Bytes& b = image.Bytes;
        ASSERT_EQ(b.size(), kSize);

        // Each header: right checksum, claims the rest of the image; the chain
        // of files from its end reaches the image end exactly, every file
        // checksummed and no file header over a volume header.
        std::vector<WalkedFile> chain = WalkFiles(b, 0);
        ASSERT_FALSE(chain.empty());
        EXPECT_EQ(chain.back().Offset + chain.back().Size, kSize);
        size_t files = 0;
        for (uint32_t v = 0; v < kSize; v += 4096) {
            ASSERT_EQ(Text(b, v + kFvSignature, 4), "_FVH") << v;
            ASSERT_EQ(VolumeHeaderWordSum(b, v), 0u) << v;
            ASSERT_EQ(Le64(b, v + kFvLength), kSize - v) << v;
            const auto own = std::find_if(chain.begin(), chain.end(),
                                          [&](const WalkedFile& f) { return f.Offset == v + 72; });
            ASSERT_NE(own, chain.end()) << "no file at the end of the header at " << v;
            files += image.Volumes[v / 4096].Files.size();
        }
        EXPECT_EQ(files, chain.size());
        for (const WalkedFile& f : chain) {
            ASSERT_EQ(f.Attributes & kCarriesChecksums, kCarriesChecksums);
            ASSERT_EQ(FileHeaderSum(b, f.Offset), 0) << f.Offset;
            ASSERT_EQ(FileDataSum(b, f.Offset, f.Size), 0) << f.Offset;
            ASSERT_GE(f.Offset % 4096, 72u) << "file header over a volume header at " << f.Offset;
            ASSERT_LE(f.Offset % 4096 + 24, 4096u) << "file header over a volume header at " << f.Offset;
        }
        // The descriptor is the first file's data, and only there.
        const auto record = std::search(b.begin(), b.end(), kBdr, kBdr + 4);
        EXPECT_EQ(size_t(record - b.begin()), 72u + 24u);
        EXPECT_EQ(std::search(record + 1, b.end(), kBdr, kBdr + 4), b.end());
    }
}

TEST(DecoyChainImage, RefusesSizesItCannotChain) {
    EXPECT_FALSE(BuildDecoyChainImage(0x40000 + 8, 512, std::nullopt).ok());
    EXPECT_FALSE(BuildDecoyChainImage(0x40000, 500, std::nullopt).ok());
    EXPECT_FALSE(BuildDecoyChainImage(0x40000, 4096, std::nullopt).ok());
    EXPECT_FALSE(BuildDecoyChainImage(0x40000, 40, Descriptor("5R27HX9C", 2012, 1, 12)).ok());
    EXPECT_TRUE(BuildDecoyChainImage(0x40000, 40, std::nullopt).ok());
}

TEST(RealisticImage, ThreeVolumesWithTheDescriptorInTheOneTriedLast) {
    const uint32_t kSize = 0x200000;
    const BuiltImage image = BuildRealisticUefiImage(kSize, Descriptor("5R27HX9C", 2012, 1, 12));
    ASSERT_TRUE(image.ok()) << image.Error;
    const Bytes& b = image.Bytes;
    ASSERT_EQ(image.Volumes.size(), 3u);
    EXPECT_EQ(image.Volumes[0].Offset, 0u);
    EXPECT_EQ(image.Volumes[2].Offset + image.Volumes[2].Length, kSize);
    for (const PlacedVolume& v : image.Volumes) {
        SCOPED_TRACE(v.Offset);
        EXPECT_EQ((kSize - v.Offset) % 4096, 0u);
        EXPECT_EQ(VolumeHeaderWordSum(b, v.Offset), 0u);
        const std::vector<WalkedFile> files = WalkFiles(b, v.Offset);
        EXPECT_EQ(files.size(), v.Files.size());
        for (const WalkedFile& f : files) {
            EXPECT_EQ(FileHeaderSum(b, f.Offset), 0);
            if (f.Attributes & kCarriesChecksums) EXPECT_EQ(FileDataSum(b, f.Offset, f.Size), 0);
        }
    }
    const auto record = std::search(b.begin(), b.end(), kBdr, kBdr + 4);
    EXPECT_EQ(size_t(record - b.begin()), image.Volumes[0].Files.back().Offset + 24);
    EXPECT_EQ(std::search(record + 1, b.end(), kBdr, kBdr + 4), b.end());
    EXPECT_FALSE(BuildRealisticUefiImage(0x80000, Descriptor("5R27HX9C", 2012, 1, 12)).ok());
}

}  // namespace
