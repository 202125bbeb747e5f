// The tarne program: prepares the process-wide partition object, recognises a web (CGI)
// start, prints the start banner, reads the command line and runs exactly one mode.
#include <cstdio>
#include <cstdlib>

#include "driver/banners.h"
#include "driver/command_line.h"
#include "driver/run_modes.h"
#include "driver/web_start.h"
#include "modellib/tarne_lib.h"

// The one partition object of the process: constructed before main, destroyed at exit.
tarne::mpi_setup process_partition;

namespace {
// Set when the program was started under a name that contains "web".
bool web_mode = false;
}  // namespace

int main(int argc, char** argv) {
  web_mode = argc > 0 && is_web_start(argv[0]);
  if (web_mode)
    write_web_preamble(stdin, stdout, std::getenv("CONTENT_LENGTH"));
  else
    print_start_banner(process_partition.total_threads);

  RunRequest request;
  parse_command_line(argc, argv, request);
  int exit_code = request.status;
  if (request.mode != kNoMode)
    exit_code = run_mode(process_partition, request, argc, argv, web_mode, default_mode_entries());

  if (web_mode) std::printf("</P></body>\n");
  return exit_code;
}
