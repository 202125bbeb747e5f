// An open C file that closes itself when its owner goes: the one owning handle of the readers
// and writers that keep a FILE* open for a while (the control, restart and method files, the
// case files of a search, the files of a captured search).
#pragma once

#include <cstdio>
#include <memory>

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;
