// FlashBiosEx and FlashBiosEx1: the unattended update of a UEFI board from an
// image file named by the caller. No window, no message box, no restart; the
// outcome is the result code. Exported by name through Vossel.def.
#pragma once

#include <cstdint>

// The result codes of both exports.
enum FileUpdateResult : uint8_t {
    // The image was written; also the answer, with nothing done, on a board
    // whose BIOS is not AMI UEFI.
    kFileUpdateWritten = 0,
    kFileUpdateNoBuffer = 1,
    // No path, a path of more than 254 characters, or a file that is missing,
    // unreadable or not of the part's size.
    kFileUpdateCannotLoad = 2,
    // A source other than a given file, a write kind FlashBiosEx1 does not
    // know, a driver write that returned 0, or another update or save running.
    kFileUpdateNotWritten = 4,
    kFileUpdateNoDescriptor = 5,
    kFileUpdateOtherPart = 6,
    kFileUpdateProgramTooOld = 7,
    // The driver's permission is 0, or the board protection rule refuses.
    kFileUpdateRefused = 8,
};

// FlashBiosEx1's choice of the driver's write.
enum FileUpdateWriteKind : int {
    kWriteKindMain = 0,    // W_Flash_Write
    kWriteKindBackup = 1,  // W_Flash_Write_BackupBios
    kWriteKindDual = 2,    // W_Flash_Write_DualBios
};

extern "C" {
// Writes the image file at path (source must be kSourceGivenFile) the way the
// driver's permission asks: 1 W_Flash_Write_DualBios, 2 W_Flash_Write, any
// other nonzero value no write at all (result 0). keepDmi goes to the driver
// as given.
uint8_t __cdecl FlashBiosEx(int source, const char* path, int keepDmi, int unused1, int unused2);
// The same with the write chosen by writeKind, under any nonzero permission.
uint8_t __cdecl FlashBiosEx1(int source, const char* path, int keepDmi, int unused1, int unused2, int writeKind);
}
