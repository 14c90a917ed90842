// An MQTT broker for tests: mosquitto, or nats-server with its MQTT listener,
// on a free loopback port with a configuration written into the test's
// temporary folder (or one of its own), ready once it accepts connections,
// stopped by pid. A broker stopped with stop() can start again on the same
// port. The broker is required: without it the test fails and names the
// package to install.
#pragma once

#include "ChildProcess.h"
#include "FreePort.h"
#include "TempFolder.h"

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

enum class BrokerKind
{
    Mosquitto,
    NatsServer,
};

class MqttBrokerHarness
{
public:
    static constexpr std::chrono::seconds kStartTimeout{20};
    // How often a start looks whether the broker accepts yet.
    static constexpr std::chrono::milliseconds kProbeInterval{20};

    // folder: the test's temporary folder, with a trailing separator; empty:
    // one of the broker's own. port: where it listens; 0: a free one.
    explicit MqttBrokerHarness(BrokerKind kind = BrokerKind::Mosquitto, std::string folder = {},
                               std::uint16_t port = 0)
        : m_kind(kind), m_folder(folder.empty() ? m_ownFolder.path() : std::move(folder)),
          m_port(port != 0 ? port : freePort())
    {
        start();
    }

    std::uint16_t port() const { return m_port; }
    std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(m_port); }
    std::string clientUri() const { return "tcp://127.0.0.1:" + std::to_string(m_port); }

    void start()
    {
        if (m_kind == BrokerKind::Mosquitto) {
            const std::string config = m_folder + "mosquitto.conf";
            // Every state of a large fleet is sent to a new subscriber at
            // once: no queue limit may drop any of them.
            std::ofstream(config) << "listener " << m_port << " 127.0.0.1\n"
                                  << "allow_anonymous true\npersistence false\n"
                                  << "max_queued_messages 0\nlog_type error\n";
            m_process = std::make_unique<ChildProcess>(
                std::vector<std::string>{findTool("mosquitto", "mosquitto"), "-c", config},
                ChildProcess::Output::Capture);
        } else {
            const std::string config = m_folder + "nats.conf";
            std::ofstream(config) << "listen: 127.0.0.1:" << freePort() << "\n"
                                  << "server_name: fleet_test\n"
                                  << "jetstream { store_dir: \"" << m_folder << "jetstream\" }\n"
                                  << "mqtt { listen: 127.0.0.1:" << m_port << " }\n";
            m_process = std::make_unique<ChildProcess>(
                std::vector<std::string>{findTool("nats-server", "nats-server"), "-c", config},
                ChildProcess::Output::Capture);
        }
        const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
        while (!accepts()) {
            if (!m_process->alive() || std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("the MQTT broker did not start on port " +
                                         std::to_string(m_port));
            std::this_thread::sleep_for(kProbeInterval);
        }
    }

    void stop() { m_process.reset(); }

private:
    bool accepts() const
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(m_port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        return ok;
    }

    TempFolder m_ownFolder; // before m_folder, which may name it
    const BrokerKind m_kind;
    const std::string m_folder;
    const std::uint16_t m_port;
    std::unique_ptr<ChildProcess> m_process;
};

} // namespace testsupport
