#include "image_builder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <numeric>

#include "builder_layout.h"

namespace vossel::imagebuilder {
namespace {

// Writes into an image the builder sized itself; every layout is checked
// against the image size before anything is written, so a write outside is a
// builder fault and is refused rather than done.
class ImageWriter {
public:
    explicit ImageWriter(std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    bool Fits(uint64_t offset, uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    void PutBytes(uint64_t offset, const void* data, size_t length) {
        if (Fits(offset, length) && length != 0) std::memcpy(&bytes_[offset], data, length);
    }
    void Fill(uint64_t offset, uint64_t length, uint8_t value) {
        if (Fits(offset, length)) std::fill_n(bytes_.begin() + offset, length, value);
    }
    void Put8(uint64_t offset, uint8_t value) { PutBytes(offset, &value, 1); }
    void Put16(uint64_t offset, uint16_t value) {
        const uint8_t le[2] = {uint8_t(value), uint8_t(value >> 8)};
        PutBytes(offset, le, sizeof le);
    }
    void Put24(uint64_t offset, uint32_t value) {
        const uint8_t le[3] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16)};
        PutBytes(offset, le, sizeof le);
    }
    void Put32(uint64_t offset, uint32_t value) {
        Put16(offset, uint16_t(value));
        Put16(offset + 2, uint16_t(value >> 16));
    }
    void Put64(uint64_t offset, uint64_t value) {
        Put32(offset, uint32_t(value));
        Put32(offset + 4, uint32_t(value >> 32));
    }
    uint8_t ByteSum(uint64_t offset, uint64_t length) const {
        if (!Fits(offset, length)) return 0;
        return std::accumulate(bytes_.begin() + offset, bytes_.begin() + offset + length, uint8_t{0},
                               [](uint8_t sum, uint8_t b) { return uint8_t(sum + b); });
    }
    uint16_t WordSum(uint64_t offset, uint64_t length) const {
        uint16_t sum = 0;
        for (uint64_t i = 0; i + 1 < length && Fits(offset + i, 2); i += 2)
            sum = uint16_t(sum + (bytes_[offset + i] | bytes_[offset + i + 1] << 8));
        return sum;
    }

private:
    std::vector<uint8_t>& bytes_;
};

// Fields of the firmware volume header and file header, as image offsets.
constexpr uint64_t VolumeField(uint64_t volume, size_t field) { return volume + field; }
constexpr uint64_t FileField(uint64_t file, size_t field) { return file + field; }

void WriteVolumeHeader(ImageWriter& w, uint32_t at, const FirmwareVolumeLayout& v) {
    w.Fill(at, kVolumeHeaderLength, 0);
    w.PutBytes(VolumeField(at, offsetof(FirmwareVolumeHeader, FileSystemGuid)), kFfs2FileSystemGuid,
               sizeof kFfs2FileSystemGuid);
    w.Put64(VolumeField(at, offsetof(FirmwareVolumeHeader, FvLength)), v.StatedLength.value_or(v.Length));
    const char broken[4] = {'_', 'F', 'V', 'X'};
    w.PutBytes(VolumeField(at, offsetof(FirmwareVolumeHeader, Signature)),
               v.BreakSignature ? broken : kVolumeSignature, 4);
    w.Put32(VolumeField(at, offsetof(FirmwareVolumeHeader, Attributes)), kVolumeAttributes);
    w.Put16(VolumeField(at, offsetof(FirmwareVolumeHeader, HeaderLength)), kVolumeHeaderLength);
    w.Put8(VolumeField(at, offsetof(FirmwareVolumeHeader, Revision)), kVolumeRevision);
    // One block map entry covering the volume, then the terminating zeros.
    const bool whole4k = v.Length % kCandidateStep == 0;
    const size_t map = offsetof(FirmwareVolumeHeader, BlockMap);
    w.Put32(VolumeField(at, map), whole4k ? v.Length / kCandidateStep : v.Length);
    w.Put32(VolumeField(at, map + 4), whole4k ? kCandidateStep : 1);

    const uint64_t checksumAt = VolumeField(at, offsetof(FirmwareVolumeHeader, Checksum));
    const uint16_t checksum = uint16_t(0x10000 - w.WordSum(at, kVolumeHeaderLength));
    w.Put16(checksumAt, uint16_t(checksum + (v.BreakHeaderChecksum ? 1 : 0)));
}

// File name GUIDs only need to differ; they spell "VOSSEL" and count.
void WriteFileName(ImageWriter& w, uint32_t at, uint32_t volumeIndex, uint32_t fileIndex) {
    uint8_t name[16] = {'V', 'O', 'S', 'S', 'E', 'L', 0, 0, 0, 0, 0, 0, 0, 0, 0x4B, 0x53};
    for (int i = 0; i < 4; ++i) {
        name[6 + i] = uint8_t(volumeIndex >> (8 * i));
        name[10 + i] = uint8_t(fileIndex >> (8 * i));
    }
    w.PutBytes(FileField(at, offsetof(FfsFileHeader, Name)), name, sizeof name);
}

std::string StatedFileSize(const FfsFileLayout& f, uint32_t at, uint32_t size, uint32_t imageSize,
                           uint32_t* stated) {
    switch (f.SizeField) {
        case FileSizeField::Actual:
            *stated = size;
            return {};
        case FileSizeField::Zero:
            *stated = 0;
            return {};
        case FileSizeField::Erased:
            *stated = kErasedFileSize;
            return {};
        case FileSizeField::PastImageEnd: {
            const uint64_t past = uint64_t(imageSize) - at + 8;
            if (past > kMaxFileSize) return "a file size past the image end does not fit in 24 bits here";
            *stated = uint32_t(past);
            return {};
        }
    }
    return "unknown file size choice";
}

// Header checksum covers the 24 header bytes except the state and the file
// checksum; the file checksum makes the data bytes sum to 0.
void WriteFile(ImageWriter& w, uint32_t at, uint32_t size, uint32_t statedSize, const FfsFileLayout& f,
               uint32_t volumeIndex, uint32_t fileIndex) {
    w.Fill(at, kFileHeaderLength, 0);
    WriteFileName(w, at, volumeIndex, fileIndex);
    w.Put8(FileField(at, offsetof(FfsFileHeader, Type)), f.Type);
    w.Put8(FileField(at, offsetof(FfsFileHeader, Attributes)), f.Attributes);
    w.Put24(FileField(at, offsetof(FfsFileHeader, Size)), statedSize);
    w.PutBytes(at + kFileHeaderLength, f.Data.data(), f.Data.size());

    const uint8_t dataChecksum = uint8_t(0x100 - w.ByteSum(at + kFileHeaderLength, size - kFileHeaderLength));
    uint8_t fileChecksum = (f.Attributes & kFileAttributeChecksum) ? dataChecksum : kFixedFileChecksum;
    if (f.BreakDataChecksum) fileChecksum = uint8_t(dataChecksum + 1);

    // State and file checksum are still 0 here, so the sum is the one to cancel.
    const uint8_t headerChecksum = uint8_t(0x100 - w.ByteSum(at, kFileHeaderLength));
    w.Put8(FileField(at, offsetof(FfsFileHeader, HeaderChecksum)),
           uint8_t(headerChecksum + (f.BreakHeaderChecksum ? 1 : 0)));
    w.Put8(FileField(at, offsetof(FfsFileHeader, FileChecksum)), fileChecksum);
    w.Put8(FileField(at, offsetof(FfsFileHeader, State)), f.State);
}

std::string Describe(const char* what, size_t index, const char* problem) {
    return std::string(what) + " " + std::to_string(index) + ": " + problem;
}

}  // namespace

std::optional<PartNumber> MakePartNumber(const std::string& text) {
    if (text.size() != kPartNumberLength) return std::nullopt;
    PartNumber part{};
    std::copy(text.begin(), text.end(), part.begin());
    return part;
}

std::vector<uint8_t> EncodeBiosDescriptor(const BiosDescriptorLayout& d) {
    std::vector<uint8_t> bytes(kDescriptorLength, 0);
    ImageWriter w(bytes);
    const char broken[4] = {'$', 'B', 'D', 'X'};
    w.PutBytes(offsetof(BiosDescriptorRecord, Signature), d.BreakSignature ? broken : kDescriptorSignature, 4);
    w.Put16(offsetof(BiosDescriptorRecord, Marker), d.Marker);
    w.PutBytes(offsetof(BiosDescriptorRecord, PartNumber), d.Part.data(), d.Part.size());
    w.Put16(offsetof(BiosDescriptorRecord, Year), d.Year);
    w.Put8(offsetof(BiosDescriptorRecord, Month), d.Month);
    w.Put8(offsetof(BiosDescriptorRecord, Day), d.Day);
    return bytes;
}

BuiltImage BuildAwardImage(const AwardImageLayout& layout) {
    BuiltImage out;
    if (layout.Size < kAwardPartDistance) {
        out.Error = "an Award image holds at least its 24-byte trailer";
        return out;
    }
    const uint64_t partAt = layout.Size - kAwardPartDistance;
    out.Bytes.assign(layout.Size, layout.Filler);
    ImageWriter w(out.Bytes);
    if (layout.SignatureOffset) {
        const int64_t at = int64_t(layout.Size) - kAwardWindowDistance + *layout.SignatureOffset;
        if (at < 0 || uint64_t(at) + sizeof kAwardSignature > partAt) {
            out.Error = "the signature at that offset lies outside the image or over the part number";
            out.Bytes.clear();
            return out;
        }
        w.PutBytes(uint64_t(at), kAwardSignature, sizeof kAwardSignature);
    }
    w.PutBytes(partAt, layout.Part.data(), layout.Part.size());
    return out;
}

BuiltImage BuildUefiImage(const UefiImageLayout& layout) {
    BuiltImage out;
    auto fail = [&out](std::string why) {
        out.Bytes.clear();
        out.Volumes.clear();
        out.Error = std::move(why);
        return out;
    };
    if (layout.Size == 0) return fail("the image size is 0");

    // Volumes inside the image and apart from one another.
    std::vector<size_t> order(layout.Volumes.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return layout.Volumes[a].Offset < layout.Volumes[b].Offset; });
    for (size_t n = 0; n < order.size(); ++n) {
        const FirmwareVolumeLayout& v = layout.Volumes[order[n]];
        if (v.Length < kVolumeHeaderLength)
            return fail(Describe("volume", order[n], "shorter than its 72-byte header"));
        if (uint64_t(v.Offset) + v.Length > layout.Size)
            return fail(Describe("volume", order[n], "reaches past the image end"));
        if (n > 0) {
            const FirmwareVolumeLayout& before = layout.Volumes[order[n - 1]];
            if (uint64_t(before.Offset) + before.Length > v.Offset)
                return fail(Describe("volume", order[n], "overlaps another volume"));
        }
    }

