// The texts of the selected recorder's details area, and what the window does
// to show them. Texts are Windows-1252 bytes, converted by the window.
#pragma once

#include <string>

namespace monitor {

struct DeviceDetails
{
    std::string LblUN;       // user name
    std::string LblID;       // ID number
    std::string LblLoc;      // locate
    std::string LblDept;     // department
    std::string LblCon;      // "Connection No.=" + position counted from 1
    std::string LblConStart; // "Start " + login time of day

    bool operator==(const DeviceDetails&) const = default;
};

class DeviceDetailsView
{
public:
    virtual ~DeviceDetailsView() = default;
    virtual void showDetails(const DeviceDetails& details) = 0;
};

} // namespace monitor
