// Where the running program is, for files that ship beside it.
#pragma once

#include <string>

namespace marrowfen {

// The directory of the running executable (/proc/self/exe) with a trailing '/', or "" when it
// cannot be read.
std::string executableDirectory();

}  // namespace marrowfen
