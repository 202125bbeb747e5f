#include "driver/banners.h"

#include <cstdio>

const char* const kVersionMajor = "8.0.";
const char* const kVersionNumber = "016";
const char* const kBuildKind = " Release";
// The build date of release 8.0.016, in the compiler's date form ("Mmm dd yyyy"). It is
// fixed with the version pieces so that the banners of this release read the same from
// every build of it.
const char* const kBuildDate = "Sep 16 2024";

void print_start_banner(long total_threads) {
  const long pointer_bits = static_cast<long>(8 * sizeof(void*));
  std::printf(
      "Parallel version of TARNE (%s%s%s, %s) with SCE (OpenMP), %ld bit, %ld total threads.\n",
      kVersionMajor, kVersionNumber, kBuildKind, kBuildDate, pointer_bits, total_threads);
  std::fflush(stdout);
}

void print_version_banner() {
  std::printf("\n    -- TARNE version %s%soutlet%s, %s --\n \n", kVersionMajor, kVersionNumber,
              kBuildKind, kBuildDate);
  std::printf(
      "    TARNE gridded hydrologic model: console driver and calibration toolbox.\n"
      "    Project runs, batch runs, Monte Carlo and SCE-UA calibration, and\n"
      "    Levenberg-Marquardt searches on PEST-format problems.\n"
      "    Copyright the TARNE developers. All rights reserved.\n");
  std::printf("\n \n");
}
