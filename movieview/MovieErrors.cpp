#include "MovieErrors.h"

#include "MovieEngineSession.h"
#include "MovieError.h"

#include <array>

namespace movieview {

namespace {

constexpr std::size_t kTableSize = EngineCode::lastTableCode - EngineCode::firstTableCode + 1;

// Indexed by code + 2049, so the first row is -2049. Three texts carry the
// right single quotation mark U+2019 (byte 0x92 in Windows-1252).
// clang-format off
constexpr std::array<const char16_t*, kTableSize> kTexts = {
    u"Invalid data reference", // -2049
    u"Toolbox cannot find a movie in the movie file", // -2048
    u"No data reference value found", // -2047
    u"End of data", // -2046
    u"You have already closed this data source", // -2045
    u"Data source is already open for write", // -2044
    u"Cannot write to this data source", // -2043
    u"Cannot read from this data source", // -2042
    u"This sample description is invalid or corrupted", // -2041
    u"The chunk cache is corrupted", // -2040
    u"Sample description index value invalid", // -2039
    u"There is no chunk with this chunk number", // -2038
    u"There is no sample with this sample number", // -2037
    u"Specified rectangle has invalid coordinates", // -2036
    u"Cannot enable this track", // -2035
    u"Internal error", // -2034
    u"This edit index value is not valid", // -2033
    u"This time value is outside of this media", // -2032
    u"This time value is outside of this track", // -2031
    u"This track is not in this movie", // -2030
    u"Cannot locate a track with this ID value", // -2029
    u"This track index value is not valid", // -2028
    u"Maximum size must be larger", // -2027
    u"Cannot locate this user data item", // -2026
    u"Movie or track has been disposed", // -2025
    u"This edit state is not valid for this movie", // -2024
    u"This edit state is invalid", // -2023
    u"Error trying to create a single-fork file. This occurs when the file already exists.", // -2022
    u"Cannot locate this file", // -2021
    u"You haven\u2019t initialized the Movie Toolbox", // -2020
    u"Your progress procedure returned an error", // -2019
    u"These media don\u2019t match", // -2018
    u"The track\u2019s edit list is corrupted", // -2017
    u"Cannot write to this movie file", // -2016
    u"This time value is invalid", // -2015
    u"This duration value is invalid", // -2014
    u"This handler is invalid", // -2013
    u"This data reference is invalid", // -2012
    u"This sample table is corrupted or invalid", // -2011
    u"This movie is corrupted or invalid", // -2010
    u"This track is corrupted or invalid", // -2009
    u"This media is corrupted or invalid", // -2008
    u"Media has no data handler", // -2007
    u"Media has no media handler", // -2006
    u"Component cannot accommodate this data", // -2005
    u"Cannot open this handler", // -2004
    u"Cannot locate this handler", // -2003
    u"Movie file corrupted", // -2002
    u"Problem with this image description", // -2001
    u"Cannot use this data reference", // -2000
};
// clang-format on

} // namespace

void CheckMovieResult(MovieErrorCode code)
{
    if (code != EngineCode::noErr)
        throw MovieError(MovieErrorText(code));
}

QString MovieErrorText(MovieErrorCode code)
{
    if (code == EngineCode::noErr)
        return QString();
    if (code >= EngineCode::firstTableCode && code <= EngineCode::lastTableCode)
        return QString::fromUtf16(
            kTexts[static_cast<std::size_t>(code - EngineCode::firstTableCode)]);
    return QStringLiteral("Unknown error");
}

MovieErrorCode GetMoviesError()
{
    MovieEngineSession* session = MovieEngineSession::current();
    return session ? session->errors().last() : EngineCode::noErr;
}

MovieErrorCode GetMoviesStickyError()
{
    MovieEngineSession* session = MovieEngineSession::current();
    return session ? session->errors().sticky() : EngineCode::noErr;
}

void ClearMoviesStickyError()
{
    if (MovieEngineSession* session = MovieEngineSession::current())
        session->errors().clearSticky();
}

void CheckMoviesError()
{
    CheckMovieResult(GetMoviesError());
}

void CheckMoviesStickyError()
{
    CheckMovieResult(GetMoviesStickyError());
}

} // namespace movieview
