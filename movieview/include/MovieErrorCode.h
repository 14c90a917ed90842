// The engine's result codes: signed 16 bits, 0 for success, the failures in the
// range -2049 to -2000 that the error texts name. Only the codes the FFmpeg
// engine reports have names here.
#pragma once

#include <cstdint>

namespace movieview {

using MovieErrorCode = std::int16_t;

namespace EngineCode {
inline constexpr MovieErrorCode noErr = 0;
inline constexpr MovieErrorCode firstTableCode = -2049; // lowest code with a text of its own
inline constexpr MovieErrorCode lastTableCode = -2000;  // highest code with a text of its own

inline constexpr MovieErrorCode cantFindHandler = -2003; // no decoder for the stream
inline constexpr MovieErrorCode cantOpenHandler = -2004; // decoder would not open
inline constexpr MovieErrorCode badMovie = -2010;        // movie data that does not decode
inline constexpr MovieErrorCode invalidTime = -2015;     // a time the movie cannot go to
inline constexpr MovieErrorCode pictureTooLarge = -2027; // a picture larger than the engine shows
inline constexpr MovieErrorCode fileNotFound = -2021;    // no such file
inline constexpr MovieErrorCode internalError = -2034;   // the engine itself failed (memory, state)
inline constexpr MovieErrorCode readError = -2042;       // the data source could not be read
inline constexpr MovieErrorCode endOfData = -2046;       // data ended where more was needed
inline constexpr MovieErrorCode noMovieFound = -2048;    // the file holds no movie we can show
// A failure the engine has no table code for; its text is "Unknown error".
inline constexpr MovieErrorCode unmapped = -1;
} // namespace EngineCode

} // namespace movieview
