// The four lines of the information panel, from the records the engine
// reported.
#pragma once

#include <cstdint>
#include <string>

// "2M bits" ... "128M bits" for the listed part sizes, "Unknown" otherwise.
std::string FlashSizeText(uint32_t flashSize);
// "AWARD BIOS", "AMI BIOS", "AMI UEFI BIOS" or "Unknown BIOS".
std::string BiosVendorText(int32_t biosType);
