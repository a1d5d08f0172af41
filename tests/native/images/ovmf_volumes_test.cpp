// Real UEFI firmware (the images of Debian's ovmf package): the engine's
// checksum test accepts every firmware volume in them, checks their real
// files once they carry checksums, and the descriptor search finds a
// descriptor put into a real file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "descriptor_search.h"
#include "firmware_bytes.h"
#include "ovmf_images.h"

namespace {

using namespace fwbytes;

constexpr uint8_t kFfs2Guid[16] = {0x78, 0xE5, 0x8C, 0x8C, 0x3D, 0x8A, 0x1C, 0x4F,
                                   0x99, 0x35, 0x89, 0x61, 0x85, 0xC3, 0x2D, 0xD3};
constexpr uint8_t kFfs3Guid[16] = {0x7A, 0xC0, 0x73, 0x54, 0xCB, 0x3D, 0xCA, 0x4D,
                                   0xBD, 0x6F, 0x1E, 0x96, 0x89, 0xE7, 0x34, 0x9A};
constexpr size_t kFileSystemGuid = 16;
constexpr uint8_t kPadFile = 0xF0;
constexpr uint8_t kRawFile = 0x01;

struct RealVolume {
    size_t Offset;
    uint64_t Length;
    bool HoldsFiles;  // an FFS2/FFS3 volume, not a variable store
};

// Every place whose +40 holds "_FVH" and whose header is a plausible one with
// a right checksum. Code that merely contains the four letters fails those.
std::vector<RealVolume> FindRealVolumes(const Bytes& b) {
    std::vector<RealVolume> volumes;
    const char* signature = "_FVH";
    for (auto it = b.begin(); (it = std::search(it, b.end(), signature, signature + 4)) != b.end(); ++it) {
        const size_t at = size_t(it - b.begin());
        if (at < kFvSignature) continue;
        const size_t v = at - kFvSignature;
        const size_t headerLength = Le16(b, v + kFvHeaderLength);
        if (headerLength < 56 + 16 || headerLength % 2 != 0 || v + headerLength > b.size()) continue;
        const uint64_t length = Le64(b, v + kFvLength);
        if (length < headerLength || length > b.size() - v) continue;
        if (VolumeHeaderWordSum(b, v) != 0) continue;
        const bool files = std::equal(kFfs2Guid, kFfs2Guid + 16, b.begin() + long(v + kFileSystemGuid)) ||
                           std::equal(kFfs3Guid, kFfs3Guid + 16, b.begin() + long(v + kFileSystemGuid));
        volumes.push_back({v, length, files});
    }
    return volumes;
}

Bytes LoadImage(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The search only tries volumes a multiple of 4 KiB from the image end; a
// volume elsewhere is copied into a fresh erased image where it is.
struct Placed {
    Bytes Image;
    size_t Volume;
};
Placed AtFourKiBDistance(const Bytes& image, const RealVolume& v) {
    if ((image.size() - v.Offset) % 4096 == 0) return {image, v.Offset};
    const size_t span = (size_t(v.Length) + 4095) / 4096 * 4096;
    Bytes fresh(0x1000 + span, 0xFF);
    std::copy_n(image.begin() + long(v.Offset), size_t(v.Length), fresh.begin() + 0x1000);
    return {fresh, 0x1000};
}

std::string Found(const Bytes& image, vossel::BiosDescriptorFields* fields) {
    if (!vossel::FindBiosDescriptor(image.data(), uint32_t(image.size()), fields)) return "not found";
    char text[64];
    std::snprintf(text, sizeof text, "%.8s %u-%u-%u", fields->PartNumber, unsigned(fields->Year),
                  unsigned(fields->Month), unsigned(fields->Day));
    return text;
}

// "$BDR", marker, "5R27HX9C", 2012-01-12.
Bytes DescriptorRecord() {
    Bytes record(48, 0);
    std::memcpy(&record[0], "$BDR", 4);
    record[8] = 0xA5;
    record[9] = 0x5A;
    std::memcpy(&record[32], "5R27HX9C", 8);
    record[44] = 2012 & 0xFF;
    record[45] = 2012 >> 8;
    record[46] = 1;
    record[47] = 12;
    return record;
}

class OvmfImage : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        const std::string path = GetParam();
        image_ = LoadImage(path);
        ASSERT_FALSE(image_.empty()) << "cannot read " << path
                                     << ": the real-firmware tests need the UEFI images of the Debian "
                                        "package ovmf (apt-get install ovmf)";
        volumes_ = FindRealVolumes(image_);
        ASSERT_FALSE(volumes_.empty()) << path << " holds no firmware volume";
    }
    int Verify(const Bytes& image, size_t volume) const {
        return vossel::VerifyFirmwareVolume(image.data(), uint32_t(image.size()), uint32_t(volume));
    }

