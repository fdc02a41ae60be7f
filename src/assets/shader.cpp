#include "assets/shader.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string_view>
#include <system_error>

#include <GL/glew.h>

#include "assets/directory.h"

ShaderRegistry shaderRegistry;

namespace {

constexpr GLsizei logCapacity = 2048;

// What the build in progress found wrong, kept for the windowed overlay.
struct BuildReport {
    std::string path;
    int stageFirstLine = 1;  // the file line of the stage being compiled
    std::vector<std::string> errors;
};

BuildReport buildReport;

std::string readWholeFile(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::string();
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Reads a file's modification time. On failure reports it (system text on
// stderr, one console line) unless the failure was already reported for this
// record, and returns false.
bool readFileTime(const std::filesystem::path& path, std::filesystem::file_time_type& time,
                  bool* alreadyReported)
{
    std::error_code error;
    time = std::filesystem::last_write_time(path, error);
    if (!error) {
        if (alreadyReported) *alreadyReported = false;
        return true;
    }
    if (alreadyReported && *alreadyReported) return false;
    if (alreadyReported) *alreadyReported = true;
    fprintf(stderr, "Problem getting information: %s\n", error.message().c_str());
    if (error == std::errc::no_such_file_or_directory)
        printf("File %s not found.\n", path.string().c_str());
    else if (error == std::errc::invalid_argument)
        printf("Invalid parameter to _stat.\n");
    else
        printf("Unexpected error in _stat.\n");
    return false;
}

// Seconds since 1970 as the console shows them (low 32 bits).
int32_t timeInSeconds(std::filesystem::file_time_type time)
{
    const auto system = std::chrono::file_clock::to_sys(time);
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(seconds)));
}

// Stores a newly linked program in the record; the replaced one is deleted
// (GL keeps it alive while it is still current).
void replaceProgram(LinkedShader& shader, int32_t program)
{
    if (shader.program != -1 && shader.program != program)
        glDeleteProgram(static_cast<GLuint>(shader.program));
    shader.program = program;
}

// Builds the record's file again after it changed at time; a program that
// links replaces the old one. The time is stored before building, so a file
// that fails is not retried until it is saved again.
void rebuildShader(LinkedShader& shader, std::filesystem::file_time_type time)
{
    shader.modified = time;
    const int32_t program = buildShaderProgram(shader.path.c_str());
    shader.errors = buildReport.errors;
    if (program != -1) {
        printf("LinkedShader Updated = %d\n", program);
        replaceProgram(shader, program);
    }
    printf("file updated = %s\n", shader.name.c_str());
}

void printInfoLog(GLuint object, bool isProgram, const char* prefix, const char* what)
{
    GLint length = 0;
    if (isProgram)
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    else
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    char log[logCapacity] = {0};
    GLsizei written = 0;
    if (length > 0) {
        if (isProgram)
            glGetProgramInfoLog(object, logCapacity, &written, log);
        else
            glGetShaderInfoLog(object, logCapacity, &written, log);
    }
    printf("%s(%s)::\n%s\n", prefix, what, log);
}

}  // namespace

void addShaderDirectory(const char* directory)
{
    shaderRegistry.directories.emplace_back(directory);
    scanShaderDirectories();
}

void scanShaderDirectories()
{
    std::vector<std::string> names;
    for (const std::string& directory : shaderRegistry.directories) {
        if (!listDirectoryFiles(directory, ".glsl", names)) {
            fprintf(stderr, "cannot list %s\n", directory.c_str());
            continue;
        }
        for (const std::string& name : names) {
            const std::string path = directory + "/" + name;
            std::filesystem::file_time_type time = std::filesystem::file_time_type::min();
            const bool haveTime = readFileTime(path, time, nullptr);
            const int32_t index = findShader(name.c_str());
            if (index == -1) {
                LinkedShader shader;
                shader.name = name;
                shader.path = path;
                shader.file = path;
                shader.program = buildShaderProgram(path.c_str());
                shader.errors = buildReport.errors;
                // An unreadable time stays at the minimum, so the first poll
                // that can read it builds the file again.
                shader.modified = time;
                shader.fileMissing = !haveTime;
                shaderRegistry.shaders.push_back(shader);
                printf("line kake= %s %s\n", name.c_str(), path.c_str());
                continue;
            }
            LinkedShader& shader = shaderRegistry.shaders[static_cast<size_t>(index)];
            if (!haveTime || time <= shader.modified) continue;
            rebuildShader(shader, time);
        }
    }
}

void pollShaderFiles()
{
    for (LinkedShader& shader : shaderRegistry.shaders) {
        std::filesystem::file_time_type time;
        if (!readFileTime(shader.file, time, &shader.fileMissing)) continue;
        if (time <= shader.modified) continue;
        printf("%s lm = %d\n", shader.path.c_str(), timeInSeconds(time));
        rebuildShader(shader, time);
    }
}