    out.Bytes.assign(layout.Size, layout.Filler);
    ImageWriter w(out.Bytes);
    for (size_t vi = 0; vi < layout.Volumes.size(); ++vi) {
        const FirmwareVolumeLayout& v = layout.Volumes[vi];
        PlacedVolume placed{v.Offset, v.Length, {}};
        w.Fill(v.Offset, v.Length, kErasedByte);
        WriteVolumeHeader(w, v.Offset, v);

        uint32_t offset = kVolumeHeaderLength;  // already 8-byte aligned
        for (size_t fi = 0; fi < v.Files.size(); ++fi) {
            const FfsFileLayout& f = v.Files[fi];
            const uint64_t size = uint64_t(kFileHeaderLength) + f.Data.size();
            if (size > kMaxFileSize)
                return fail(Describe("file", fi, "too large for a 24-bit size (large files are not built)"));
            if (uint64_t(offset) + size > v.Length)
                return fail(Describe("volume", vi, "is too short for its files"));
            const uint32_t at = v.Offset + offset;
            uint32_t stated = 0;
            std::string why = StatedFileSize(f, at, uint32_t(size), layout.Size, &stated);
            if (!why.empty()) return fail(Describe("file", fi, why.c_str()));
            WriteFile(w, at, uint32_t(size), stated, f, uint32_t(vi), uint32_t(fi));
            placed.Files.push_back({at, uint32_t(size)});
            offset = uint32_t(AlignUp(uint32_t(offset + size), kFileAlignment));
        }
        out.Volumes.push_back(std::move(placed));
    }
    return out;
}

