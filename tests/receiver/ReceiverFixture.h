// A library object on a free loopback port with a temporary host folder, its
// log lines captured and HostEvents registered as the host's callback.
#pragma once

#include "HostEvents.h"
#include "LogCapture.h"
#include "MainForm.h"
#include "RecorderConnection.h"
#include "TempFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <memory>

class ReceiverFixture : public ::testing::Test
{
protected:
    void SetUp() override { HostEvents::instance().reset(); }
    void TearDown() override
    {
        HostEvents::instance().release();
        if (m_frm)
            m_frm->stop();
        m_frm.reset();
        HostEvents::instance().reset();
    }

    void writeSettings(const std::string& ini)
    {
        std::ofstream(m_host.path() + "quvex.ini") << ini;
    }

    struct StartOptions
    {
        std::chrono::milliseconds silenceLimit = std::chrono::seconds(30);
        std::chrono::milliseconds callbackGrace = std::chrono::seconds(2);
        std::chrono::milliseconds workerSweep = kavrel::ListenerOptions::kWorkerSweep;
        kavrel::WorkerThreadStarter startThread = kavrel::ListenerOptions{}.startThread;
        bool callback = true;
        kavrel::PayloadRateFloor payloadRateFloor{};
    };

    void startReceiver(StartOptions o)
    {
        kavrel::TfrmMain::Options options;
        options.hostFolder = m_host.path();
        options.silenceLimit = o.silenceLimit;
        options.payloadRateFloor = o.payloadRateFloor;
        options.listener = {o.callbackGrace, o.workerSweep, std::move(o.startThread)};
        m_frm = std::make_unique<kavrel::TfrmMain>(nullptr, options);
        m_frm->core().log.setWindowSink(m_log.sink());
        m_frm->start(0);
        ASSERT_TRUE(m_frm->listener().active());
        if (o.callback)
            m_frm->setCallback(HostEvents::callback);
    }
    void startReceiver() { startReceiver(StartOptions{}); }

    recorder::RecorderConnection connect(const std::string& from = {})
    {
        recorder::RecorderConnection c;
        c.setLocalAddress(from);
        EXPECT_TRUE(c.connect("127.0.0.1", m_frm->listener().port())) << c.lastError();
        return c;
    }

    HostEvents& events() { return HostEvents::instance(); }

    TempFolder m_host;
    LogCapture m_log;
    std::unique_ptr<kavrel::TfrmMain> m_frm;
};
