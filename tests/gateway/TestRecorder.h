// A recorder over loopback as the gateway's tests drive it: it logs in with
// its device record and sends packets, each acknowledged within a time-out.
#pragma once

#include "DeviceInfoText.h"
#include "RecorderConnection.h"
#include "kavrel_events.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fleettest {

struct TestRecorder
{
    static constexpr std::chrono::seconds kAckTimeout{10};

    explicit TestRecorder(std::string serialNumber) : serial(std::move(serialNumber)) {}
    std::string serial;
    std::string key() const { return serial + "_ID"; }
    recorder::RecorderConnection connection;
    std::vector<std::string> positions; // every position acknowledged

    // The device record's seven texts, as the fleet's recorder state carries them.
    std::array<std::string, 7> device() const
    {
        return {"QUVEX", serial, "10.0.0.7", "Fleet", "Driver", "Depot", "ID"};
    }

    ::testing::AssertionResult send(std::uint16_t code, std::string_view payload,
                                    std::chrono::milliseconds ackTimeout = kAckTimeout)
    {
        const auto result = connection.sendPacket(
            code, std::vector<std::uint8_t>(payload.begin(), payload.end()), ackTimeout);
        if (result.ok())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << serial << ": " << result.error;
    }
    // On a new connection, from the given loopback address (empty: the system's choice).
    ::testing::AssertionResult login(std::uint16_t port, const std::string& from = {})
    {
        connection = recorder::RecorderConnection();
        connection.setLocalAddress(from);
        if (!connection.connect("127.0.0.1", port, kAckTimeout))
            return ::testing::AssertionFailure() << connection.lastError();
        recorder::DeviceInfo info;
        info.fields = device();
        std::string text;
        recorder::appendDeviceInfoText(text, info);
        return send(kavrel::EventCode::QUVEX_INFO, text);
    }
    ::testing::AssertionResult position(const std::string& sentence,
                                        std::chrono::milliseconds ackTimeout = kAckTimeout)
    {
        auto sent = send(kavrel::EventCode::CMD_GPRMC_DATA, sentence, ackTimeout);
        if (sent)
            positions.push_back(sentence);
        return sent;
    }
};

} // namespace fleettest
