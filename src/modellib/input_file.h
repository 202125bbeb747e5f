// Opening and reading the files the program takes as input. Every reader of every subsystem
// opens its input through OpenInputFile, so that a directory, device or pipe named where a
// file belongs is refused at once (a device or a pipe may never end), and reads a whole file
// through ReadInputText, so that no input can make memory grow beyond the stated limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tarne {

// Largest input file a reader takes: far beyond any project, list, forcing, control,
// template, instruction or model output file, and small enough to be held in memory.
constexpr std::uint64_t kMaxInputFileBytes = std::uint64_t{1} << 30;
// Longest line a reader takes. No sensible line of any input comes near it.
constexpr std::size_t kMaxInputLine = std::size_t{1} << 20;

// What a path names when it is not a regular file: "a directory", "a character device",
// "a block device", "a pipe", "a socket" or "not a regular file"; empty for a regular file.
std::string FileKindOf(const std::string& path);

// Opens path for reading ("r" or "rb") when it names a regular file of at most max_bytes
// bytes. Otherwise returns null and sets reason: the system's reason when it cannot be
// opened (system_error, when not null, then gets its errno value, else 0), "it is a
// directory, not a regular file" and the like for anything but a regular file, or the size
// and the limit for a larger file. A pipe or device is never opened, so a refusal never
// blocks.
std::FILE* OpenInputFile(const std::string& path, const char* mode, std::uint64_t max_bytes,
                         std::string* reason, int* system_error = nullptr);

// Why ReadInputText refused a file; line is 0 when no line is to blame.
struct TextFault {
  long line = 0;
  std::string reason;
};

// Appends the rest of file to text, refusing a file that holds more than max_bytes bytes or
// a line longer than max_line characters (line end not counted) as soon as the reading
// reaches it, and a read error. Lines are counted from the position the reading starts at
// (line 1). False, with fault set, on a refusal.
bool ReadInputText(std::FILE* file, std::uint64_t max_bytes, std::size_t max_line,
                   std::string* text, TextFault* fault);

// The reason given for a line longer than max_line characters.
std::string LineLimitReason(std::size_t max_line);

}  // namespace tarne
