// Directory listings for the asset loaders: bare file names of one extension,
// sorted byte for byte, read with std::filesystem. And the tools' output
// files, written so that a file is either whole or as it was: a temporary of
// the writer's own beside it, checked, flushed to disk and renamed over it.
// Owns nothing.
#pragma once

#include <string>
#include <vector>

// Bare names of the regular files in directory whose extension is extension
// (".png"; matched ignoring ASCII case, as the listing of a data directory
// does on every platform), sorted by name. False when the directory cannot be
// read; names is then empty.
bool listDirectoryFiles(const std::string& directory, const char* extension,
                        std::vector<std::string>& names);

// Why path cannot be written as an output file: it exists and is not a
// regular file (a folder, a device, a socket); empty when it can be.
std::string outputPathProblem(const std::string& path);
// Creates an empty temporary beside path, unique to this process and never
// an existing file, and gives its name; empty, with why, when it cannot.
std::string createTemporaryBeside(const std::string& path, std::string& why);
// Flushes a complete temporary to disk and renames it over path; on failure
// removes it and leaves path as it was. why names the file and the reason.
bool replaceWithTemporary(const std::string& temporary, const std::string& path, std::string& why);
// Writes bytes over an existing file (a temporary from above), every write
// and the close checked; false with why when any fails.
bool writeAllBytes(const std::string& file, const void* data, size_t size, std::string& why);
// Writes bytes to path through such a temporary: every write and the close
// checked, so a full disk fails here and leaves path as it was.
bool writeFileReplacing(const std::string& path, const void* data, size_t size, std::string& why);
// A write callback for stb_image_write's *_to_func encoders: appends the
// encoded bytes to the std::vector<unsigned char> that context points to.
void appendEncodedBytes(void* context, void* data, int size);
