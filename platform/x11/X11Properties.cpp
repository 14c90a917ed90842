// Property reads through XGetWindowProperty, freed with XFree on every path.
#include "X11Properties.h"

#include <X11/Xatom.h>
#include <memory>

namespace platform::x11 {

namespace {

// Longest property read, in 32-bit units (XGetWindowProperty counts so).
constexpr long kMaxLength32 = 1 << 20;

struct XFreeDeleter
{
    void operator()(unsigned char* data) const { XFree(data); }
};

struct Raw
{
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    std::unique_ptr<unsigned char, XFreeDeleter> data;
};

std::optional<Raw> readRaw(Display* display, Window window, Atom property, Atom type)
{
    Raw raw;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, property, 0, kMaxLength32, False, type,
                                          &raw.type, &raw.format, &raw.items, &after, &data);
    raw.data.reset(data);
    if (status != Success || raw.type == None || raw.data == nullptr)
        return std::nullopt;
    if (type != AnyPropertyType && raw.type != type)
        return std::nullopt;
    return raw;
}

} // namespace

std::optional<std::vector<unsigned long>> readLongs(Display* display, Window window, Atom property,
                                                    Atom type)
{
    auto raw = readRaw(display, window, property, type);
    if (!raw || raw->format != 32)
        return std::nullopt;
    const auto* items = reinterpret_cast<const unsigned long*>(raw->data.get());
    return std::vector<unsigned long>(items, items + raw->items);
}

std::optional<std::string> readBytes(Display* display, Window window, Atom property, Atom type)
{
    auto raw = readRaw(display, window, property, type);
    if (!raw || raw->format != 8)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(raw->data.get()), raw->items);
}

std::optional<std::pair<Atom, std::string>> readText(Display* display, Window window, Atom property)
{
    auto raw = readRaw(display, window, property, AnyPropertyType);
    if (!raw || raw->format != 8)
        return std::nullopt;
    return std::pair{raw->type,
                     std::string(reinterpret_cast<const char*>(raw->data.get()), raw->items)};
}

} // namespace platform::x11
