// The descriptor search: every case runs through the engine's search, through
// the same search with its work tables set up from the first walk (small
// images never spend the budget that makes the engine's search set them up),
// without any table (the low-memory fallback), with the portable "$BDR" scan
// in place of the processor's widest one and through the step-by-step
// reference, and all five must give the expected descriptor with every
// output field equal.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "descriptor_search.h"
#include "firmware_test_image.h"
#include "image_recipe.h"
#include "reference_descriptor_search.h"

namespace vossel {
namespace {

using testing::FirmwareImage;
using testing::kChecksummed;

using SearchFunction = int (*)(const uint8_t*, uint32_t, BiosDescriptorFields*);

struct SearchOutcome {
    int result;
    BiosDescriptorFields fields;
};

SearchOutcome Search(SearchFunction search, const FirmwareImage& image) {
    SearchOutcome outcome;
    std::memset(&outcome.fields, 0xA7, sizeof(outcome.fields));  // must stay as it is when nothing is found
    outcome.result = search(image.data(), image.size(), &outcome.fields);
    return outcome;
}

std::string Describe(const SearchOutcome& o) {
    if (o.result == 0) {
        return "none";
    }
    char text[64];
    std::snprintf(text, sizeof(text), "%.8s %u-%u-%u", o.fields.PartNumber, o.fields.Year, o.fields.Month,
                  o.fields.Day);
    return text;
}

// All four searches agree on the result and on every output byte.
void ExpectSameOutcomes(const FirmwareImage& image, SearchOutcome* engineOutcome = nullptr) {
    const SearchOutcome reference = Search(reference::FindBiosDescriptor, image);
    const struct {
        const char* name;
        SearchFunction search;
    } searches[] = {
        {"engine", FindBiosDescriptor},
        {"eager tables", detail::FindBiosDescriptorEagerTables},
        {"no tables", detail::FindBiosDescriptorUnassisted},
        {"portable scan", detail::FindBiosDescriptorPortableScan},
    };
    for (const auto& s : searches) {
        const SearchOutcome outcome = Search(s.search, image);
        EXPECT_EQ(outcome.result, reference.result)
            << s.name << ": " << Describe(outcome) << " vs reference " << Describe(reference);
        EXPECT_EQ(0, std::memcmp(&outcome.fields, &reference.fields, sizeof(outcome.fields)))
            << s.name << ": " << Describe(outcome) << " vs reference " << Describe(reference);
    }
    if (engineOutcome != nullptr) {
        *engineOutcome = Search(FindBiosDescriptor, image);
    }
}

constexpr uint32_t kImage = 0x10000;
constexpr uint32_t kFileAt = 0x48;      // first file of a volume with the usual header
constexpr uint32_t kRecordAt = 0x60;    // its data, where the tests put descriptors
const char kA[] = "AAAAAAAA";
const char kB[] = "BBBBBBBB";
const char kC[] = "CCCCCCCC";

// A volume whose first file (checksummed, 0x100 bytes) carries a descriptor;
// the erased bytes after it end the walk.
FirmwareImage& VolumeWithDescriptor(FirmwareImage& image, uint32_t at, uint32_t length, const char* partNumber) {
    return image.Volume(at, length).File(at + kFileAt, 0x100).Descriptor(at + kRecordAt, partNumber);
}

struct SearchCase {
    const char* name;
    std::function<void(FirmwareImage&)> build;
    const char* expected;  // part number found, nullptr for none
    uint32_t imageSize = kImage;
    std::function<void(FirmwareImage&)> afterSeal = nullptr;
};

const SearchCase kSearchCases[] = {
    {"volume at the image start is found when tried last",
     [](FirmwareImage& i) { VolumeWithDescriptor(i, 0, kImage, kA); }, kA},
    {"the candidate nearest the image end wins",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, kImage, kA);
         VolumeWithDescriptor(i, 0x8000, 0x8000, kB);
     },
     kB},
    {"volume with a wrong header sum is skipped though it holds a descriptor",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, kImage, kA);
         VolumeWithDescriptor(i, 0x8000, 0x8000, kB).BreakVolumeSum(0x8000);
     },
     kA},
    {"volume without the signature is skipped",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, kImage, kA);
         VolumeWithDescriptor(i, 0x8000, 0x8000, kB).Bytes(0x8000 + 43, {'X'});
     },
     kA},
    {"a wrong marker abandons the volume; a good descriptor behind it is not used",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, kImage, kA);
         i.Volume(0x8000, 0x8000).File(0x8000 + kFileAt, 0x100);
         i.Descriptor(0x8000 + kRecordAt, kB, 0x5AA4).Descriptor(0x8000 + kRecordAt + 48, kC);
     },
     kA},
    {"a wrong marker met by an enclosing volume ends its search too",
     [](FirmwareImage& i) {
         i.Volume(0, kImage).File(kFileAt, 0x100);
         i.Volume(0x8000, 0x8000).File(0x8000 + kFileAt, 0x100).Descriptor(0x8000 + kRecordAt, kB, 0xA55A);
         i.Descriptor(0x8000 + kRecordAt + 48, kC);
     },
     nullptr},
    {"a descriptor inside a failing volume is found through an enclosing one",
     [](FirmwareImage& i) {
         i.Volume(0, kImage).File(kFileAt, 0x100);
         VolumeWithDescriptor(i, 0x8000, 0x8000, kB).BreakVolumeSum(0x8000);
     },
     kB},
    {"a checksummed file with a wrong data sum fails its volume",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, kImage, kA);
         VolumeWithDescriptor(i, 0x8000, 0x8000, kB).BreakFileDataSum(0x8000 + kFileAt);
     },
     kA},
    {"a checksummed file with a wrong header sum fails its volume",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, kImage, kA);
         VolumeWithDescriptor(i, 0x8000, 0x8000, kB).BreakFileHeaderSum(0x8000 + kFileAt);
     },
     kA},
    {"a file without the checksum attribute is not checked",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, kImage, kA);
         i.Volume(0x8000, 0x8000).File(0x8000 + kFileAt, 0x100, 0x00).Descriptor(0x8000 + kRecordAt, kB);
         i.BreakFileHeaderSum(0x8000 + kFileAt).BreakFileDataSum(0x8000 + kFileAt);
     },
     kB},
    {"file size 0 ends the walk with success",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, kImage, kA);
         VolumeWithDescriptor(i, 0x8000, 0x8000, kB).FileHeader(0x8148, 0, kChecksummed);
         i.File(0x8150, 0x100).BreakFileDataSum(0x8150);
     },
     kB},
    {"file size 0xFFFFFF ends the walk with success",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, kImage, kA);
         i.Volume(0x8000, 0x8000).File(0x8000 + kFileAt, 0x100, kChecksummed, 0x00);
         i.Descriptor(0x8000 + kRecordAt, kB).FileHeader(0x8148, 0xFFFFFF, kChecksummed);
         i.File(0x8150, 0x100).BreakFileHeaderSum(0x8150);
     },
     kB, kImage},
    {"a volume length past the image end is searched up to the end",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, kImage, kA);
         VolumeWithDescriptor(i, 0x8000, 0xFFFFFFFF, kB);
     },
     kB},
    {"a walk whose last file ends exactly at the image end succeeds",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x8000, kA);
         i.Volume(0xF000, 0x100000).File(0xF000 + kFileAt, 0x1000 - kFileAt).Descriptor(0xF000 + kRecordAt, kB);
     },
     kB},
    {"a failing file at the volume length is not reached",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x8000, kA);
         i.Volume(0x8000, 0x1000).File(0x8000 + kFileAt, 0x1000 - kFileAt).Descriptor(0x8000 + kRecordAt, kB);
         i.File(0x9000, 0x100).BreakFileDataSum(0x9000);
     },
     kB},
    {"a failing file one byte inside the volume length is reached",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x8000, kA);
         i.Volume(0x8000, 0x1001).File(0x8000 + kFileAt, 0x1000 - kFileAt).Descriptor(0x8000 + kRecordAt, kB);
         i.File(0x9000, 0x100).BreakFileDataSum(0x9000);
     },
     kA},
    {"a descriptor starting 4 bytes before the volume end is seen",
     [](FirmwareImage& i) { i.Volume(0x8000, 0x200).Descriptor(0x8000 + 0x200 - 4, kB); }, kB},
    {"a descriptor starting 3 bytes before the volume end is not",
     [](FirmwareImage& i) { i.Volume(0x8000, 0x200).Descriptor(0x8000 + 0x200 - 3, kB); }, nullptr},
    {"a volume shorter than 4 bytes is never scanned",
     [](FirmwareImage& i) { i.Volume(0x8000, 3, 0).Descriptor(0x8000, kB); }, nullptr},
    {"a descriptor record ending exactly at the image end is used",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x8000, kA);
         i.Volume(0xF000, 0x1000).Descriptor(kImage - 48, kB);
     },
     kB},
    {"a descriptor record running past the image end is no descriptor",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x8000, kA);
         i.Volume(0xF000, 0x1000).Descriptor(kImage - 47, kB);
     },
     kA},
    {"a file header running past the image end fails the volume",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x8000, kA);
         // The second file would start 8 bytes before the end.
         i.Volume(0xF000, 0x100000).File(0xF000 + kFileAt, 0xFB0).Descriptor(0xF000 + kRecordAt, kB);
     },
     kA},
    {"a file without the checksum attribute may run past the image end",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x8000, kA);
         VolumeWithDescriptor(i, 0xF000, 0x100000, kB).FileHeader(0xF148, 0x10000, 0x00);
     },
     kB},
    {"a checksummed file running past the image end fails the volume",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x8000, kA);
         VolumeWithDescriptor(i, 0xF000, 0x100000, kB).File(0xF148, 0x10000, kChecksummed);
     },
     kA},
    {"header checksum words that reach past the image end fail the volume",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x8000, kA);
         i.Volume(0xF000, 0x1000, 0x1001).Descriptor(0xF100, kB);
     },
     kA},
    {"header checksum words that end at the image end are summed",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x8000, kA);
         i.Volume(0xF000, 0x1000, 0x1000).Descriptor(0xF100, kB);
     },
     kB},
    {"image size off the 4 KiB grid: candidates keep the end's alignment",
     [](FirmwareImage& i) { VolumeWithDescriptor(i, 100, kImage, kB); }, kB, kImage + 100},
    {"image size off the 4 KiB grid: a volume at the image start is never tried",
     [](FirmwareImage& i) { VolumeWithDescriptor(i, 0, kImage, kA); }, nullptr, kImage + 100},
    {"an image of exactly 4 KiB has one candidate at its start",
     [](FirmwareImage& i) { VolumeWithDescriptor(i, 0, 0x1000, kA); }, kA, 0x1000},
    {"an image below 4 KiB has no candidate",
     [](FirmwareImage& i) { VolumeWithDescriptor(i, 0, 0xFFF, kA); }, nullptr, 0xFFF},
    {"merged chains: a failure inside the higher volume but past the lower one's length",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x1000, kA);
         // Higher volume X: 0x8000..0xA000, its files lead to a failing file at 0x9800.
         i.Volume(0x8000, 0x2000).File(0x8000 + kFileAt, 0xB8).Descriptor(0x8000 + kRecordAt, kC);
         i.File(0x8100, 0x1700).File(0x9800, 0x100).BreakFileDataSum(0x9800);
         // Lower volume Y: 0x7000..0x9000, its first file steps onto X's chain at 0x8100.
         i.Volume(0x7000, 0x2000).FileHeader(0x7000 + kFileAt, 0x10B8, 0x00).Descriptor(0x7000 + kRecordAt, kB);
     },
     kB},
    {"merged chains: the lower volume's longer length reaches the failure",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x1000, kA);
         i.Volume(0x8000, 0x1000).File(0x8000 + kFileAt, 0xB8);
         i.File(0x8100, 0x1700).File(0x9800, 0x100).BreakFileDataSum(0x9800);
         i.Volume(0x7000, 0x3000).FileHeader(0x7000 + kFileAt, 0x10B8, 0x00).Descriptor(0x7000 + kRecordAt, kB);
     },
     kA},
    {"odd header length: the header sum takes in the byte at the header length",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x1000, kA);
         i.Volume(0x8000, 0x8000, 0x49).File(0x8049, 0x100, 0x00).Descriptor(0x8061, kB);
     },
     kA, kImage,
     // The file's first name byte, changed after the sums were fixed: only
     // the volume's header sum sees it.
     [](FirmwareImage& i) { i.Byte(0x8049, 0x01); }},
    {"odd header length: files then start on odd positions",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, 0x1000, kA);
         i.Volume(0x8000, 0x8000, 0x49).File(0x8049, 0x100).Descriptor(0x8061, kB);
         i.File(0x8149, 0x100).File(0x8249, 0x108);
     },
     kB},
    {"decoy volumes on every page fail or hold nothing; the image start holds the descriptor",
     [](FirmwareImage& i) {
         VolumeWithDescriptor(i, 0, kImage, kA);
         for (uint32_t page = 1; page < 16; ++page) {
             const uint32_t at = page * 0x1000;
             i.Volume(at, kImage - at).File(at + kFileAt, 0x100);
             if (page % 2) {
                 i.BreakFileDataSum(at + kFileAt);
             }
         }
     },
     kA},
};

