// Burnable CD images: writing the CD's folder as an ISO 9660 image with
// Joliet and Rock Ridge names, through the xorriso program (the tool writes
// no ISO structures itself).  Images are read by the core's own reader
// (viewer/container/iso_image.h), in place.
#pragma once

#include <optional>
#include <string>

namespace kelvora::cli {

// The volume label as it goes into the image: 1 to 32 of A-Z, 0-9 and _,
// lower case raised.  Nothing when the label cannot be one.
std::optional<std::string> volume_label(const std::string& label);

// The autorun.inf that starts the viewer when the CD is inserted, lines
// ending in CR LF.
std::string autorun_text(const std::string& viewer_name, const std::string& label);

// The message that says how to get xorriso for writing an image, or
// nothing when it can be run.
std::optional<std::string> xorriso_missing();

// Writes the contents of directory as the image file.  Returns an empty
// text on success, else what went wrong.
std::string write_iso_image(const std::string& directory, const std::string& image,
                            const std::string& label);

}  // namespace kelvora::cli
