// Finding the viewer file of a CD: the file that ends in a viewer-file
// trailer, whatever its name.  Front ends that are handed a folder (the
// tool, the web page) use this rather than trusting a file name.
#pragma once

#include <string>
#include <vector>

namespace kelvora {

class IsoImage;

// Whether the file at path is at least a trailer long and its last four
// bytes hold TRAILER_MAGIC.  Nothing else of the file is checked.
bool ends_in_trailer(const std::string& path);

// The same, telling a file that could not be read from one without a
// trailer.
enum class TrailerCheck { Found, None, ReadFailed };
TrailerCheck check_trailer(const std::string& path);

// The regular files directly in directory that end in a trailer, sorted by
// name; empty when the directory cannot be read.  Files that could not be
// read are added to unreadable, when given, as "path: reason".
std::vector<std::string> find_viewer_files(const std::string& directory,
                                           std::vector<std::string>* unreadable = nullptr);

// The same in the root of an image: the names of its files that end in a
// trailer, sorted.
std::vector<std::string> find_viewer_files(const IsoImage& image);

}  // namespace kelvora