int32_t findShader(const char* name)
{
    // Called by every pass every frame: compare in place, allocate nothing.
    const std::string_view key(name);
    for (size_t i = 0; i < shaderRegistry.shaders.size(); ++i)
        if (shaderRegistry.shaders[i].name == key) return static_cast<int32_t>(i);
    return -1;
}

bool useShader(const char* name)
{
    const int32_t index = findShader(name);
    if (index == -1) {
        printf("cant find %s\n", name);
        return false;
    }
    const int32_t program = shaderRegistry.shaders[static_cast<size_t>(index)].program;
    // A file that never linked has no program; the current one stays.
    if (program != -1) glUseProgram(static_cast<GLuint>(program));
    return true;
}

int32_t buildShaderProgram(const char* path)
{
    std::string vertexSource;
    std::string fragmentSource;
    splitShaderSource(readWholeFile(path), vertexSource, fragmentSource);
    buildReport.path = path;
    buildReport.errors.clear();
    // The fragment stage begins on the line after the marker, the vertex
    // stage's last line.
    buildReport.stageFirstLine =
        1 + static_cast<int>(std::count(vertexSource.begin(), vertexSource.end(), '\n'));
    const uint32_t fragmentShader = compileShaderStage(GL_FRAGMENT_SHADER, fragmentSource.c_str());
    buildReport.stageFirstLine = 1;
    const uint32_t vertexShader = compileShaderStage(GL_VERTEX_SHADER, vertexSource.c_str());
    const bool compiled = buildReport.errors.empty();
    const int32_t program = linkShaderProgram(path, vertexShader, fragmentShader);
    if (program == -1 && compiled) buildReport.errors.push_back(buildReport.path + ": does not link");
    buildReport.path.clear();
    return program;
}

uint32_t compileShaderStage(uint32_t type, const char* source)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    // The link log alone does not show which line of which stage is wrong.
    if (!compiled) {
        printInfoLog(shader, false, "[shader]compile",
                     type == GL_VERTEX_SHADER ? "vertex" : "fragment");
        if (!buildReport.path.empty()) {
            char log[logCapacity] = {0};
            glGetShaderInfoLog(shader, logCapacity, nullptr, log);
            for (std::string& error : shaderLogErrors(log, buildReport.path, buildReport.stageFirstLine))
                buildReport.errors.push_back(std::move(error));
        }
    }
    return shader;
}

int32_t linkShaderProgram(const char* path, uint32_t vertexShader, uint32_t fragmentShader)
{
    printf("linking shaders\n");
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertexShader);
    glAttachShader(program, fragmentShader);
    glLinkProgram(program);
    if (glIsProgram(program)) printInfoLog(program, true, "[shader]link", path);
    GLint status = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    // The stages are no longer needed once linked (or failed); the program
    // keeps what it uses.
    glDetachShader(program, vertexShader);
    glDetachShader(program, fragmentShader);
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    if (status) {
        printf("shader compiled successfully: %d\n", status);
        return static_cast<int32_t>(program);
    }
    printf("could not load shader: %s\n", path);
    glDeleteProgram(program);
    return -1;
}

std::vector<std::string> shaderLogErrors(const std::string& log, const std::string& path,
                                         int firstLine)
{
    // Optional "ERROR: ", the source string number, then the line as ":12"
    // or "(12)", an optional column, and the message after a colon.
    static const std::regex located(R"(^\s*(?:ERROR:\s*)?\d+(?::(\d+)|\((\d+)\))(?:\(\d+\)|:\d+)?\s*:\s*(.*)$)");
    std::vector<std::string> errors;
    std::istringstream lines(log);
    std::string line;
    std::string first;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (first.empty() && line.find_first_not_of(" \t") != std::string::npos) first = line;
        std::smatch match;
        if (!std::regex_match(line, match, located)) continue;
        const std::string message = match[3].str();
        const bool isError = line.rfind("ERROR", 0) == 0 || message.find("error") != std::string::npos;
        if (!isError) continue;
        // A driver's line number is text of any length: read it saturating
        // (strtoll stops at LLONG_MAX) and cap it, so no conversion or sum
        // can overflow, however absurd the log.
        const std::string digits = match[1].matched ? match[1].str() : match[2].str();
        const long long stageLine = std::min(std::strtoll(digits.c_str(), nullptr, 10), 1LL << 40);
        errors.push_back(path + ":" + std::to_string(firstLine + stageLine - 1) + ": " + message);
    }
    if (errors.empty()) errors.push_back(path + ": " + (first.empty() ? "does not compile" : first));
    return errors;
}

void splitShaderSource(const std::string& text, std::string& vertexSource,
                       std::string& fragmentSource)
{
    vertexSource.clear();
    fragmentSource.clear();
    bool inFragment = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) end = text.size();
        size_t lineEnd = end;
        if (lineEnd > start && text[lineEnd - 1] == '\r') --lineEnd;
        const std::string_view line(text.data() + start, lineEnd - start);
        std::string& out = inFragment ? fragmentSource : vertexSource;
        out.append(line);
        out.push_back('\n');
        if (!inFragment && line == "//FRAGMENT") inFragment = true;
        start = next;
    }
}
