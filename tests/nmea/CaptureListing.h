// What the NMEA module makes of a captured receiver log, one line per
// sentence, as the golden files beside the captures in tests/data/nmea hold
// it (their README says how they were made):
//   LINE refused: REASON                               the check refuses it
//   LINE NAME                                          admitted, not RMC
//   LINE NAME STATUS DATE UTC LAT LON KNOTS COURSE     admitted RMC; "-" when empty
// LINE counts the capture's lines from 1; comments ("#") and blank lines give
// no listing line.
#pragma once

#include "RmcFields.h"

#include <string>
#include <string_view>

namespace nmeatest {

// "STATUS DATE UTC LAT LON KNOTS COURSE" as in the listing, or "not RMC".
std::string fieldsText(const nmea::RmcFields& fields);

std::string captureListing(std::string_view capture);

// The golden file's text without its own comment lines.
std::string withoutComments(std::string_view golden);

} // namespace nmeatest
