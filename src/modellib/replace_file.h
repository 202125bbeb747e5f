// Writing a file whole beside its old version and renaming it over that version, so that a
// reader (or a resumed run after a kill) finds either the old or the new content, never half
// of one. Used for "tarne.in", "jac.txt", the restart files and the global methods' restart
// files; and reading a file the program wrote itself back whole.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

// How the data reaches the disk before the rename.
enum class FileSync {
  kNone,     // as the system writes it back
  kOnDisk,   // flushed to the disk first, for files a resumed run relies on
};

// Writes name through "<name>.tmp": write fills the open file and returns false on a failed
// write. Returns false after one line naming the file and the reason ("cannot create
// <name>.tmp: ..." or "cannot write <name>: ..."); the temporary file is then removed and
// name keeps its old content.
bool ReplaceFile(const std::string& name, const std::function<bool(std::FILE*)>& write,
                 FileSync sync);
// The same with the whole content given.
bool ReplaceFile(const std::string& name, const std::string& content, FileSync sync);

// The whole content of the file name, as bytes; false when it cannot be opened or read.
bool ReadFileWhole(const std::string& name, std::string* content);
