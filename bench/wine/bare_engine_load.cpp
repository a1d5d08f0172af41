// The command-line benchmark's baseline: loads Vossel.dll from this
// program's folder, as vossel.exe does, and returns (0 loaded, 1 not).
#include <windows.h>

#include <string>

int main() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return 1;
    std::string engine(path, length);
    engine.erase(engine.find_last_of('\\') + 1);
    engine += "Vossel.dll";
    HMODULE module = LoadLibraryA(engine.c_str());
    if (module == nullptr) return 1;
    FreeLibrary(module);
    return 0;
}
