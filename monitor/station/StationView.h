// What the station asks of its window beyond the views of its parts (device
// lists and details, clips, alarm, dispatcher): the window's own start-up
// steps, the lines it shows about listening, storage and retention, the
// message boxes at the end of start-up, and its event loop. Texts are the
// system's 8-bit text (UTF-8 here), except where said otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace monitor {

class StationView
{
public:
    virtual ~StationView() = default;

    // The native window the receiver library and the GPS forwarding are given.
    virtual std::uintptr_t nativeWindow() = 0;

    // Start-up steps of the window: the layout around the small movie, the
    // idle movie (its failure's text, or none), the value labels and lists
    // emptied, the size button's "enlarge" glyph.
    virtual void layOutSmallMovie() = 0;
    virtual std::optional<std::string> loadIdleMovie(const std::string& path) = 0;
    virtual void clearTexts() = 0;
    virtual void showEnlargeGlyph() = 0;

    // LblListen: why the station does not listen, or that it does again;
    // an empty text hides it, and "Receiving......" is seen again.
    virtual void showListening(const std::string& text, bool listening) = 0;
    // LblStorage: whether the archive can be written; empty: nothing to say.
    virtual void showStorageStatus(const std::string& text) = 0;
    // LblRetention: the archive's latest deletions or settings problems, and
    // whether deletion by age waits for the operator to confirm the date.
    virtual void showRetention(const std::vector<std::string>& lines, bool ageHeld) = 0;
    // What the settings files (quvex.ini, tessaro.ini) hold that cannot be
    // used, every line whole, added to those shown before.
    virtual void showSettingsProblems(const std::vector<std::string>& lines) = 0;
    // LabelGPRMC: the forwarded sentence without its line end, Windows-1252.
    virtual void showGpsSentence(const std::string& windows1252) = 0;
    // What troubled or ended start-up, one message box each, in order.
    virtual void tellStartupErrors(const std::vector<std::string>& errors) = 0;

    // Runs work later on the user-interface thread; callable from any thread.
    // Work posted to a window that is gone is dropped.
    virtual void post(std::function<void()> work) = 0;
    // The desktop's beep, when the warning sound cannot be played.
    virtual void beep() = 0;
};

} // namespace monitor
