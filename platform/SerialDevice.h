// A serial device that the station only writes to, such as the input side of
// the virtual GPS port. Writes never block for longer than the wait the caller
// gives: a device whose reader has stopped must not hold the user-interface
// thread.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class SerialDevice
{
public:
    // Opens an existing device for reading and writing, without making it the
    // controlling terminal, non-blocking, in raw mode when it is a terminal.
    // Nothing is created: a missing device gives nullptr, as does any failure.
    // Only a character device is taken, and only from a folder that no other
    // user may write to: what another user put there could be a file of ours
    // to overwrite or a reader of the vehicles' positions.
    static std::unique_ptr<SerialDevice> open(const std::string& path);

    // Why open refuses the folder of the device's name, as a sentence for the
    // user; empty when the folder is one that open takes, or does not exist.
    static std::string folderRefusal(const std::string& path);

    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Writes the bytes. When the device cannot take them (all or the rest) now,
    // waits for it until `wait` has passed, counted from the call. Answers how
    // many bytes went out: fewer than given after the wait, or when the device
    // fails (its reader has gone); the cause is not reported.
    std::size_t write(std::string_view bytes, std::chrono::milliseconds wait);

    // A write found the device dead (its reader's side gone, a hang-up or any
    // error other than "cannot take it now"): it will take nothing any more,
    // and the device must be opened again.
    bool failed() const { return m_failed; }

    // Whether the path still leads to this device: false once its name was
    // removed, or given to another device (its maker made the port anew).
    bool isAt(const std::string& path) const;

private:
    explicit SerialDevice(int fd);
    int m_fd;
    bool m_failed = false;
};

} // namespace platform
