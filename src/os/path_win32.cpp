#include "os/path.h"

namespace talvi::os {

std::string NetworkFolder() { return "C:\\ORVA\\NET"; }

std::string NativePath(std::string_view path) { return std::string(path); }

char PathSeparator() { return '\\'; }

}  // namespace talvi::os
