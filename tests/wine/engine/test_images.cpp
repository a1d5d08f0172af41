#include "test_images.h"

#include <gtest/gtest.h>

#include "image_builder.h"

namespace test_images {

namespace ib = vossel::imagebuilder;

std::string Bytes(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string Pattern(size_t size, uint32_t seed) { return Bytes(ib::PseudoRandomBytes(size, seed)); }

std::vector<uint8_t> AwardImage(uint32_t size, const char* part_number) {
    ib::AwardImageLayout layout;
    layout.Size = size;
    layout.SignatureOffset = 100;
    layout.Part = *ib::MakePartNumber(part_number);
    ib::BuiltImage image = ib::BuildAwardImage(layout);
    EXPECT_TRUE(image.ok()) << image.Error;
    return image.Bytes;
}

std::vector<uint8_t> UefiImage(uint32_t size, const char* part_number, uint16_t year, uint8_t month, uint8_t day) {
    ib::UefiRecipe recipe;
    recipe.Size = size;
    recipe.Descriptor.Part = *ib::MakePartNumber(part_number);
    recipe.Descriptor.Year = year;
    recipe.Descriptor.Month = month;
    recipe.Descriptor.Day = day;
    ib::UefiImageLayout layout;
    EXPECT_EQ(ib::DescribeUefiImage(recipe, &layout), "");
    ib::BuiltImage image = ib::BuildUefiImage(layout);
    EXPECT_TRUE(image.ok()) << image.Error;
    return image.Bytes;
}

}  // namespace test_images