TEST(FindBiosDescriptor, CraftedImagesGiveTheExpectedDescriptor) {
    for (const SearchCase& c : kSearchCases) {
        SCOPED_TRACE(c.name);
        FirmwareImage image(c.imageSize);
        c.build(image);
        image.Seal();
        if (c.afterSeal) {
            c.afterSeal(image);
        }
        SearchOutcome engine;
        ExpectSameOutcomes(image, &engine);
        if (c.expected == nullptr) {
            EXPECT_EQ(0, engine.result) << Describe(engine);
        } else {
            EXPECT_EQ(1, engine.result);
            EXPECT_EQ(std::string(c.expected, 8), std::string(engine.fields.PartNumber, 8));
        }
    }
}

TEST(FindBiosDescriptor, CopiesPartNumberAndDateOfTheRecord) {
    FirmwareImage image(kImage);
    image.Volume(0, kImage).File(kFileAt, 0x100).Descriptor(kRecordAt, "5R27HX9C", 0x5AA5, 0x07DC, 0x81, 0xFE);
    image.Seal();
    BiosDescriptorFields fields;
    ASSERT_EQ(1, FindBiosDescriptor(image.data(), image.size(), &fields));
    EXPECT_EQ(0, std::memcmp(fields.PartNumber, "5R27HX9C", 8));
    EXPECT_EQ(0x07DC, fields.Year);
    EXPECT_EQ(0x81, fields.Month);
    EXPECT_EQ(0xFE, fields.Day);
}

