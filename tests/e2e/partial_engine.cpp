// An engine library that lacks FlashBIOS, copied beside Kestrom as Vossel.dll:
// the front end must refuse it before calling any of its functions. Those it
// has do nothing.
#include <cstring>

extern "C" {
void __cdecl Get_Flash_Info(void* record, unsigned size) { std::memset(record, 0, size); }
void __cdecl Get_Bios_Info(void* record, unsigned size) { std::memset(record, 0, size); }
int __cdecl SaveBIOS(int, const char*) { return 0; }
void __cdecl Get_Progress_Status(int* status, int* percent, int* busy) {
    *status = 0;
    *percent = 100;
    *busy = 0;
}
}