// ---------------------------------------------------------------- recipes

const ImageBreakName kImageBreakNames[12] = {
    {"header-sum", ImageBreak::VolumeHeaderChecksum, "volume header checksum wrong"},
    {"signature", ImageBreak::VolumeSignature, "\"_FVX\" in place of \"_FVH\""},
    {"volume-long", ImageBreak::VolumeLengthLong, "stated volume length reaches past the image end"},
    {"volume-short", ImageBreak::VolumeLengthShort, "stated volume length ends before the descriptor's file"},
    {"file-header-sum", ImageBreak::FileHeaderChecksum, "descriptor file's header checksum wrong"},
    {"file-sum", ImageBreak::FileDataChecksum, "descriptor file's data checksum wrong"},
    {"file-size-zero", ImageBreak::FileSizeZero, "descriptor file's size field 0"},
    {"file-size-ffffff", ImageBreak::FileSizeErased, "descriptor file's size field 0xFFFFFF"},
    {"file-size-past-end", ImageBreak::FileSizePastEnd, "descriptor file's size reaches past the image end"},
    {"no-checksum-attr", ImageBreak::ChecksumAttributeCleared,
     "descriptor file without attribute 0x40, both its checksums wrong"},
    {"marker", ImageBreak::DescriptorMarker, "descriptor marker 0x5AA4 in place of 0x5AA5"},
    {"bdr-signature", ImageBreak::DescriptorSignature, "\"$BDX\" in place of \"$BDR\""},
};

