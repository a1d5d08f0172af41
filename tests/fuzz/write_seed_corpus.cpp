// Writes the fuzz targets' starting corpora: image recipes (from a fixed
// seed) that reach a found descriptor, a verified volume without one, or a
// failing walk, a few placement inputs, some marked texts and catalogues.
// Usage: write_seed_corpus <dir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "descriptor_search.h"
#include "image_recipe.h"

namespace fs = std::filesystem;

namespace {

void WriteSeed(const fs::path& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    const fs::path search = root / "fuzz_descriptor_search";
    const fs::path verify = root / "fuzz_verify_volume";
    const fs::path placement = root / "fuzz_image_placement";
    const fs::path marked = root / "fuzz_marked_text";
    const fs::path catalogue = root / "fuzz_catalogue";
    const fs::path shape = root / "fuzz_window_shape";
    const fs::path digest = root / "fuzz_catalogue_digest";
    for (const fs::path& dir : {search, verify, placement, marked, catalogue, shape, digest}) {
        fs::create_directories(dir);
    }

    std::mt19937 random(7);
    int found = 0;
    int verifiedOnly = 0;
    for (int n = 0; n < 20000 && (found < 24 || verifiedOnly < 24); ++n) {
        std::vector<uint8_t> recipe(16 + random() % 200);
        for (uint8_t& b : recipe) {
            b = static_cast<uint8_t>(random());
        }
        const vossel::testing::FirmwareImage image = vossel::testing::ImageFromRecipe(recipe.data(), recipe.size());
        vossel::BiosDescriptorFields fields;
        const bool hasDescriptor = vossel::FindBiosDescriptor(image.data(), image.size(), &fields) == 1;
        bool verified = false;
        for (uint32_t back = 4096; back <= image.size() && !verified; back += 4096) {
            verified = vossel::VerifyFirmwareVolume(image.data(), image.size(), image.size() - back) == 1;
        }
        const std::string name = "recipe" + std::to_string(n);
        if (hasDescriptor && found < 24) {
            ++found;
            WriteSeed(search, name, recipe);
            recipe.insert(recipe.begin(), {static_cast<uint8_t>(n), 0});
            WriteSeed(verify, name, recipe);
        } else if (verified && !hasDescriptor && verifiedOnly < 24) {
            ++verifiedOnly;
            WriteSeed(search, name, recipe);
            recipe.insert(recipe.begin(), {static_cast<uint8_t>(n), 0});
            WriteSeed(verify, name, recipe);
        }
    }

    // Placement: the three 512 KiB load cases and a mode decision of each kind.
    WriteSeed(placement, "load384", {0, 1, 1});
    WriteSeed(placement, "load256", {0, 1, 2, 0x5A, 0xA5});
    WriteSeed(placement, "loadExact", {0, 1, 0});
    WriteSeed(placement, "enlarge", {1, 1, 1, 3, 4, 1});
    WriteSeed(placement, "upperHalf", {1, 1, 1, 4, 3, 0});
    WriteSeed(placement, "memoryTooLong", {1, 0, 0, 3, 9, 0xFF, 0xFF, 0xFF, 0x7F, 0});
    WriteSeed(placement, "modeTwoLeftInForce", {1, 1, 6, 4, 3, 1});

    // Marked texts: the engine's question, lines that fill and overflow the
    // work space, red across lines and an unclosed mark.
    const auto text = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    WriteSeed(marked, "question",
              text("#The screen will freeze for a few seconds# \n#while updating the BIOS.#\n"
                   "Do you want to update the BIOS ?"));
    WriteSeed(marked, "redInLine", text("A#B#C"));
    WriteSeed(marked, "redAcrossLines", text("#red\n\nstill red#\n"));
    WriteSeed(marked, "unclosed", text("ok\n##\n#open"));
    WriteSeed(marked, "fullLine", text(std::string(254, 'y') + "\n" + std::string(253, 'z') + "#ab#\n"));
    WriteSeed(marked, "overlongLine", text(std::string(250, 'x') + "#abcdefghij#tail\n" + std::string(300, 'w')));

    // Catalogues: the model selection, the site selection, where the part
    // number comes from, then one INI text for config.ini and bios.ini.
    const auto ini = [](uint8_t model, uint8_t site, uint8_t partFromText, const std::string& s) {
        std::vector<uint8_t> bytes = {model, site, partFromText};
        bytes.insert(bytes.end(), s.begin(), s.end());
        return bytes;
    };
    WriteSeed(catalogue, "secondNumbering",
              ini(1, 1, 0,
                  "[SERVER]\n0=Main\n1=Mirror\nDefault=1\n[1]\nAddress=ftp.mirror.example\nDirectory=/bios\n"
                  "[8IK1100X]\nNAME=8IK1100\nFLAG=1\nNEW0=8IK1100 F5\nNEW1=8IK1100 F6\nFC1=2\nINFO10=Note\n"));
    WriteSeed(catalogue, "warning",
              ini(0xFF, 0, 1,
                  "[8ik1100x]\n0=rev 1.0 F3\nWARN0=2.35\nWMSG00=#Update# first\nWMSG01=then retry\n"
                  "WMSG0TITLE=Newer tool\nINFO-10=none\n[SERVER]\n0=Only\n[0]\nAddress=" +
                      std::string(30, 'a') + "\n"));
    WriteSeed(catalogue, "collidingKeys",
              ini(11, 0xFF, 0,
                  "[8IK1100X]\n0=a\n1=b\n2=c\n3=d\n4=e\n5=f\n6=g\n7=h\n8=i\n9=j\n10=k\n11=l F9\nWARN11=9\n"
                  "WMSG110=shared\nWMSG111=next\nFC11=1e999\n"));

    // Digests and signatures: flags, then the value.
    const auto flagged = [](uint8_t flags, const std::string& s) {
        std::vector<uint8_t> bytes = {flags};
        bytes.insert(bytes.end(), s.begin(), s.end());
        return bytes;
    };
    WriteSeed(digest, "digest", flagged(0x0B, "00112233445566778899aabbccddeeff0123456789ABCDEFfedcba9876543210"));
    WriteSeed(digest, "shortDigest", flagged(0x03, "00112233445566778899aabbccddeeff0123456789abcdeffedcba987654321"));
    WriteSeed(digest, "signatureSized", flagged(0x07, std::string(64, '\x5A')));

    // Window shapes: width - 1, height - 1, flags (1 bottom-up, 2 raw pixels,
    // 4 the skin's key, 8 one byte short), then the picture. 0x22 makes every
    // other pixel opaque, so 16 x 250 pixels fill one batch exactly and one
    // row more starts the next.
    WriteSeed(shape, "holes", {4, 3, 4 | 1, 0x0C, 0x00, 0x00, 0x0E, 0x0A, 0x00, 0xFF});
    WriteSeed(shape, "fullBatch", {15, 249, 4, 0x22});
    WriteSeed(shape, "batchAndOneRow", {15, 250, 4 | 1 | 8, 0x22});
    WriteSeed(shape, "rawToleranceEdges",
              {3, 1, 4 | 2, 255, 0, 255, 0, 255, 16, 255, 0, 255, 17, 255, 0, 254, 0, 255, 0});
    WriteSeed(shape, "ownKey", {7, 7, 0, 0xFF, 0x00, 0x00, 0x00, 0x20, 0x00, 0x1B, 0xE4, 0x93});

    std::printf("seeds: %d with a descriptor, %d with a verified volume only\n", found, verifiedOnly);
    return found > 0 && verifiedOnly > 0 ? 0 : 1;
}
