// A recorder's day as GPX 1.1: one track of the positions that had a fix
// (an RMC sentence with status "A", a place and its UTC date and time), in the
// day's order, each point timed by its sentence's UTC; and one waypoint per
// clip, at the place of the position nearest in time, named by the clip's name
// (Clip::name: its file's) and linking to it (the clips are copied beside the GPX).
#pragma once

#include "ArchiveReader.h"

#include <string>
#include <string_view>

namespace archive {

// The document, UTF-8. name: the recorder's name for showing (UTF-8).
std::string gpxDocument(const RecorderDay& day, std::string_view name);

// "2026-12-08T14:05:30Z" (with the sentence's fraction of a second when it
// has one); empty when the fields have no UTC date and time.
std::string gpxTime(const RmcFields& fields);

} // namespace archive
