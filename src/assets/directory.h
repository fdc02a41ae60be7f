// Directory listings for the asset loaders: bare file names of one extension,
// sorted byte for byte, read with std::filesystem. Owns nothing.
#pragma once

#include <string>
#include <vector>

// Bare names of the regular files in directory whose extension is extension
// (".png"; matched ignoring ASCII case, as the listing of a data directory
// does on every platform), sorted by name. False when the directory cannot be
// read; names is then empty.
bool listDirectoryFiles(const std::string& directory, const char* extension,
                        std::vector<std::string>& names);