TEST(FindBiosDescriptor, NoImageFindsNothing) {
    BiosDescriptorFields fields;
    EXPECT_EQ(0, FindBiosDescriptor(nullptr, 0x10000, &fields));
    const uint8_t byte = 0;
    EXPECT_EQ(0, FindBiosDescriptor(&byte, 0, &fields));
}

// Recipes from a fixed seed: volumes, files and descriptors in every
// arrangement the recipe reader knows, compared with the reference.
TEST(FindBiosDescriptor, AgreesWithTheReferenceOnGeneratedImages) {
    std::mt19937 random(20240611);
    int found = 0;
    for (int n = 0; n < 1500; ++n) {
        std::vector<uint8_t> recipe(8 + random() % 300);
        for (uint8_t& b : recipe) {
            b = static_cast<uint8_t>(random());
        }
        const FirmwareImage image = testing::ImageFromRecipe(recipe.data(), recipe.size());
        SCOPED_TRACE("recipe " + std::to_string(n));
        SearchOutcome engine;
        ExpectSameOutcomes(image, &engine);
        found += engine.result;
        for (uint32_t back = 0x1000; back <= image.size(); back += 0x1000) {
            const uint32_t volume = image.size() - back;
            ASSERT_EQ(reference::VerifyFirmwareVolume(image.data(), image.size(), volume),
                      VerifyFirmwareVolume(image.data(), image.size(), volume))
                << "volume at " << volume;
        }
        if (::testing::Test::HasFailure()) {
            break;
        }
    }
    // The recipes must reach descriptors, or this test proves little.
    EXPECT_GT(found, 100);
}

