#include "problem.h"

FileHandleTable::~FileHandleTable() { CloseAll(); }

void FileHandleTable::CloseAll() {
  for (std::FILE*& file : slot) {
    if (file != nullptr) {
      std::fclose(file);
      file = nullptr;
    }
  }
}
