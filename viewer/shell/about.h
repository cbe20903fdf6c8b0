// The About box's build stamp.
#pragma once

#include <string>

namespace kelvora {

// A 24-hour build time ("13:49:44") as a 12-hour clock text ("1:49:44 PM");
// hours below 13 keep their number and read AM.
std::string build_time_text(const char* build_time);

// "Build: <12-hour time> <date>" for the About box, from the compiler's
// build date ("Aug 23 2003") and time.
std::string build_stamp(const char* build_date, const char* build_time);

}  // namespace kelvora
