// The web (CGI) start: recognising it from the program name, and the preamble it writes
// before any mode runs (HTTP header, title, and the decoded form data read from standard
// input). Called by main.
#pragma once

#include <cstddef>
#include <cstdio>

// Room for the form data of one web start, terminator not included.
constexpr std::size_t kFormDataMax = 1024;

// True when the program was started under a name that contains "web".
bool is_web_start(const char* program_name);

// Reads a "CONTENT_LENGTH" value: true, with length set, for a whole decimal number from 0
// to kFormDataMax (blanks around it and a sign allowed, as a formatted read of a long
// integer allows); false when absent, malformed, negative or too large.
bool read_content_length(const char* text, long& length);

// Decodes URL form data in place over exactly length bytes: '+' becomes a blank and "%hh"
// the byte of hex value hh; a '%' not followed by two hex digits becomes '?' and takes the
// (at most two) characters after it with it. Never reads past length. Returns the decoded
// length.
std::size_t decode_form_data(char* text, std::size_t length);

// Writes the web preamble to out: the header line ended by CR LF and an empty line, the
// title, and either the decoded form data read from in or the invocation error line.
// content_length is the value of "CONTENT_LENGTH", or null when it is not set.
void write_web_preamble(std::FILE* in, std::FILE* out, const char* content_length);
