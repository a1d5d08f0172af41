// Every message the image placement and validation decisions can end in, with
// its caption and icon, in one place. The engine shows them in a message box
// with no owner window and an OK button.
#pragma once

namespace vossel {

// Our own names for the message-box icons, so no Windows header is needed
// here; the engine maps them to MB_ICON* values.
enum MessageIcon : int {
    kIconNone,
    kIconError,
    kIconInformation,
    kIconWarning,
};

struct CheckMessage {
    const char* text;
    const char* caption;
    MessageIcon icon;
};

// Placement of an image in the image buffer.
inline constexpr CheckMessage kMsgUnexpectedProblem = {
    "The unexpected problem occur during updating the BIOS!", "Error", kIconError};
inline constexpr CheckMessage kMsgMemoryAllocateFailed = {"The memory allocate failed!", "Error", kIconError};
inline constexpr CheckMessage kMsgCannotLoadImage = {
    "Can not load ROM image from BIN file.\nMaybe BIN file size not match.", "Error", kIconError};

// Byte sum of a downloaded image.
inline constexpr CheckMessage kMsgBiosFileNotCorrect = {
    "The BIOS file is not correct !\nPlease download again.", "Error", kIconNone};

// Validation of the placed image against the board.
inline constexpr CheckMessage kMsgAwardPartNumber = {"BIOS Partnumber(AWARD) is not correct !", "Error", kIconNone};
inline constexpr CheckMessage kMsgNewBiosType = {"The new BIOS type is not correct !", "Error", kIconNone};
inline constexpr CheckMessage kMsgSeriesNumber = {
    "The series number of the new BIOS is not correct!", "Error", kIconNone};
inline constexpr CheckMessage kMsgUefiPartNumber = {"BIOS Partnumber is not correct !", "Error", kIconNone};
inline constexpr CheckMessage kMsgUpdateUtility = {
    "Please update Zorvik to the latest version then start updating your system BIOS.", "Information ", kIconNone};
// The driver refuses the image (with the final full stop) ...
inline constexpr CheckMessage kMsgProtectedByDriver = {
    "This motherboard is protected from using this BIOS. \nPlease download the latest BIOS from Norvane website to "
    "update BIOS again.",
    "Error", kIconNone};
// ... and the board protection rule refuses it (without it).
inline constexpr CheckMessage kMsgProtectedByRule = {
    "This motherboard is protected from using this BIOS. \nPlease download the latest BIOS from Norvane website to "
    "update BIOS again",
    "Error", kIconNone};
inline constexpr CheckMessage kMsgBiosVendor = {"The BIOS vendor is not correct!", "Error", kIconNone};

}  // namespace vossel
