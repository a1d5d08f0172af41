// Messages of the update and save flows, with their captions and icons. The
// engine shows them with no owner window and an OK button.
#pragma once

#include "check_messages.h"

namespace vossel {

inline constexpr CheckMessage kMsgFailedToAllocate = {"Failed to allocate memory !", "Error", kIconError};
inline constexpr CheckMessage kMsgUpdateCompletedReboot = {
    "Completed! The computer will reboot.\nSave your data before pressing \"OK\".", "Message", kIconNone};
inline constexpr CheckMessage kMsgFlashBackupFailed = {"Flash backup BIOS failed!", "Error", kIconNone};
inline constexpr CheckMessage kMsgFlashMainFailed = {"Flash main BIOS failed!", "Error", kIconNone};

inline constexpr CheckMessage kMsgSaveCompleted = {"BIOS save completed !", "Message", kIconInformation};
inline constexpr CheckMessage kMsgSaveWriteFailed = {
    "Can't save ROM image to the file.\nPlease check hard drive space", "Error", kIconError};

inline constexpr CheckMessage kMsgCheckEnerloomFailed = {"Check Enerloom failed !", "ERROR", kIconNone};
inline constexpr CheckMessage kMsgTerminateEnerloomFailed = {"Terminate Enerloom failed !", "ERROR", kIconNone};
inline constexpr char kTerminateEnerloomQuestion[] =
    "In order to avoid race condition between programs, \nthis program will automatically terminate Enerloom. \n"
    "Do you want to continue ?";
inline constexpr char kTerminateEnerloomCaption[] = "Message";

// Calls the engine refuses before they change anything.
inline constexpr CheckMessage kMsgOperationRunning = {
    "Another BIOS update or save is running !\nPlease wait until it has ended.", "Error", kIconError};
inline constexpr CheckMessage kMsgImagePathUnusable = {
    "The path of the BIOS file cannot be used !\nA path must have 1 to 254 characters of the system's code page.",
    "Error", kIconError};
inline constexpr CheckMessage kMsgNoImageGiven = {"No BIOS image was given !", "Error", kIconError};
inline constexpr CheckMessage kMsgSavePathUnusable = {
    "The path of the file cannot be used !\nA path must have 1 to 259 characters of the system's code page.",
    "Error", kIconError};

}  // namespace vossel
