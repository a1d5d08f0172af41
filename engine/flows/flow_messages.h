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

// The update from a server. Formats take the directory or file name, then the
// host; caption kFtpErrorCaption, no icon.
inline constexpr char kFtpErrorCaption[] = "ERROR";
inline constexpr char kMsgDirectoryMissingFormat[] = "Cann't find \"%s\" directory in \"%s\" ftp server";
inline constexpr char kMsgCatalogueMissingFormat[] = "Cann't get \"%s\" file in selected Zorvik server";
inline constexpr char kMsgImageMissingFormat[] = "Cann't get \"%s\" file in \"%s\" Zorvik server";
inline constexpr char kMsgDownloadFailedFormat[] =
    "The download of \"%s\" from \"%s\" Zorvik server broke off.\nNothing was written. Please try again.";
inline constexpr char kMsgDownloadTooLongFormat[] =
    "The file \"%s\" on \"%s\" Zorvik server is longer than any BIOS of this board.\nNothing was written.";
// A read from the server that did not return within the stall limit: the
// file, the host and the limit in seconds.
inline constexpr char kMsgTransferStalledFormat[] =
    "The download of \"%s\" from \"%s\" Zorvik server stood still for %u seconds.\nNothing was written. Please "
    "try again.";
// The file, the host and the limit in KiB.
inline constexpr char kMsgCatalogueTooLargeFormat[] =
    "The file \"%s\" on \"%s\" Zorvik server is longer than %u KiB, too long for a BIOS catalogue.\n"
    "Nothing was written.";

// The downloaded image beside the engine. Formats take the file's path (and
// the cause); caption kDownloadErrorCaption, error icon.
inline constexpr char kDownloadErrorCaption[] = "Error";
inline constexpr char kMsgDownloadNotSavedFormat[] =
    "Can't save the downloaded BIOS to \"%s\".\n%s\nNothing was written.";
inline constexpr char kSaveCauseReadOnly[] = "The file is read-only.";
inline constexpr char kSaveCauseInUse[] = "The file is in use by another program.";
inline constexpr char kSaveCauseDiskFull[] = "The disk is full.";
inline constexpr char kSaveCauseFolder[] = "A folder of that name is in the way.";
inline constexpr char kSaveCauseNotCreated[] = "The file cannot be created in that folder.";
inline constexpr char kMsgDownloadNotLoadedFormat[] =
    "The BIOS file \"%s\" does not hold what was downloaded.\nNothing was written. Please try again.";

}  // namespace vossel
