// One logged-in recorder as the station remembers it: its key, the fields of
// its login text and when it logged in.
//
// The login text is the recorder's device-information text, seven fields
// separated by ",". Its fields are taken from the left, one comma at a time,
// into Info1, Info2, Info3, Department, UserName and Locate (the fourth field is
// the department, the fifth the user name); once no comma is left, the later
// fields stay empty, and IdNo takes whatever remains, commas included. So
// "a,b,c,d,e,f,g,h" gives IdNo "g,h", and "a,b,c,d" gives IdNo "d" with an
// empty Department, UserName and Locate.
//
// Texts are Windows-1252 bytes as they came from the wire.
#pragma once

#include "DateTime.h"

#include <string>
#include <string_view>

namespace monitor {

struct CONNECTIONINFO
{
    std::string Key; // the recorder's key; empty while the entry is free
    std::string Info1;
    std::string Info2;
    std::string Info3;
    std::string UserName;
    std::string Department;
    std::string Locate;
    std::string IdNo;
    platform::DateTimeMs LoginTime = 0;

    bool isFree() const { return Key.empty(); }
};

// Fills the text fields (all but Key and LoginTime) from a login text.
void splitLoginText(CONNECTIONINFO& entry, std::string_view loginText);

// The text that names the recorder in the visible device list: Locate + "_" + IdNo.
std::string LocateIdText(const CONNECTIONINFO& entry);

} // namespace monitor
