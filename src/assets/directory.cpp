#include "assets/directory.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace {

bool sameIgnoringCase(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == '\0';
}

}  // namespace

bool listDirectoryFiles(const std::string& directory, const char* extension,
                        std::vector<std::string>& names)
{
    names.clear();
    std::error_code error;
    std::filesystem::directory_iterator it(directory, error);
    if (error) return false;
    for (const std::filesystem::directory_entry& entry : it) {
        std::error_code typeError;
        if (!entry.is_regular_file(typeError)) continue;
        const std::filesystem::path& path = entry.path();
        if (!sameIgnoringCase(path.extension().string(), extension)) continue;
        names.push_back(path.filename().string());
    }
    std::sort(names.begin(), names.end());
    return true;
}
