// The unattended update from the built-in servers, for the maker's update
// manager: BiosUpdateCheck finds a newer BIOS and remembers its server,
// UpdateBiosByUpdateManager downloads and writes it, and
// DownloadStatusForUpdateManager tells how far the download has got. No
// window is ever shown; everything is said by the results.
#pragma once

#include <cstdint>

// Results of UpdateBiosByUpdateManager: Windows system error codes.
enum UpdateManagerResult : int {
    kUpdateWritten = 0,
    kUpdateProgramTooOld = 1,         // ERROR_INVALID_FUNCTION
    kUpdateRefusedByBoard = 9,        // ERROR_INVALID_BLOCK
    kUpdateBadImage = 11,             // ERROR_BAD_FORMAT
    kUpdateImageTooLong = 13,         // ERROR_INVALID_DATA
    kUpdateDigestMismatch = 13,       // ERROR_INVALID_DATA: not the image the catalogue's digest pins
    kUpdateNoMemory = 14,             // ERROR_OUTOFMEMORY
    kUpdateWriteFailed = 82,          // ERROR_CANNOT_MAKE
    kUpdateImageMissing = 110,        // ERROR_OPEN_FAILED
    kUpdateBusy = 170,                // ERROR_BUSY
    kUpdateWrongFamily = 222,         // ERROR_BAD_FILE_TYPE
    kUpdateNoDirectory = 267,         // ERROR_DIRECTORY
    kUpdateNoConnection = 12003,      // ERROR_INTERNET_EXTENDED_ERROR
    kUpdateTransferBrokeOff = 12030,  // ERROR_INTERNET_CONNECTION_ABORTED
};

// DownloadStatus values.
enum DownloadStatusValue : uint8_t {
    kDownloadNone = 0,
    kDownloadRunning = 1,
    kDownloadFinished = 2,
};

extern "C" {
int __cdecl BiosUpdateCheck(char* text, unsigned textSize);
int __cdecl UpdateBiosByUpdateManager();
uint8_t __cdecl DownloadStatusForUpdateManager();
}