std::optional<ImageBreak> ParseImageBreak(const std::string& name) {
    for (const ImageBreakName& row : kImageBreakNames)
        if (name == row.Name) return row.Break;
    return std::nullopt;
}

std::vector<uint8_t> PseudoRandomBytes(size_t count, uint32_t seed) {
    std::vector<uint8_t> bytes(count);
    uint32_t state = seed * 2654435761u + 1;
    for (uint8_t& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = uint8_t(state >> 24);
        if (b == '$' || b == '_') b ^= 0x80;
    }
    return bytes;
}

namespace {

constexpr uint32_t kDefaultVolumeLength = 0x10000;
constexpr uint32_t kRecipeFillerFileData = 256;

void ApplyBreak(ImageBreak b, FirmwareVolumeLayout& volume, FfsFileLayout& file, BiosDescriptorLayout& descriptor,
                uint32_t imageSize, uint32_t descriptorFileOffsetInVolume) {
    switch (b) {
        case ImageBreak::VolumeHeaderChecksum: volume.BreakHeaderChecksum = true; return;
        case ImageBreak::VolumeSignature: volume.BreakSignature = true; return;
        case ImageBreak::VolumeLengthLong:
            volume.StatedLength = uint64_t(imageSize - volume.Offset) + kCandidateStep;
            return;
        case ImageBreak::VolumeLengthShort: volume.StatedLength = descriptorFileOffsetInVolume; return;
        case ImageBreak::FileHeaderChecksum: file.BreakHeaderChecksum = true; return;
        case ImageBreak::FileDataChecksum: file.BreakDataChecksum = true; return;
        case ImageBreak::FileSizeZero: file.SizeField = FileSizeField::Zero; return;
        case ImageBreak::FileSizeErased: file.SizeField = FileSizeField::Erased; return;
        case ImageBreak::FileSizePastEnd: file.SizeField = FileSizeField::PastImageEnd; return;
        case ImageBreak::ChecksumAttributeCleared:
            file.Attributes = uint8_t(file.Attributes & ~kFileAttributeChecksum);
            file.BreakHeaderChecksum = true;
            file.BreakDataChecksum = true;
            return;
        case ImageBreak::DescriptorMarker: descriptor.Marker = uint16_t(kDescriptorMarker - 1); return;
        case ImageBreak::DescriptorSignature: descriptor.BreakSignature = true; return;
    }
}

}  // namespace

