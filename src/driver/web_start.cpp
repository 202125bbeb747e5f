#include "driver/web_start.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/banners.h"
#include "modellib/file_error.h"

bool is_web_start(const char* program_name) {
  return program_name != nullptr && std::strstr(program_name, "web") != nullptr;
}

bool read_content_length(const char* text, long& length) {
  if (text == nullptr) return false;
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const char* digits = (*p == '+' || *p == '-') ? p + 1 : p;
  if (!std::isdigit(static_cast<unsigned char>(*digits))) return false;  // no empty text
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(p, &end, 10);
  while (std::isspace(static_cast<unsigned char>(*end))) ++end;
  // A negative length would make the line read below meaningless: refuse it like junk.
  if (*end != '\0' || errno == ERANGE || value < 0 || value > static_cast<long>(kFormDataMax))
    return false;
  length = value;
  return true;
}

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads one line of at most limit characters (the line end included when it fits), as a
// line read into a buffer of limit + 1 characters would. Returns the number of bytes read.
std::size_t ReadFormLine(std::FILE* in, char* buffer, std::size_t limit) {
  std::size_t count = 0;
  while (count < limit) {
    const int c = std::fgetc(in);
    if (c == EOF) break;
    buffer[count++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[count] = '\0';
  return count;
}

// Why the form data read is not the whole form "CONTENT_LENGTH" announced, or nothing when it
// is: the input ended (or failed) before that many bytes and before the line end that also
// ends a form line.
std::string FormDataShortfall(std::FILE* in, const char* form_data, std::size_t read,
                              long announced) {
  if (read >= static_cast<std::size_t>(announced)) return "";
  if (read > 0 && form_data[read - 1] == '\n') return "";
  std::string reason = "CONTENT_LENGTH announces " + std::to_string(announced) +
                       " bytes but the input ended after " + std::to_string(read);
  if (std::ferror(in) != 0 && errno != 0) reason += " (" + std::string(std::strerror(errno)) + ")";
  return reason;
}

}  // namespace

std::size_t decode_form_data(char* text, std::size_t length) {
  std::size_t out = 0;
  for (std::size_t in = 0; in < length; ++in) {
    const char c = text[in];
    if (c == '+') {
      text[out++] = ' ';
    } else if (c != '%') {
      text[out++] = c;
    } else {
      const std::size_t left = length - in - 1;  // characters after the '%'
      const int high = left >= 1 ? HexDigitValue(text[in + 1]) : -1;
      const int low = left >= 2 ? HexDigitValue(text[in + 2]) : -1;
      text[out++] = (high >= 0 && low >= 0) ? static_cast<char>(high * 16 + low) : '?';
      in += left < 2 ? left : 2;
    }
  }
  if (out < length) text[out] = '\0';
  return out;
}

void write_web_preamble(std::FILE* in, std::FILE* out, const char* content_length) {
  std::fprintf(out, "%s%c%c\n", "Content-Type:text/text;charset=iso-8859-1", 13, 10);
  std::fprintf(out,
               "<title>TARNE Test Case</title><body><P> Web version of TARNE (%s%s) with SCE "
               "starting...</P><P>",
               kVersionMajor, kVersionNumber);
  long length = 0;
  bool form_read = read_content_length(content_length, length);
  if (form_read) {
    char form_data[kFormDataMax + 1];
    errno = 0;
    const std::size_t read = ReadFormLine(in, form_data, static_cast<std::size_t>(length));
    const std::string shortfall = FormDataShortfall(in, form_data, read, length);
    if (shortfall.empty()) {
      const std::size_t decoded = decode_form_data(form_data, read);
      std::fwrite(form_data, 1, decoded, out);
    } else {
      // Half a form is no form: say what arrived instead of echoing a part of it.
      std::fprintf(out, "<P>%s",
                   FileErrorMessage("read", "the form data on standard input", 0,
                                    shortfall.c_str()).c_str());
      form_read = false;
    }
  }
  if (!form_read) std::fprintf(out, "<P>Error in invocation - wrong FORM probably.");
  std::fflush(out);
}
