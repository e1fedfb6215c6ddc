// SPDX-License-Identifier: MIT
#include "fs/tree.h"

#include "fs/attributes.h"
#include "fs/directory.h"
#include "fs/files.h"
#include "fs/hooks.h"
#include "os/attributes.h"
#include "os/files.h"
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

// A link is an entry of its own: a tree is never left through one.
bool IsLink(const std::string& path) {
  return os::IsLink(os::NativePath(path));
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
    if (e.link) {
      // Copied as a link to the same place, never what it names.
      if (!os::CopyLink(os::NativePath(from), os::NativePath(to))) {
        ShowInfo(IsFolder(e) ? "Impossibile creare la cartella " + to + "."
                             : "Impossibile copiare il file " + from + ".");
        return false;
      }
    } else if (IsFolder(e)) {
      if (!COPYDIR(from, to, true)) return false;
    } else if (!COPYFILE(from, to)) {
      ShowInfo("Impossibile copiare il file " + from + ".");
      return false;
    }
  }
  return true;
}

bool DELETEDIR(const std::string& directory, bool remove) {
  // A link given as the folder: the link goes (when asked), what it names
  // is not touched.
  const bool link = IsLink(directory);
  for (const DirEntry& e :
       link ? std::vector<DirEntry>() : ListDirectory(Join(directory, "*.*"), "RHSD")) {
    if (IsDots(e.name)) continue;
    const std::string path = Join(directory, e.name);
    if (IsFolder(e) && e.link) {
      // A folder link is removed as the folder it stands for would be.
      CLEARREADONLY(path);
      CLEARHIDDEN(path);
      if (!REMOVEDIR(path)) {
        ShowInfo("Impossibile cancellare la cartella " + path + ".");
        return false;
      }
      Refresh();
      continue;
    }
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
