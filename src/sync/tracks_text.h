// Line-oriented text helpers shared by the event file and timeline readers:
// splitting a line into words without its '#' comment, strict number parsing
// (the whole word or nothing), the "path:line: " prefix of every error, and
// reading a whole file.
#pragma once

#include <string>
#include <vector>

// The whitespace-separated words of a line, up to any '#'.
std::vector<std::string> splitWords(const std::string& line);

// A line of text that holds words, with its number counted from 1.
struct WordLine {
    int number = 0;
    std::vector<std::string> words;  // never empty
};
// Every line of text that has words left once its comment is gone.
std::vector<WordLine> wordLines(const std::string& text);

// True when the whole text is one finite number (integer: one that fits).
bool parseDouble(const std::string& text, double& value);
bool parseFloat(const std::string& text, float& value);
bool parseInteger(const std::string& text, long long& value);

// "path:line: ", the start of an error about that line.
std::string linePrefix(const std::string& path, int line);

// Reads a whole regular file of at most `limit` bytes into text; false when
// the path is not a regular file (a folder, a device), cannot be read or
// holds more.
bool readWholeFile(const std::string& path, std::string& text, size_t limit = size_t(256) << 20);
