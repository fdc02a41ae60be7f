#include "assets/directory.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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

std::string outputPathProblem(const std::string& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status) || std::filesystem::is_regular_file(status))
        return "";
    return path + ": " +
           (std::filesystem::is_directory(status) ? "is a folder" : "is not a regular file (a device or a socket)") +
           ", not replaced";
}

std::string createTemporaryBeside(const std::string& path, std::string& why)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary =
            path + ".part" + std::to_string(::getpid()) + (attempt ? "-" + std::to_string(attempt) : "");
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return temporary;
        }
        if (errno != EEXIST) {
            why = path + ": cannot write beside it: " + std::strerror(errno);
            return "";
        }
    }
    why = path + ": cannot make a temporary file beside it";
    return "";
}

bool replaceWithTemporary(const std::string& temporary, const std::string& path, std::string& why)
{
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CLOEXEC);
    bool ok = fd >= 0 && ::fsync(fd) == 0;
    const int syncError = errno;
    if (fd >= 0 && ::close(fd) != 0 && ok)
        ok = false;
    std::error_code error;
    if (!ok)
        why = path + ": cannot write: " + std::strerror(syncError);
    else if (const std::string problem = outputPathProblem(path); !problem.empty()) {
        why = problem;
        ok = false;
    } else {
        std::filesystem::rename(temporary, path, error);
        if (error) {
            why = path + ": cannot replace: " + error.message();
            ok = false;
        }
    }
    if (!ok)
        std::filesystem::remove(temporary, error);
    return ok;
}

bool writeAllBytes(const std::string& file, const void* data, size_t size, std::string& why)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    int failure = fd < 0 ? errno : 0;
    while (fd >= 0 && done < size && failure == 0) {
        const ssize_t wrote = ::write(fd, bytes + done, size - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            failure = wrote < 0 ? errno : ENOSPC;
        else
            done += size_t(wrote);
    }
    if (fd >= 0 && ::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure != 0)
        why = file + ": cannot write: " + std::strerror(failure);
    return failure == 0;
}

bool writeFileReplacing(const std::string& path, const void* data, size_t size, std::string& why)
{
    if (const std::string problem = outputPathProblem(path); !problem.empty()) {
        why = problem;
        return false;
    }
    const std::string temporary = createTemporaryBeside(path, why);
    if (temporary.empty())
        return false;
    if (!writeAllBytes(temporary, data, size, why)) {
        why = path + why.substr(temporary.size());  // name the destination, not the temporary
        std::error_code error;
        std::filesystem::remove(temporary, error);
        return false;
    }
    return replaceWithTemporary(temporary, path, why);
}

void appendEncodedBytes(void* context, void* data, int size)
{
    auto* bytes = static_cast<std::vector<unsigned char>*>(context);
    bytes->insert(bytes->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
}
