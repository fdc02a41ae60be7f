// Shader registry: one GPU program per ".glsl" file (vertex stage, a line
// "//FRAGMENT", fragment stage), found by bare file name. Owns the
// process-wide registry; records are never removed, so an index stays valid.
// The windowed build polls every file each frame and relinks saved ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct LinkedShader {
    std::string name;       // file name without directory, the lookup key
    std::string path;       // directory + "/" + name
    std::filesystem::path file;  // the same path, kept so that polling converts nothing
    int32_t program = -1;   // GL program in use; -1 while no build has linked
    std::filesystem::file_time_type modified{};  // file time when last seen, full precision
    bool fileMissing = false;  // the last status read failed (reported once per change)
    std::vector<std::string> errors;  // "file:line: message" of the last build; empty once it links
};

struct ShaderRegistry {
    std::vector<LinkedShader> shaders;     // in first-listed order
    std::vector<std::string> directories;  // in the order added
};

extern ShaderRegistry shaderRegistry;

// Appends a directory and rescans all directories.
void addShaderDirectory(const char* directory);
// Lists every directory's "*.glsl" files: builds new ones, rebuilds newer ones.
void scanShaderDirectories();
// Reads every record's file time and rebuilds the programs of saved files.
void pollShaderFiles();
// Index of the record named exactly so (case-sensitive), or -1.
int32_t findShader(const char* name);
// Makes the named program current. When absent prints "cant find %s" and
// leaves the current program as it is; false then.
bool useShader(const char* name);
// Reads, splits, compiles and links a shader file; the program or -1.
int32_t buildShaderProgram(const char* path);
// A compiled shader object of the given GL type, whatever the outcome;
// prints the compiler log when compiling fails.
uint32_t compileShaderStage(uint32_t type, const char* source);
// Links the two stages; prints the link log; the program or -1.
int32_t linkShaderProgram(const char* path, uint32_t vertexShader, uint32_t fragmentShader);

// The errors of a GL compile log as "path:line: message", line counted in the
// file: the stage's line 1 is file line firstLine. Reads the "0:12(5): error:"
// (Mesa), "0(12) : error" (NVIDIA) and "ERROR: 0:12:" forms; a log with no
// error line in any of them gives one "path: message" from its first line.
std::vector<std::string> shaderLogErrors(const std::string& log, const std::string& path,
                                         int firstLine);

// Splits a shader file's text at the first line that is exactly "//FRAGMENT"
// (a CR before the line feed belongs to the line end). The marker stays in
// the vertex source; every line gets one "\n". Without a marker the whole
// text is the vertex source and the fragment source is empty.
void splitShaderSource(const std::string& text, std::string& vertexSource,
                       std::string& fragmentSource);
