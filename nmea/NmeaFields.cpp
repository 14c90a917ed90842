#include "NmeaFields.h"

namespace nmea {

std::vector<std::string_view> sentenceFields(std::string_view body)
{
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = body.find(',', start);
        fields.push_back(
            body.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos)
            return fields;
        start = comma + 1;
    }
}

} // namespace nmea
