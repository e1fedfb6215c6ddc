#include "fs/tree.h"

#include "fs/attributes.h"
#include "fs/directory.h"
#include "fs/files.h"
#include "fs/hooks.h"
#include "os/path.h"

namespace talvi::fs {
namespace {

std::string Join(const std::string& folder, const std::string& name) {
  return folder + os::PathSeparator() + name;
}

bool IsDots(const std::string& name) {
  return name == "." || name == "..";
}

bool IsFolder(const DirEntry& e) {
  return e.attributes.find('D') != std::string::npos;
}

}  // namespace

bool COPYDIR(const std::string& source, const std::string& destination, bool create) {
  if (create && !CREATEDIR(destination)) {
    ShowInfo("Impossibile creare la cartella " + destination + ".");
    return false;
  }
  if (!SETFILEDATETIME(source, destination)) {
    ShowInfo("Impossibile impostare data e ora della cartella " + destination + ".");
    return false;
  }
  for (const DirEntry& e : ListDirectory(Join(source, "*.*"), "RHD")) {
    if (IsDots(e.name)) continue;
    const std::string from = Join(source, e.name);
    const std::string to = Join(destination, e.name);
    if (IsFolder(e)) {
      if (!COPYDIR(from, to, true)) return false;
    } else if (!COPYFILE(from, to)) {
      ShowInfo("Impossibile copiare il file " + from + ".");
      return false;
    }
  }
  return true;
}

bool DELETEDIR(const std::string& directory, bool remove) {
  for (const DirEntry& e : ListDirectory(Join(directory, "*.*"), "RHSD")) {
    if (IsDots(e.name)) continue;
    const std::string path = Join(directory, e.name);
    if (IsFolder(e)) {
      if (!DELETEDIR(path, true)) return false;
      continue;
    }
    CLEARREADONLY(path);
    CLEARHIDDEN(path);
    if (!DELETEFILE(path)) {
      ShowInfo("Impossibile cancellare il file " + path + ".");
      return false;
    }
    Refresh();
  }
  if (remove) {
    CLEARREADONLY(directory);
    CLEARHIDDEN(directory);
    if (!REMOVEDIR(directory)) {
      ShowInfo("Impossibile cancellare la cartella " + directory + ".");
      return false;
    }
  }
  return true;
}

}  // namespace talvi::fs
