// English texts for the engine's result codes, and the two checks that turn
// the engine's error state into a MovieError.
#pragma once

#include "MovieErrorCode.h"

#include <QString>

namespace movieview {

// 0 gives the empty text, -2049 to -2000 their own texts, anything else
// "Unknown error".
QString MovieErrorText(MovieErrorCode code);

// Throws MovieError with the text of the code when it is not 0.
void CheckMovieResult(MovieErrorCode code);

// Throws MovieError with the text of the engine's last error when it is not 0.
void CheckMoviesError();

// Throws MovieError with the text of the engine's sticky error when it is not
// 0. Leaves the sticky error as it is.
void CheckMoviesStickyError();

// The engine's error state as the checks read it (0 without an engine session).
MovieErrorCode GetMoviesError();
MovieErrorCode GetMoviesStickyError();
void ClearMoviesStickyError();

} // namespace movieview