    Bytes image_;
    std::vector<RealVolume> volumes_;
};

TEST_P(OvmfImage, EveryRealVolumePassesAndHoldsNoDescriptor) {
    size_t fileVolumes = 0;
    for (const RealVolume& v : volumes_) {
        SCOPED_TRACE("volume at " + std::to_string(v.Offset));
        EXPECT_EQ(Verify(image_, v.Offset), 1);
        if (!v.HoldsFiles) continue;
        ++fileVolumes;
        // These are real checksummed headers, by our own count too.
        const std::vector<WalkedFile> files = WalkFiles(image_, v.Offset);
        EXPECT_FALSE(files.empty());
        for (const WalkedFile& f : files) EXPECT_EQ(FileHeaderSum(image_, f.Offset), 0) << f.Offset;
    }
    EXPECT_GE(fileVolumes, 2u) << "a firmware image holds at least a boot volume and a main volume";
    vossel::BiosDescriptorFields fields{};
    EXPECT_EQ(Found(image_, &fields), "not found");
}

// Real files mostly leave 0x40 clear. Set it on every file and write their
// checksums: the volumes still pass, and one byte changed in a file's data or
// header makes its volume fail.
TEST_P(OvmfImage, RealFilesWithChecksumsAreChecked) {
    Bytes armed = image_;
    for (const RealVolume& v : volumes_)
        if (v.HoldsFiles)
            for (const WalkedFile& f : WalkFiles(armed, v.Offset)) ArmChecksums(armed, f.Offset, f.Size);
    for (const RealVolume& v : volumes_) {
        if (!v.HoldsFiles) continue;
        SCOPED_TRACE("volume at " + std::to_string(v.Offset));
        ASSERT_EQ(Verify(armed, v.Offset), 1);
        const std::vector<WalkedFile> files = WalkFiles(armed, v.Offset);
        const WalkedFile largest =
            *std::max_element(files.begin(), files.end(), [](auto& a, auto& b) { return a.Size < b.Size; });
        const WalkedFile last = files.back();
        // The state byte lies outside both sums; every other byte counts.
        const struct {
            WalkedFile File;
            size_t At;
            int Verifies;
        } spots[] = {
            {largest, largest.Size / 2, 0},
            {largest, largest.Size - 1, 0},
            {last, kFileType, 0},
            {last, kFileHeaderBytes, 0},
            {last, kFileState, 1},
        };
        for (const auto& spot : spots) {
            if (spot.At >= spot.File.Size) continue;
            SCOPED_TRACE("byte " + std::to_string(spot.At) + " of the file at " + std::to_string(spot.File.Offset));
            Bytes spoiled = armed;
            spoiled[spot.File.Offset + spot.At] ^= 0x01;
            EXPECT_EQ(Verify(spoiled, v.Offset), spot.Verifies);
        }
    }
}

