#include "SimSummary.h"

#include <algorithm>
#include <cstdio>

namespace recorder {

namespace {

constexpr std::size_t kMaxShownErrors = 10;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr std::size_t kLineBuffer = 256;

std::string microseconds(std::chrono::nanoseconds d)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f us", static_cast<double>(d.count()) / 1000.0);
    return buffer;
}

std::string rate(double bytesPerSecond)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f MiB/s", bytesPerSecond / kMiB);
    return buffer;
}

} // namespace

SimSummary SimSummary::from(const std::vector<SessionReport>& reports,
                            SessionReport::TimePoint start, SessionReport::TimePoint end,
                            bool neverRead)
{
    SimSummary s;
    s.elapsed = end - start;
    for (const auto& r : reports) {
        s.dials += r.dials;
        s.failedDials += r.failedDials;
        if (r.servedAt) {
            ++s.served;
            s.lastServedAfter =
                std::max<std::chrono::nanoseconds>(s.lastServedAfter, *r.servedAt - start);
        }
        if (neverRead) {
            ++s.neverReading;
            if (r.closedByReceiver) {
                ++s.closedByReceiver;
                s.heldFor.add(r.heldFor);
            }
        }
        ++s.recorders;
        s.connected += r.connected ? 1 : 0;
        s.packetsSent += r.packetsSent;
        s.bytesSent += r.bytesSent;
        s.acksChecked += r.acksChecked;
        s.errors += r.errors;
        for (const auto& e : r.errorTexts)
            if (s.errorTexts.size() < kMaxShownErrors)
                s.errorTexts.push_back(e);
        s.roundTrips.merge(r.roundTrips);
        if (r.clipBytes > 0 && r.clipTime.count() > 0)
            s.clipBytesPerSecond.push_back(static_cast<double>(r.clipBytes) /
                                           std::chrono::duration<double>(r.clipTime).count());
    }
    return s;
}

bool SimSummary::clean(bool acksAwaited) const
{
    return errors == 0 && connected == recorders && (!acksAwaited || acksChecked == packetsSent);
}

std::string SimSummary::format(bool acksAwaited) const
{
    std::string out;
    char line[kLineBuffer];
    const double seconds = std::chrono::duration<double>(elapsed).count();
    std::snprintf(line, sizeof line, "recorders: %u, connected: %u, elapsed: %.3f s\n", recorders,
                  connected, seconds);
    out += line;
    std::snprintf(line, sizeof line,
                  "packets sent: %llu, bytes sent: %llu, acks checked: %llu%s, errors: %llu\n",
                  static_cast<unsigned long long>(packetsSent),
                  static_cast<unsigned long long>(bytesSent),
                  static_cast<unsigned long long>(acksChecked), acksAwaited ? "" : " (not awaited)",
                  static_cast<unsigned long long>(errors));
    out += line;
    std::snprintf(line, sizeof line,
                  "dials: %u, failed or unanswered: %u; served: %u of %u, the last after %.3f s\n",
                  dials, failedDials, served, recorders,
                  std::chrono::duration<double>(lastServedAfter).count());
    out += line;
    if (neverReading > 0) {
        out += "never reading: " + std::to_string(closedByReceiver) + " of " +
               std::to_string(neverReading) + " ended by the receiver";
        if (heldFor.count() > 0) {
            std::snprintf(line, sizeof line, ", after %.1f s (median; min %.1f s)",
                          std::chrono::duration<double>(heldFor.median()).count(),
                          std::chrono::duration<double>(heldFor.min()).count());
            out += line;
        }
        out += "\n";
    }
    if (roundTrips.count() > 0)
        out += "ack round trip: min " + microseconds(roundTrips.min()) + ", median " +
               microseconds(roundTrips.median()) + ", p99 " +
               microseconds(roundTrips.percentile(99.0)) + " (" +
               std::to_string(roundTrips.count()) + " samples)\n";
    if (!clipBytesPerSecond.empty()) {
        std::vector<double> sorted = clipBytesPerSecond;
        std::sort(sorted.begin(), sorted.end());
        double total = 0;
        for (double r : sorted)
            total += r;
        out += "clip throughput per connection: min " + rate(sorted.front()) + ", median " +
               rate(sorted[(sorted.size() - 1) / 2]) + ", max " + rate(sorted.back()) + "; sum " +
               rate(total) + "\n";
    }
    if (seconds > 0) {
        std::snprintf(line, sizeof line, "overall: %.0f packets/s, %s\n",
                      static_cast<double>(packetsSent) / seconds,
                      rate(static_cast<double>(bytesSent) / seconds).c_str());
        out += line;
    }
    for (const auto& e : errorTexts)
        out += "error: " + e + "\n";
    if (errors > errorTexts.size())
        out += "... and " + std::to_string(errors - errorTexts.size()) + " more errors\n";
    return out;
}

} // namespace recorder
