// Where the running program lives: the test and benchmark programs find the
// programs, libraries and files they start or copy beside themselves.
#pragma once

#include <string>

namespace robot {

// The folder of the running program, with its trailing backslash; empty on
// failure.
std::string ProgramDir();

}  // namespace robot
