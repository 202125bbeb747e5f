// The web start's form data: "CONTENT_LENGTH" is the input up to its first line end, the
// form data on standard input is the rest. Also decodes the whole input in place.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/web_start.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  const char* text = reinterpret_cast<const char*>(data);
  const void* newline = std::memchr(text, '\n', size);
  const std::size_t split = newline != nullptr ? static_cast<const char*>(newline) - text : size;
  const std::string content_length(text, split);
  std::vector<char> body(text + (split < size ? split + 1 : size), text + size);
  body.push_back('\0');  // fmemopen needs a buffer of at least one byte
  std::FILE* in = fmemopen(body.data(), body.size() - 1 > 0 ? body.size() - 1 : 1, "r");
  fuzz::Require(in != nullptr, "fmemopen");
  write_web_preamble(in, sink, split < size ? content_length.c_str() : nullptr);
  std::fclose(in);

  std::vector<char> copy(text, text + size);
  const std::size_t decoded = decode_form_data(copy.data(), copy.size());
  fuzz::Require(decoded <= size, "decoding made the form data longer");
  long length = 0;
  if (read_content_length(content_length.c_str(), length)) {
    fuzz::Require(length >= 0 && length <= static_cast<long>(kFormDataMax),
                  "CONTENT_LENGTH accepted out of range");
  }
  return 0;
}