// A 16 MiB image with a volume on every page that claims the rest of the
// image and holds a chain of small checksummed files running into the next
// page: a literal search walks every chain to the image end (quadratic).
// Only the volume at the image start holds a descriptor, so every candidate
// is tried. The search must finish well inside the test's time limit.
TEST(FindBiosDescriptor, DecoyOnEveryPageStaysLinear) {
    constexpr uint32_t kSize = 16u << 20;
    constexpr uint32_t kFile = 128;
    FirmwareImage image(kSize, 0x00);
    for (uint32_t at = 0; at < kSize; at += 0x1000) {
        image.Volume(at, kSize - at);
        uint32_t file = at + kFileAt;
        for (; file + kFile <= at + 0x1000 - 0x40; file += kFile) {
            image.File(file, kFile, kChecksummed, static_cast<uint8_t>(file >> 7));
        }
        // One unchecked file over the next volume's header to its first file.
        image.FileHeader(file, at + 0x1000 + kFileAt - file, 0x00);
    }
    image.Descriptor(kRecordAt, kA);
    image.Seal();
    for (const SearchFunction search : {FindBiosDescriptor, detail::FindBiosDescriptorEagerTables}) {
        BiosDescriptorFields fields;
        ASSERT_EQ(1, search(image.data(), image.size(), &fields));
        EXPECT_EQ(0, std::memcmp(fields.PartNumber, kA, 8));
    }
}

