#include "modellib/output_file.h"

#include <unistd.h>

#include <cstdio>

#include "modellib/tarne_lib.h"

namespace tarne {

bool OpenOutput(gFILE* file, const char* name) {
  return file->open(name, "r+") || file->open(name, "w");
}

bool FinishOutput(gFILE* file) {
  if (file->fp == nullptr) return false;
  bool ok = std::fflush(file->fp) == 0 && std::ferror(file->fp) == 0;
  const long length = std::ftell(file->fp);
  if (ok && length >= 0) ok = ftruncate(fileno(file->fp), static_cast<off_t>(length)) == 0;
  file->close();
  return ok;
}

}  // namespace tarne