std::string DescribeUefiImage(const UefiRecipe& recipe, UefiImageLayout* layout) {
    if (recipe.Size == 0) return "the image size is 0";
    std::vector<uint32_t> offsets = recipe.VolumeOffsets;
    if (offsets.empty()) offsets.push_back(recipe.Size > kDefaultVolumeLength ? recipe.Size - kDefaultVolumeLength : 0);
    if (recipe.WithDescriptor && recipe.DescriptorVolume >= offsets.size())
        return "the descriptor volume index names no volume";
    for (uint32_t at : offsets)
        if (at >= recipe.Size) return "volume offset " + std::to_string(at) + " lies outside the image";
    std::vector<uint32_t> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return "two volumes at one offset";

    *layout = UefiImageLayout{};
    layout->Size = recipe.Size;
    layout->Filler = recipe.Filler;
    for (size_t i = 0; i < offsets.size(); ++i) {
        FirmwareVolumeLayout v;
        v.Offset = offsets[i];
        auto next = std::upper_bound(sorted.begin(), sorted.end(), v.Offset);
        v.Length = (next == sorted.end() ? recipe.Size : *next) - v.Offset;
        FfsFileLayout filler;
        filler.Data = PseudoRandomBytes(kRecipeFillerFileData, uint32_t(i + 1));
        v.Files.push_back(std::move(filler));
        layout->Volumes.push_back(std::move(v));
    }
    if (!recipe.WithDescriptor) return recipe.Breaks.empty() ? "" : "breaks need a descriptor to break";

    FirmwareVolumeLayout& volume = layout->Volumes[recipe.DescriptorVolume];
    const uint32_t descriptorFileOffset =
        AlignUp(kVolumeHeaderLength + kFileHeaderLength + kRecipeFillerFileData, kFileAlignment);
    FfsFileLayout file;
    BiosDescriptorLayout descriptor = recipe.Descriptor;
    for (ImageBreak b : recipe.Breaks)
        ApplyBreak(b, volume, file, descriptor, recipe.Size, descriptorFileOffset);
    file.Data = EncodeBiosDescriptor(descriptor);
    volume.Files.push_back(std::move(file));
    return "";
}

BuiltImage BuildRealisticUefiImage(uint32_t size, const BiosDescriptorLayout& descriptor) {
    constexpr uint32_t kMinimum = 0x100000;
    if (size < kMinimum || size % kCandidateStep != 0) {
        BuiltImage out;
        out.Error = "a realistic image is a multiple of 4 KiB and at least 1 MiB";
        return out;
    }
    const uint32_t storeLength = AlignUp(size / 32, kCandidateStep);  // 512 KiB of 16 MiB
    const uint32_t bootLength = AlignUp(size / 64, kCandidateStep);   // 256 KiB of 16 MiB
    UefiImageLayout layout;
    layout.Size = size;
    uint32_t seed = 100;

    FirmwareVolumeLayout store;
    store.Offset = 0;
    store.Length = storeLength;
    for (uint32_t used = kVolumeHeaderLength; used + 0x2000 < storeLength / 2; used += 0x1000 + kFileHeaderLength) {
        FfsFileLayout f;
        f.Type = kFileTypeFreeform;
        f.Data = PseudoRandomBytes(0x1000, seed++);
        store.Files.push_back(std::move(f));
    }
    FfsFileLayout descriptorFile;
    descriptorFile.Data = EncodeBiosDescriptor(descriptor);
    store.Files.push_back(std::move(descriptorFile));

    FirmwareVolumeLayout main;
    main.Offset = storeLength;
    main.Length = size - storeLength - bootLength;
    constexpr uint32_t kLargeFile = 0x10000;
    for (uint64_t used = kVolumeHeaderLength; used + 2 * (kLargeFile + kFileHeaderLength) < main.Length * 9ull / 10;
         used += AlignUp(kLargeFile + kFileHeaderLength, kFileAlignment)) {
        FfsFileLayout f;
        f.Type = kFileTypeFreeform;
        f.Data = PseudoRandomBytes(kLargeFile - 8 * (seed % 16), seed);
        ++seed;
        main.Files.push_back(std::move(f));
    }

    FirmwareVolumeLayout boot;
    boot.Offset = size - bootLength;
    boot.Length = bootLength;
    FfsFileLayout pad;
    pad.Type = kFileTypePad;
    pad.Attributes = 0;
    pad.Data.assign(bootLength / 2, kErasedByte);
    boot.Files.push_back(std::move(pad));
    FfsFileLayout code;
    code.Data = PseudoRandomBytes(bootLength / 4, seed++);
    boot.Files.push_back(std::move(code));

    layout.Volumes = {std::move(store), std::move(main), std::move(boot)};
    return BuildUefiImage(layout);
}

