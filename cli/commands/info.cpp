// vossel info: the flash part, the BIOS and the board.
#include <cstdio>

#include "commands.h"
#include "check_report.h"
#include "console_text.h"
#include "engine_binding.h"
#include "json_output.h"
#include "records.h"

namespace vcli {
namespace {

std::string SizeText(uint32_t bytes) {
    const unsigned long long bits = static_cast<unsigned long long>(bytes) * 8;
    if (bits >= (1ull << 20) && bits % (1ull << 20) == 0) return Format("%lluM bits", bits >> 20);
    if (bits >= (1ull << 10) && bits % (1ull << 10) == 0) return Format("%lluK bits", bits >> 10);
    return Format("%llu bits", bits);
}

}  // namespace

int cmd_info(const Engine& engine, const Options& options) {
    FLASH_INFO flash = {};
    BIOS_INFO bios = {};
    engine.Get_Flash_Info(&flash, kFlashInfoSize);
    engine.Get_Bios_Info(&bios, kBiosInfoSize);
    const bool dual = engine.IsDualBiosSupported() != 0;
    unsigned char present = 0, active = 0;
    const bool saver_known = engine.W_Support_ENL(&present, &active) != 0;
    const std::string type = Field(flash.FlashType, sizeof flash.FlashType);
    const std::string part = Field(bios.BiosPartNumber, sizeof bios.BiosPartNumber);
    const std::string sign_on = Field(bios.SignOnMessage, sizeof bios.SignOnMessage);
    if (options.json) {
        JsonOutput json;
        json.Str("flashType", type)
            .Int("flashSize", flash.FlashSize)
            .Str("flashSizeText", SizeText(flash.FlashSize))
            .Str("biosFamily", FamilyName(bios.BiosType))
            .Int("biosType", bios.BiosType)
            .Str("partNumber", part)
            .Str("signOn", sign_on)
            .Bool("dualBios", dual);
        if (saver_known) {
            json.Bool("powerSaverPresent", present != 0).Bool("powerSaverActive", active != 0);
        } else {
            json.Null("powerSaverPresent").Null("powerSaverActive");
        }
        json.Print();
        return kExitOk;
    }
    printf("flash part:   %s\n", type.c_str());
    printf("flash size:   %u bytes (%s)\n", static_cast<unsigned>(flash.FlashSize), SizeText(flash.FlashSize).c_str());
    printf("BIOS family:  %s\n", FamilyName(bios.BiosType));
    printf("part number:  %s\n", part.c_str());
    printf("sign-on:      %s\n", sign_on.c_str());
    printf("dual BIOS:    %s\n", dual ? "yes" : "no");
    if (saver_known) {
        printf("power saver:  %s, %s\n", present ? "present" : "not present", active ? "active" : "not active");
    } else {
        printf("power saver:  unknown (the driver does not tell)\n");
    }
    return kExitOk;
}

}  // namespace vcli
