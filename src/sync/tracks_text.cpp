#include "sync/tracks_text.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

std::vector<std::string> splitWords(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream in(line.substr(0, line.find('#')));
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

std::vector<WordLine> wordLines(const std::string& text)
{
    std::vector<WordLine> lines;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::vector<std::string> words = splitWords(line);
        if (!words.empty())
            lines.push_back(WordLine{number, std::move(words)});
    }
    return lines;
}

bool parseDouble(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

bool parseFloat(const std::string& text, float& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

bool parseInteger(const std::string& text, long long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return end == text.c_str() + text.size() && errno == 0;
}

std::string linePrefix(const std::string& path, int line)
{
    return path + ":" + std::to_string(line) + ": ";
}

bool readWholeFile(const std::string& path, std::string& text, size_t limit)
{
    // A folder, a device or a pipe is no file to read: a folder reads as
    // empty, a device such as /dev/zero never ends.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    text.clear();
    char chunk[65536];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        if (text.size() + size_t(file.gcount()) > limit)
            return false;
        text.append(chunk, size_t(file.gcount()));
    }
    return !file.bad();
}
