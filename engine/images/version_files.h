// The program-version gate (verinfo.ini) and the series check (PN.INI), both
// read from the engine's own directory.
#pragma once

#include <string>

// 1 when this program may update the board, 0 when verinfo.ini asks for a
// newer program than programVersion. A missing file or entry lets it go on.
int CheckProgramVersion(const char* boardPartNumber, double programVersion);

// 1 when the 8 bytes of imagePartNumber equal the first 8 bytes of the
// board's PN entry in PN.INI (a shorter entry counts as padded with zero
// bytes), 0 when they differ or there is no entry.
int CheckSeriesNumber(const char* boardPartNumber, const char* imagePartNumber);

// Reads one INI value the way every engine INI read works: empty default,
// 255-byte buffer; a missing file, section or key reads as "".
std::string ReadIniValue(const char* file, const char* section, const char* key);

// The leading decimal number of text ("2.34abc" -> 2.34, "abc" -> 0).
double LeadingDecimal(const char* text);

// The board part number as the INI files name it: the record's text, at most
// its 8 characters.
std::string BoardPartNumberText(const char* recordField);