struct VerifyCase {
    const char* name;
    std::function<void(FirmwareImage&)> build;
    uint32_t volume;
    int expected;
};

constexpr uint32_t kSmall = 0x1000;

const VerifyCase kVerifyCases[] = {
    {"a sealed volume with checksummed files passes",
     [](FirmwareImage& i) { i.Volume(0x100, 0x400).File(0x148, 0x80).File(0x1C8, 0x31).File(0x200, 0x100); }, 0x100,
     1},
    {"the first 50 bytes must lie in the image",
     [](FirmwareImage& i) { i.Bytes(kSmall - 49, {}); }, kSmall - 49, 0},
    {"50 bytes at the image end with no header and no length pass",
     [](FirmwareImage& i) {
         i.Bytes(kSmall - 50 + 32, {0, 0, 0, 0}).Bytes(kSmall - 50 + 48, {0, 0});
     },
     kSmall - 50, 1},
    {"a volume starting past the image end fails", [](FirmwareImage&) {}, kSmall + 1, 0},
    {"header length 0 checks no words and walks from the volume start",
     [](FirmwareImage& i) { i.Volume(0x200, 0x100, 0).FileHeader(0x200, 0xFFFFFF, 0); },
     0x200, 1},
    {"a header length of the volume length or more walks no file",
     [](FirmwareImage& i) { i.Volume(0x200, 0x48).File(0x248, 0x100).BreakFileDataSum(0x248); }, 0x200, 1},
    {"a checksummed file smaller than its header sums no data",
     [](FirmwareImage& i) { i.Volume(0x200, 0x400).File(0x248, 8).File(0x250, 0x40); }, 0x200, 1},
    {"a checksummed file smaller than its header still needs a zero file checksum",
     [](FirmwareImage& i) { i.Volume(0x200, 0x400).File(0x248, 8).BreakFileDataSum(0x248); }, 0x200, 0},
};

TEST(VerifyFirmwareVolume, MatchesTheReferenceAndTheExpectedResult) {
    for (const VerifyCase& c : kVerifyCases) {
        SCOPED_TRACE(c.name);
        FirmwareImage image(kSmall);
        c.build(image);
        image.Seal();
        EXPECT_EQ(c.expected, VerifyFirmwareVolume(image.data(), image.size(), c.volume));
        EXPECT_EQ(c.expected, reference::VerifyFirmwareVolume(image.data(), image.size(), c.volume));
    }
}

}  // namespace
}  // namespace vossel
