#include "problem.h"

#include "pest/name_index.h"

FileHandleTable::FileHandleTable() = default;

FileHandleTable::~FileHandleTable() { CloseAll(); }

void FileHandleTable::CloseAll() {
  for (std::FILE*& file : slot) {
    if (file != nullptr) {
      std::fclose(file);
      file = nullptr;
    }
  }
}
