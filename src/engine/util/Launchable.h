// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>

namespace tarvo::engine {

// Whether handing the file to the desktop to open could run a program: an executable (ELF, a
// Windows or Mac program), a script (by its "#!" line or its name), a launcher (.desktop), a Java
// archive, an installer or a package. Told by the name and the first bytes, never by running it.
bool couldRunProgram(const std::filesystem::path& file);

} // namespace tarvo::engine