// The descriptor written into the erased data of a real pad file, the file
// then carrying checksums: found, with its fields, and its volume passes.
TEST_P(OvmfImage, DescriptorInARealPadFileIsFound) {
    const RealVolume* volume = nullptr;
    WalkedFile pad{};
    for (const RealVolume& v : volumes_) {
        if (!v.HoldsFiles) continue;
        for (const WalkedFile& f : WalkFiles(image_, v.Offset)) {
            const bool erased = std::all_of(image_.begin() + long(f.Offset + kFileHeaderBytes),
                                            image_.begin() + long(f.Offset + f.Size),
                                            [](uint8_t b) { return b == 0xFF; });
            if (f.Type == kPadFile && erased && f.Size > pad.Size) {
                pad = f;
                volume = &v;
            }
        }
    }
    ASSERT_NE(volume, nullptr) << "no erased pad file in " << GetParam();
    ASSERT_GE(pad.Size, kFileHeaderBytes + 48 + 8);

    Placed placed = AtFourKiBDistance(image_, *volume);
    Bytes& image = placed.Image;
    const size_t file = placed.Volume + (pad.Offset - volume->Offset);
    const Bytes record = DescriptorRecord();
    const size_t recordAt = file + kFileHeaderBytes + (pad.Size - kFileHeaderBytes - 48) / 2 / 8 * 8;
    std::copy(record.begin(), record.end(), image.begin() + long(recordAt));
    ArmChecksums(image, file, pad.Size);

    EXPECT_EQ(Verify(image, placed.Volume), 1);
    vossel::BiosDescriptorFields fields{};
    EXPECT_EQ(Found(image, &fields), "5R27HX9C 2012-1-12");

    // With the pad file's data checksum off by one, its volume is not trusted.
    image[file + kFileDataSum] ^= 0x01;
    EXPECT_EQ(Verify(image, placed.Volume), 0);
    EXPECT_EQ(Found(image, &fields), "not found");
}

// A new raw file holding the descriptor, added in the erased space after a
// real volume's last file, the volume placed a multiple of 4 KiB from the end.
TEST_P(OvmfImage, DescriptorInANewFileAfterRealFilesIsFound) {
    size_t tried = 0;
    for (const RealVolume& v : volumes_) {
        if (!v.HoldsFiles) continue;
        const std::vector<WalkedFile> files = WalkFiles(image_, v.Offset);
        const size_t freeAt = files.back().Offset + (files.back().Size + 7) / 8 * 8;
        const size_t newSize = kFileHeaderBytes + 48;
        if (freeAt + newSize > v.Offset + v.Length) continue;  // a full volume
        ++tried;
        SCOPED_TRACE("volume at " + std::to_string(v.Offset));

        Placed placed = AtFourKiBDistance(image_, v);
        Bytes& image = placed.Image;
        const size_t file = placed.Volume + (freeAt - v.Offset);
        ASSERT_TRUE(std::all_of(image.begin() + long(file), image.begin() + long(file + newSize),
                                [](uint8_t b) { return b == 0xFF; }));
        std::fill_n(image.begin() + long(file), kFileHeaderBytes, 0);
        std::memcpy(&image[file], "VOSSEL-DESCRIPT", 16);
        image[file + kFileType] = kRawFile;
        image[file + kFileSize] = uint8_t(newSize);
        image[file + kFileState] = 0xF8;
        const Bytes record = DescriptorRecord();
        std::copy(record.begin(), record.end(), image.begin() + long(file + kFileHeaderBytes));
        ArmChecksums(image, file, newSize);
        ASSERT_EQ(WalkFiles(image, placed.Volume).size(), files.size() + 1);

        EXPECT_EQ(Verify(image, placed.Volume), 1);
        vossel::BiosDescriptorFields fields{};
        EXPECT_EQ(Found(image, &fields), "5R27HX9C 2012-1-12");
    }
    EXPECT_GE(tried, 1u) << "no real volume with room for one more file";
}

std::string ImageName(const ::testing::TestParamInfo<const char*>& info) {
    std::string name = std::to_string(info.index) + "_" + std::string(info.param).substr(
                                                                std::string(info.param).find_last_of('/') + 1);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Ovmf, OvmfImage, ::testing::ValuesIn(kOvmfImages), ImageName);

}  // namespace
