// Builds NMEA RMC ("$GPRMC") position sentences, as a recorder sends them in a
// position packet: no CR LF at the end, the receiver's host adds its own.
//
// $GPRMC,hhmmss.sss,A,ddmm.mmmm,N,dddmm.mmmm,E,sss.ss,ccc.cc,ddmmyy,,,A*CS
//        UTC time   status lat     lon         knots  course date  (no magnetic
//        variation) mode, checksum. Eight-byte header + this 72-byte text = 80 bytes.
#pragma once

#include <chrono>
#include <string>

namespace nmea {

struct RmcFix
{
    std::chrono::sys_time<std::chrono::milliseconds> time{};
    bool valid = true;         // status 'A' (valid) or 'V' (warning)
    double latitudeDeg = 0.0;  // north positive
    double longitudeDeg = 0.0; // east positive
    double speedKnots = 0.0;   // 0 .. 999.99
    double courseDeg = 0.0;    // 0 .. 359.99, true north
};

// Appends the sentence for fix to out.
void appendRmcSentence(std::string& out, const RmcFix& fix);

} // namespace nmea
