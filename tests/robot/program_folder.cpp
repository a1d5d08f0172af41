#include "program_folder.h"

#include <windows.h>

namespace robot {

std::string ProgramDir() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return {};
    std::string dir(path, length);
    dir.erase(dir.find_last_of('\\') + 1);
    return dir;
}

}  // namespace robot
