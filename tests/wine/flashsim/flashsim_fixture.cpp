#include "flashsim_fixture.h"

#include <sstream>

namespace {

template <class Fn>
void Bind(HMODULE module, Fn& slot, const char* name) {
    slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (slot == nullptr) {
        ADD_FAILURE() << "flash.dll does not export " << name;
    }
}

}  // namespace

#define FLASHSIM_BIND(name) Bind(module_, driver_.name, #name)

void FlashSimTest::SetUp() {
    const std::string copy = temp_.File("flash.dll");
    ASSERT_TRUE(CopyFileA((ProgramDir() + "flash.dll").c_str(), copy.c_str(), TRUE))
        << "the built flash.dll lies beside the test program";
    module_ = LoadLibraryA(copy.c_str());
    ASSERT_NE(module_, nullptr);
    FLASHSIM_BIND(W_Get_Flash_Info);
    FLASHSIM_BIND(W_Get_Bios_Info);
    FLASHSIM_BIND(W_Flash_Read);
    FLASHSIM_BIND(W_Flash_Write);
    FLASHSIM_BIND(W_Flash_Write_DualBios);
    FLASHSIM_BIND(W_Flash_Write_BackupBios);
    FLASHSIM_BIND(W_Flash_Write_Ex);
    FLASHSIM_BIND(W_Get_Progress_Status);
    FLASHSIM_BIND(W_Support_ENL);
    FLASHSIM_BIND(W_Enable_ENL);
    FLASHSIM_BIND(Load_CMOS_Default);
    FLASHSIM_BIND(IsUtilityActive);
    FLASHSIM_BIND(IsDualBiosSupported);
    FLASHSIM_BIND(ChangeDualBiosExport);
    FLASHSIM_BIND(EpCheckOemid);
    if (const char* missing = driver_.FlashSimControls::Bind(module_)) {
        ADD_FAILURE() << "flash.dll does not export " << missing;
    }
}

void FlashSimTest::TearDown() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}

void FlashSimTest::WriteBoardFile(const BoardFile& board) const {
    ::WriteBoardFile(temp_.File("flashsim.ini"), board);
}

void FlashSimTest::UseBoard(const BoardFile& board) {
    WriteBoardFile(board);
    ASSERT_EQ(driver_.FlashSim_LoadBoard(nullptr), 1) << LastError();
}

Bytes FlashSimTest::FileBytes(const std::string& name) const {
    const std::string bytes = ReadFileBytes(temp_.File(name));
    return Bytes(bytes.begin(), bytes.end());
}

void FlashSimTest::SetFileBytes(const std::string& name, const Bytes& bytes) const {
    WriteFileBytes(temp_.File(name), std::string(bytes.begin(), bytes.end()));
}

std::vector<std::string> FlashSimTest::JournalLines() const { return ReadLines(driver_.FlashSim_JournalPath()); }

Bytes FlashSimTest::ReadFlash(unsigned size) {
    Bytes buffer(size + 1, 0x00);
    unsigned count = size + 1;
    EXPECT_EQ(driver_.W_Flash_Read(buffer.data(), &count), 1) << LastError();
    EXPECT_EQ(count, size) << "the count tells the bytes read";
    buffer.resize(size);
    return buffer;
}

Bytes Pattern(unsigned size, unsigned seed) {
    Bytes bytes(size);
    unsigned value = seed * 2654435761u + 1;
    for (unsigned char& byte : bytes) {
        value = value * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(value >> 16);
    }
    return bytes;
}
