// An MQTT broker of the test's own: mosquitto on a free loopback port, with a
// configuration written into a temporary folder, started at construction and
// stopped by its pid. stop() and start() again keep the port, as a broker
// that restarts does. The broker is required: without it the test fails and
// names the package to install.
#pragma once

#include "ChildProcess.h"
#include "FreePort.h"
#include "TempFolder.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

class MosquittoBroker
{
public:
    static constexpr std::chrono::seconds kStartBound{10};

    MosquittoBroker() : m_port(freePort())
    {
        m_config = m_folder.path() + "mosquitto.conf";
        {
            std::ofstream config(m_config);
            // Every state of a large fleet is sent to a new subscriber at
            // once: no queue limit may drop any of them.
            config << "listener " << m_port << " 127.0.0.1\n"
                   << "allow_anonymous true\n"
                   << "persistence false\n"
                   << "max_queued_messages 0\n"
                   << "log_type error\n";
        }
        start();
    }

    std::uint16_t port() const { return m_port; }
    std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(m_port); }
    std::string clientUri() const { return "tcp://127.0.0.1:" + std::to_string(m_port); }

    // Starts the broker and waits until it accepts connections.
    void start()
    {
        m_process = std::make_unique<ChildProcess>(
            std::vector<std::string>{findTool("mosquitto", "mosquitto"), "-c", m_config});
        const auto deadline = std::chrono::steady_clock::now() + kStartBound;
        while (!accepts()) {
            if (!m_process->alive())
                throw std::runtime_error("mosquitto ended at start");
            if (std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("mosquitto does not accept on its port");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    void stop() { m_process.reset(); }

private:
    bool accepts() const
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(m_port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool connected =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return connected;
    }

    TempFolder m_folder;
    std::uint16_t m_port;
    std::string m_config;
    std::unique_ptr<ChildProcess> m_process;
};

} // namespace testsupport
