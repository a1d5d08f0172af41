#include "driver_table.h"

namespace {

// One slot of the table: where the pointer goes and the name it is exported
// under. The pointer types differ, so each slot carries its own store
// function; the loop below treats them alike.
struct Binding {
    const char* name;
    void (*store)(FlashDriverTable* table, FARPROC proc);
};

template <typename Member, Member FlashDriverTable::*slot>
void StoreEntry(FlashDriverTable* table, FARPROC proc) {
    table->*slot = reinterpret_cast<Member>(reinterpret_cast<void*>(proc));
}

#define VOSSEL_DRIVER_ENTRY(name) \
    Binding { #name, &StoreEntry<decltype(FlashDriverTable::name), &FlashDriverTable::name> }

constexpr Binding kBindings[] = {
    VOSSEL_DRIVER_ENTRY(W_Get_Flash_Info),
    VOSSEL_DRIVER_ENTRY(W_Get_Bios_Info),
    VOSSEL_DRIVER_ENTRY(W_Flash_Read),
    VOSSEL_DRIVER_ENTRY(W_Flash_Write),
    VOSSEL_DRIVER_ENTRY(W_Flash_Write_DualBios),
    VOSSEL_DRIVER_ENTRY(W_Flash_Write_BackupBios),
    VOSSEL_DRIVER_ENTRY(W_Flash_Write_Ex),
    VOSSEL_DRIVER_ENTRY(W_Get_Progress_Status),
    VOSSEL_DRIVER_ENTRY(W_Support_ENL),
    VOSSEL_DRIVER_ENTRY(W_Enable_ENL),
    VOSSEL_DRIVER_ENTRY(Load_CMOS_Default),
    VOSSEL_DRIVER_ENTRY(IsUtilityActive),
    VOSSEL_DRIVER_ENTRY(IsDualBiosSupported),
    VOSSEL_DRIVER_ENTRY(ChangeDualBiosExport),
    VOSSEL_DRIVER_ENTRY(EpCheckOemid),
};

#undef VOSSEL_DRIVER_ENTRY

static_assert(sizeof kBindings / sizeof kBindings[0] == kFlashDriverEntryCount,
              "every entry point of the driver table is bound");

}  // namespace

const char* BindFlashDriver(HMODULE library, FlashDriverTable* table) {
    *table = FlashDriverTable{};
    table->Library = library;
    for (const Binding& binding : kBindings) {
        FARPROC proc = GetProcAddress(library, binding.name);
        if (proc == nullptr) {
            *table = FlashDriverTable{};
            table->Library = library;
            return binding.name;
        }
        binding.store(table, proc);
    }
    return nullptr;
}