BuiltImage BuildDecoyChainImage(uint32_t size, uint32_t fileSize,
                                const std::optional<BiosDescriptorLayout>& descriptor) {
    BuiltImage out;
    if (size == 0 || size % kCandidateStep != 0) {
        out.Error = "a decoy chain image is a non-zero multiple of 4 KiB";
        return out;
    }
    if (fileSize % kFileAlignment != 0 || fileSize < 32 || fileSize > 2048) {
        out.Error = "decoy chain files are a multiple of 8 from 32 to 2048 bytes";
        return out;
    }
    out.Bytes.assign(size, kErasedByte);
    ImageWriter w(out.Bytes);

    // Headers first: the files that cross a 4 KiB boundary carry them as data.
    for (uint32_t at = 0; at < size; at += kCandidateStep) {
        FirmwareVolumeLayout v;
        v.Offset = at;
        v.Length = size - at;
        WriteVolumeHeader(w, at, v);
        out.Volumes.push_back({at, size - at, {}});
    }

    // Each block's files run from its header's end to the next header's end
    // (or the image end), so every volume's walk finds a file at its own
    // header's end and goes on to the image end. A file whose successor's
    // header would touch the next volume header, or leave too short a tail,
    // runs to the block's end instead.
    const std::vector<uint8_t> record = descriptor ? EncodeBiosDescriptor(*descriptor) : std::vector<uint8_t>{};
    uint32_t fileIndex = 0;
    for (uint32_t block = 0; block < size; block += kCandidateStep) {
        const uint32_t nextHeader = block + kCandidateStep;
        const uint32_t start = block + kVolumeHeaderLength;
        const uint32_t end = nextHeader < size ? nextHeader + kVolumeHeaderLength : size;
        PlacedVolume& volume = out.Volumes[block / kCandidateStep];
        for (uint32_t at = start; at < end;) {
            uint32_t length = std::min(fileSize, end - at);
            const uint32_t next = at + length;
            if (next < end && (next + kFileHeaderLength > nextHeader || end - next < 32)) length = end - at;
            FfsFileLayout f;
            // The bytes already in place (the next header) stay; the rest is noise.
            f.Data.assign(out.Bytes.begin() + at + kFileHeaderLength, out.Bytes.begin() + at + length);
            const uint32_t noiseLength = std::min(at + length, nextHeader) - (at + kFileHeaderLength);
            const std::vector<uint8_t> noise = PseudoRandomBytes(noiseLength, fileIndex + 7);
            std::copy(noise.begin(), noise.end(), f.Data.begin());
            if (fileIndex == 0 && !record.empty()) {
                if (f.Data.size() < record.size()) {
                    out = BuiltImage{};
                    out.Error = "decoy chain files are too small to hold the descriptor";
                    return out;
                }
                std::copy(record.begin(), record.end(), f.Data.begin());
            }
            WriteFile(w, at, length, length, f, block / kCandidateStep, fileIndex);
            volume.Files.push_back({at, length});
            ++fileIndex;
            at += length;
        }
    }
    return out;
}

}  // namespace vossel::imagebuilder
