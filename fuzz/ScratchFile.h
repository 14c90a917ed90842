// A file of the fuzz target's own that each input is written to, for code that
// reads files by name. In memory (/dev/shm) where the system has it, since a
// target writes it thousands of times a second; removed at exit.
#pragma once

#include "FuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

class ScratchFile
{
public:
    // Made once, in LLVMFuzzerInitialize.
    static void create(const char* name)
    {
        const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(folder) + "/" + name + "-XXXXXX";
        const int fd = mkstemp(pattern.data());
        FUZZ_CHECK(fd >= 0);
        close(fd);
        path() = pattern;
        std::atexit([] { std::remove(path().c_str()); });
    }

    static std::string& path()
    {
        static std::string p;
        return p;
    }

    static void write(const std::uint8_t* data, std::size_t size)
    {
        std::FILE* file = std::fopen(path().c_str(), "wb");
        FUZZ_CHECK(file != nullptr);
        FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
        FUZZ_CHECK(std::fclose(file) == 0);
    }
};
