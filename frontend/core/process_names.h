// Which running processes the front end looks for by executable file name:
// the boot-logo utility that must not run beside it and the conflicting
// programs it ends before loading the engine, with the name match both use.
// The snapshots, the opening and the ending of processes stay with the front
// end. Portable: no Windows header.
#pragma once

#include <cstddef>

namespace vossel {

// While a process of this name runs, the front end refuses to start.
inline constexpr char kBootLogoUtilityName[] = "imprinta.exe";

// Ended, every running copy of each, in this order, once the user consents.
inline constexpr const char* kConflictingProgramNames[] = {"brumo.exe", "trivex.exe", "plorvad.exe"};

// Whether an executable file name found in a process walk is target: whole
// name against whole name, letters A to Z equal to a to z, every other byte
// (those of 0x80 and above included) only to itself. "BRUMO.EXE" and
// "Brumo.Exe" match "brumo.exe"; "xbrumo.exe", "brumo.exe.bak" and "brumo"
// do not. The found name is read up to its first zero byte but never past
// foundCapacity bytes (the record's file-name field or the name buffer),
// so a field the platform left unterminated is taken as foundCapacity
// characters, not read beyond. target is terminated.
bool SameExecutableName(const char* found, size_t foundCapacity, const char* target);

}  // namespace vossel
