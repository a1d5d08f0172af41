// The small exports that read the engine state or pass one call on to the
// driver. Exported by name through Vossel.def.
#pragma once

#include <cstdint>

extern "C" {
void __cdecl Get_Flash_Info(void* record, unsigned size);
void __cdecl Get_Bios_Info(void* record, unsigned size);
void __cdecl Get_Bios_InfoEx(char* signOn, char* partNumber, int* biosType);
void __cdecl Get_Flash_InfoEx(char* flashType, int* flashSize);
void __cdecl Get_Progress_Status(int* status, int* percent, int* busy);
void __cdecl GetProgressStatusForHubrix(int* status, int* percent);
void __cdecl About_Dlg();
int __cdecl LoadCMOSDefault();
int __cdecl IsDualBiosSupported();
int __cdecl ChangeDualBiosExport(uint8_t selector);
int __cdecl CheckOemid(int a, int b);
}
