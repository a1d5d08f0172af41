// The fifteen entry points of flash.dll, the simulated flash driver. Callers
// bind them by name at run time; this header declares them for the driver's
// own definitions. Every entry point uses the C calling convention and returns
// a 32-bit int, nonzero for success.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

int __cdecl W_Get_Flash_Info(void* record, unsigned size);
int __cdecl W_Get_Bios_Info(void* record, unsigned size);
int __cdecl W_Flash_Read(unsigned char* buffer, unsigned* count);
int __cdecl W_Flash_Write(unsigned char* image, unsigned length, int keepDmi);
int __cdecl W_Flash_Write_DualBios(unsigned char* image, unsigned length, int keepDmi);
int __cdecl W_Flash_Write_BackupBios(unsigned char* image, unsigned length, int keepDmi);
int __cdecl W_Flash_Write_Ex(unsigned char* image, unsigned length, int keepDmi, int kind);
int __cdecl W_Get_Progress_Status(int* status, int* percent);
int __cdecl W_Support_ENL(unsigned char* present, unsigned char* active);
int __cdecl W_Enable_ENL(int enable);
int __cdecl Load_CMOS_Default(void);
int __cdecl IsUtilityActive(unsigned char* image, unsigned length, unsigned char* permission);
int __cdecl IsDualBiosSupported(void);
int __cdecl ChangeDualBiosExport(unsigned selector);
int __cdecl EpCheckOemid(int a, int b);

#ifdef __cplusplus
}
#endif
