#include "panel_lines.h"

std::string FlashSizeText(uint32_t flashSize) {
    switch (flashSize) {
    case 262144: return "2M bits";
    case 393216: return "3M bits";
    case 524288: return "4M bits";
    case 1048576: return "8M bits";
    case 2097152: return "16M bits";
    case 4194304: return "32M bits";
    case 8388608: return "64M bits";
    case 16777216: return "128M bits";
    default: return "Unknown";
    }
}

std::string BiosVendorText(int32_t biosType) {
    switch (biosType) {
    case 1: return "AWARD BIOS";
    case 2: return "AMI BIOS";
    case 3: return "AMI UEFI BIOS";
    default: return "Unknown BIOS";
    }
}
