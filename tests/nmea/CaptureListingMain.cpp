// Prints the listing of a capture (CaptureListing.h) with the comment that
// heads its golden file:
//   nmea_capture_listing tests/data/nmea/NAME.nmea > tests/data/nmea/NAME.nmea.chk
// Run by hand when a capture is added or the module's reading changes on
// purpose; the tests only compare.
#include "CaptureListing.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: nmea_capture_listing CAPTURE.nmea > CAPTURE.nmea.chk\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "nmea_capture_listing: cannot read " << argv[1] << '\n';
        return 1;
    }
    const std::string capture{std::istreambuf_iterator<char>(in), {}};
    std::cout
        << "# What the NMEA module (nmea/) makes of each sentence of the capture\n"
           "# beside this file, by the capture's line number; its comments and blank\n"
           "# lines give none:\n"
           "#   LINE refused: REASON                            the check before the GPS port\n"
           "#   LINE NAME                                       admitted, not RMC\n"
           "#   LINE NAME STATUS DATE UTC LAT LON KNOTS COURSE  admitted RMC, parsed\n"
           "# (degrees north and east positive; \"-\" for a field empty or out of range).\n"
           "# Made by tests/nmea/CaptureListingMain.cpp:\n"
           "#   build/release/bin/nmea_capture_listing "
        << argv[1]
        << "\n"
           "# and checked by hand against the capture. nmea_test compares; it never writes.\n"
        << nmeatest::captureListing(capture);
    return std::cout.good() ? 0 : 1;
}
