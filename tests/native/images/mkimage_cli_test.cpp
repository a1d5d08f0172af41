// vossel-mkimage's command line: good arguments write exactly the library's
// image, bad ones are refused with exit code 2 and a message naming the fault.

#include "mkimage_cli.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "image_builder.h"

namespace {

using namespace vossel::imagebuilder;

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct CommandRun {
    int Exit;
    std::string Out;
    std::string Err;
};

CommandRun Mkimage(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int exit = RunMkImage(args, out, err);
    return {exit, out.str(), err.str()};
}

class MkimageCommand : public ::testing::Test {
protected:
    std::string Output(const char* name) const { return ::testing::TempDir() + "vossel-mkimage-" + name; }
};

TEST_F(MkimageCommand, AwardImageEqualsTheLibraryImage) {
    const std::string path = Output("award.bin");
    const CommandRun run = Mkimage({"award", "--size", "0x80000", "--part", "3K41ZT01", "--sig-offset", "100", "--filler",
                             "0", "-o", path});
    ASSERT_EQ(run.Exit, kMkImageMade) << run.Err;
    AwardImageLayout layout;
    layout.Size = 0x80000;
    layout.Part = *MakePartNumber("3K41ZT01");
    layout.SignatureOffset = 100;
    layout.Filler = 0;
    EXPECT_TRUE(ReadFile(path) == BuildAwardImage(layout).Bytes);
    EXPECT_NE(run.Out.find("3K41ZT01"), std::string::npos);
}

TEST_F(MkimageCommand, NegativeAndAbsentSignatureOffsets) {
    const std::string path = Output("award-edge.bin");
    for (const char* offset : {"-1", "none", "0x3FF"}) {
        SCOPED_TRACE(offset);
        ASSERT_EQ(Mkimage({"award", "--size", "512K", "--part", "3K41ZT01", "--sig-offset", offset, "-o", path}).Exit,
                  kMkImageMade);
        AwardImageLayout layout;
        layout.Size = 0x80000;
        layout.Part = *MakePartNumber("3K41ZT01");
        layout.SignatureOffset = std::string(offset) == "none" ? std::optional<int64_t>()
                               : std::string(offset) == "-1" ? std::optional<int64_t>(-1)
                                                             : std::optional<int64_t>(0x3FF);
        EXPECT_TRUE(ReadFile(path) == BuildAwardImage(layout).Bytes);
    }
}

TEST_F(MkimageCommand, UefiImageEqualsTheLibraryRecipe) {
    const std::string path = Output("uefi.bin");
    const CommandRun run = Mkimage({"uefi", "--size", "8M", "--part", "5R27HX9C", "--date", "2012-01-12", "--volume-offset",
                             "0x7F0000", "--volume-offset", "0", "--descriptor-volume", "1", "--break", "marker",
                             "--break", "file-size-zero", "-o", path});
    ASSERT_EQ(run.Exit, kMkImageMade) << run.Err;
    UefiRecipe recipe;
    recipe.Size = 0x800000;
    recipe.Descriptor.Part = *MakePartNumber("5R27HX9C");
    recipe.Descriptor.Year = 2012;
    recipe.Descriptor.Month = 1;
    recipe.Descriptor.Day = 12;
    recipe.VolumeOffsets = {0x7F0000, 0};
    recipe.DescriptorVolume = 1;
    recipe.Breaks = {ImageBreak::DescriptorMarker, ImageBreak::FileSizeZero};
    UefiImageLayout layout;
    ASSERT_EQ(DescribeUefiImage(recipe, &layout), "");
    EXPECT_TRUE(ReadFile(path) == BuildUefiImage(layout).Bytes);
    EXPECT_NE(run.Out.find("broken: marker"), std::string::npos) << run.Out;
}

TEST_F(MkimageCommand, BadArgumentsExitWithTwoAndSayWhy) {
    const std::string path = Output("never.bin");
    struct Case {
        std::vector<std::string> Args;
        const char* Says;
    };
    const Case cases[] = {
        {{}, "award or uefi"},
        {{"bios", "--size", "1M", "-o", path}, "unknown image kind"},
        {{"award", "--size", "0x80000", "--part", "3K41ZT0", "-o", path}, "bad part number"},
        {{"award", "--size", "0x80000", "--part", "3K41ZT012", "-o", path}, "bad part number"},
        {{"award", "--size", "0x8000g", "--part", "3K41ZT01", "-o", path}, "bad size"},
        {{"award", "--size", "0", "--part", "3K41ZT01", "-o", path}, "bad size"},
        {{"award", "--size", "0x100000000", "--part", "3K41ZT01", "-o", path}, "bad size"},
        {{"award", "--size", "5000M", "--part", "3K41ZT01", "-o", path}, "bad size"},
        {{"award", "--part", "3K41ZT01", "-o", path}, "--size is required"},
        {{"award", "--size", "0x80000", "--part", "3K41ZT01"}, "-o FILE is required"},
        {{"award", "--size", "0x80000", "--part"}, "needs a value"},
        {{"award", "--size", "0x80000", "--part", "3K41ZT01", "--sig-offset", "x", "-o", path}, "signature offset"},
        {{"award", "--size", "0x1000", "--part", "3K41ZT01", "-o", path}, "outside the image"},
        {{"award", "--size", "0x80000", "--part", "3K41ZT01", "--filler", "0x100", "-o", path}, "filler"},
        {{"award", "--size", "0x80000", "--part", "3K41ZT01", "--date", "2012-01-12", "-o", path}, "unknown option"},
        {{"uefi", "--size", "8M", "--part", "5R27HX9C", "-o", path}, "--date is required"},
        {{"uefi", "--size", "8M", "--part", "5R27HX9C", "--date", "2012/01/12", "-o", path}, "bad date"},
        {{"uefi", "--size", "8M", "--part", "5R27HX9C", "--date", "2012-01-12x", "-o", path}, "bad date"},
        {{"uefi", "--size", "8M", "--part", "5R27HX9C", "--date", "2012-256-1", "-o", path}, "bad date"},
        {{"uefi", "--size", "8M", "--part", "5R27HX9C", "--date", "2012-01-12", "--break", "all", "-o", path},
         "unknown break"},
        {{"uefi", "--size", "8M", "--part", "5R27HX9C", "--date", "2012-01-12", "--volume-offset", "8M", "-o", path},
         "outside the image"},
        {{"uefi", "--size", "8M", "--part", "5R27HX9C", "--date", "2012-01-12", "--descriptor-volume", "1", "-o",
          path},
         "names no volume"},
        {{"uefi", "--size", "8M", "--part", "5R27HX9C", "--date", "2012-01-12", "--sig-offset", "1", "-o", path},
         "unknown option"},
        {{"uefi", "--size", "0x80", "--part", "5R27HX9C", "--date", "2012-01-12", "-o", path}, "too short"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.Args) line += a + " ";
        SCOPED_TRACE(line);
        const CommandRun run = Mkimage(c.Args);
        EXPECT_EQ(run.Exit, kMkImageBadArguments);
        EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
        EXPECT_NE(run.Err.find("--help"), std::string::npos);
    }
    EXPECT_TRUE(ReadFile(path).empty()) << "a refused command wrote its output";
}

TEST_F(MkimageCommand, UnwritableOutputExitsWithOne) {
    const CommandRun run = Mkimage({"award", "--size", "0x80000", "--part", "3K41ZT01", "-o",
                             ::testing::TempDir() + "no-such-directory/out.bin"});
    EXPECT_EQ(run.Exit, kMkImageWriteFailed);
    EXPECT_NE(run.Err.find("cannot write"), std::string::npos);
}

TEST_F(MkimageCommand, HelpNamesEveryBreak) {
    const CommandRun run = Mkimage({"--help"});
    EXPECT_EQ(run.Exit, kMkImageMade);
    for (const ImageBreakName& row : kImageBreakNames) EXPECT_NE(run.Out.find(row.Name), std::string::npos) << row.Name;
}

TEST(ParseSize, AcceptsDecimalHexAndBinarySuffixes) {
    const struct {
        const char* Text;
        uint64_t Limit;
        bool Ok;
        uint64_t Value;
    } cases[] = {
        {"0x80000", 0xFFFFFFFF, true, 0x80000}, {"524288", 0xFFFFFFFF, true, 524288},
        {"512K", 0xFFFFFFFF, true, 0x80000},    {"0x10M", 0xFFFFFFFF, true, 0x1000000},
        {"8m", 0xFFFFFFFF, true, 0x800000},     {"0XFF", 0xFF, true, 0xFF},
        {"4096M", 0xFFFFFFFF, false, 0},        {"0x100", 0xFF, false, 0},
        {"", 0xFF, false, 0},                   {"0x", 0xFF, false, 0},
        {"K", 0xFF, false, 0},                  {"-1", 0xFF, false, 0},
        {"1 ", 0xFF, false, 0},                 {"99999999999999999999999", UINT64_MAX, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        uint64_t value = 12345;
        EXPECT_EQ(ParseSize(c.Text, c.Limit, &value), c.Ok);
        if (c.Ok) EXPECT_EQ(value, c.Value);
    }
}

}  // namespace
