// A flash driver that lacks W_Flash_Write_Ex: the engine must refuse to start
// on it. Every function it has counts its calls, so a test can tell that the
// engine called none of them.
#include <atomic>

namespace {
std::atomic<int> g_calls{0};
int Called() { return ++g_calls, 1; }
}  // namespace

extern "C" {
int __cdecl PartialDriver_Calls() { return g_calls.load(); }
int __cdecl W_Get_Flash_Info(void*, unsigned) { return Called(); }
int __cdecl W_Get_Bios_Info(void*, unsigned) { return Called(); }
int __cdecl W_Flash_Read(unsigned char*, unsigned*) { return Called(); }
int __cdecl W_Flash_Write(unsigned char*, unsigned, int) { return Called(); }
int __cdecl W_Flash_Write_DualBios(unsigned char*, unsigned, int) { return Called(); }
int __cdecl W_Flash_Write_BackupBios(unsigned char*, unsigned, int) { return Called(); }
int __cdecl W_Get_Progress_Status(int*, int*) { return Called(); }
int __cdecl W_Support_ENL(unsigned char*, unsigned char*) { return Called(); }
int __cdecl W_Enable_ENL(int) { return Called(); }
int __cdecl Load_CMOS_Default() { return Called(); }
int __cdecl IsUtilityActive(unsigned char*, unsigned, unsigned char*) { return Called(); }
int __cdecl IsDualBiosSupported() { return Called(); }
int __cdecl ChangeDualBiosExport(unsigned) { return Called(); }
int __cdecl EpCheckOemid(int, int) { return Called(); }
}
