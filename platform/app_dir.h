#pragma once
// The application directory: every file the program keeps is addressed relative to it.
#include <string>
#include <string_view>

namespace ocv {

// Directory of the running executable, without a trailing separator. Computed once from
// /proc/self/exe; tests point it elsewhere with SetAppDir (the program reads no environment).
const std::string& AppDir();
void SetAppDir(std::string dir);

// AppDir() + "/" + name, or "./" + name when AppDir is empty.
std::string AppPath(std::string_view name);

}  // namespace ocv
