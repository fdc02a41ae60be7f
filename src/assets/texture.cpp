#include "assets/texture.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include <GL/glew.h>
#include <stb/stb_image.h>

#include "assets/directory.h"

TextureLibrary textureLibrary;

namespace {

// Every cube face is decoded to RGB floats and uploaded as GL_RGB, whatever
// the file holds, so a grey or RGBA file can never be read past its end.
constexpr int cubeChannels = 3;

// One decoded cube face, held until the upload.
struct CubeFace {
    int width = 0;   // pixels
    int height = 0;  // pixels
    int channels = 0;         // as the file holds them; the pixels have cubeChannels
    float* pixels = nullptr;  // stb_image allocation, released after upload
};

std::string baseName(const std::string& path)
{
    return std::filesystem::path(path).stem().string();
}

// The largest image side (pixels) and file (bytes) the decoders are given.
constexpr int maxImageSide = 16384;
constexpr size_t maxImageFileBytes = size_t(1) << 30;

bool sideFits(int pixels) { return pixels > 0 && pixels <= maxImageSide; }

// The whole file; empty when it cannot be read or is not a regular file.
std::vector<unsigned char> readFileBytes(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return {};
    std::vector<unsigned char> bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return bytes;
    unsigned char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0 && bytes.size() <= maxImageFileBytes)
        bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    return bytes;
}

// Whether a Radiance HDR file's header, resolution and every scanline record
// lie within its bytes, read the way stb_image reads them. Its decoder waits
// for ever on a run that cannot end (a record cut off by the file's end, or
// a run of length 0), so a file must pass this before it is decoded.
bool hdrStructureFits(const unsigned char* data, size_t size)
{
    size_t at = 0;
    std::string line;
    auto readLine = [&] {
        line.clear();
        while (at < size && data[at] != '\n') line += static_cast<char>(data[at++]);
        return at++ < size;
    };
    if (!readLine() || (line != "#?RADIANCE" && line != "#?RGBE")) return false;
    do {
        if (!readLine()) return false;
    } while (!line.empty());
    int width = 0, height = 0;
    if (!readLine() || std::sscanf(line.c_str(), "-Y %d +X %d", &height, &width) != 2 || !sideFits(width) ||
        !sideFits(height))
        return false;
    const size_t flat = static_cast<size_t>(width) * 4;  // bytes of a scanline stored as it is
    if (width < 8 || width >= 32768) return size - at >= flat * static_cast<size_t>(height);
    for (int y = 0; y < height; ++y) {
        if (size - at < 4) return false;
        // A scanline without the run-length mark: the decoder reads the rest
        // of the image as it is stored.
        if (data[at] != 2 || data[at + 1] != 2 || (data[at + 2] & 0x80))
            return size - at >= flat * static_cast<size_t>(height - y);
        if (((data[at + 2] << 8) | data[at + 3]) != width) return false;
        at += 4;
        for (int channel = 0; channel < 4; ++channel) {
            for (int left = width; left > 0;) {
                if (at >= size) return false;
                int count = data[at++];
                const size_t stored = count > 128 ? 1 : static_cast<size_t>(count);  // bytes of the run
                if (count > 128) count -= 128;
                if (count == 0 || count > left || size - at < stored) return false;
                at += stored;
                left -= count;
            }
        }
    }
    return true;
}

// The edge length (pixels) shared by most of the square faces, the earliest
// face deciding a tie; 0 when no face is square.
int commonCubeFaceSize(const CubeFace* faces)
{
    int best = 0;
    int bestCount = 0;
    for (int i = 0; i < 6; ++i) {
        if (!faces[i].pixels || faces[i].width != faces[i].height) continue;
        int count = 0;
        for (int j = 0; j < 6; ++j)
            if (faces[j].pixels && faces[j].width == faces[i].width &&
                faces[j].height == faces[i].width)
                ++count;
        if (count > bestCount) {
            best = faces[i].width;
            bestCount = count;
        }
    }
    return best;
}

// Uploads RGB (3 channels) or RGBA pixels of the given type into a new 2D
// texture with mipmaps, linear filtering and repeat wrap, and frees the
// pixels (an stb_image allocation). The caller owns the texture.
uint32_t createTexture2D(GLint internalFormat, int width, int height, int channels, GLenum type,
                         void* pixels)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0,
                 channels == 3 ? GL_RGB : GL_RGBA, type, pixels);
    stbi_image_free(pixels);
    glGenerateMipmap(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    return texture;
}

// One image file decoded as its load would decode it: a cube face to RGB
// floats; any other file to floats when it is HDR, else to 8-bit pixels,
// grey and grey-alpha images expanded to four channels (they would be read as
// RGBA bytes they do not have).
struct DecodedImage {
    std::string path;
    bool cubeFace = false;
    bool hdr = false;
    int width = 0;            // pixels
    int height = 0;           // pixels
    int channels = 0;         // as the file holds them (4 after a grey expansion)
    void* pixels = nullptr;   // stb_image allocation; nullptr when undecodable
};

// Decodes one file's bytes into `image` (whose path and cubeFace are set);
// pixels stay nullptr when they do not decode.
void decodeImageBytes(const std::vector<unsigned char>& bytes, DecodedImage& image)
{
    if (bytes.empty() || bytes.size() > maxImageFileBytes) return;
    const unsigned char* data = bytes.data();
    const int size = static_cast<int>(bytes.size());
    // Every file is checked before it is decoded: an HDR file's records
    // against its length, any other file's size from its header, so an
    // absurd header allocates nothing. stb_image then reads from memory,
    // within its bounds.
    const bool hdr = stbi_is_hdr_from_memory(data, size) != 0;
    int width = 0, height = 0, channels = 0;
    if (hdr ? !hdrStructureFits(data, bytes.size())
            : !stbi_info_from_memory(data, size, &width, &height, &channels) || !sideFits(width) ||
                  !sideFits(height))
        return;
    if (image.cubeFace || hdr) {
        image.hdr = !image.cubeFace;
        image.pixels = stbi_loadf_from_memory(data, size, &image.width, &image.height, &image.channels,
                                              image.cubeFace ? cubeChannels : 0);
        return;
    }
    image.pixels = stbi_load_from_memory(data, size, &image.width, &image.height, &image.channels,
                                         channels < 3 ? 4 : 0);
    if (image.pixels && channels < 3) image.channels = 4;
}

void decodeImage(DecodedImage& image) { decodeImageBytes(readFileBytes(image.path), image); }

// Images decoded ahead by worker threads, in the order the loads need them.
// The main thread takes each one once; the workers end when the list is done.
struct DecodeAhead {
    std::vector<DecodedImage> images;    // fixed once the workers start
    std::vector<bool> done;              // guarded by lock
    std::vector<bool> taken;             // main thread only
    std::atomic<size_t> next{0};         // the next image a worker decodes
    std::vector<std::thread> workers;
    std::mutex lock;
    std::condition_variable finished;

    ~DecodeAhead() { joinWorkers(); }

    void joinWorkers()
    {
        for (std::thread& worker : workers)
            if (worker.joinable()) worker.join();
        workers.clear();
    }
};

DecodeAhead decodeAhead;

void runDecodeWorker()
{
    for (;;) {
        const size_t i = decodeAhead.next.fetch_add(1);
        if (i >= decodeAhead.images.size()) return;
        decodeImage(decodeAhead.images[i]);
        {
            const std::lock_guard<std::mutex> guard(decodeAhead.lock);
            decodeAhead.done[i] = true;
        }
        decodeAhead.finished.notify_all();
    }
}

// The image decoded ahead for this path and kind, waiting until its worker
// is done with it; false when it was not asked for (the caller decodes).
bool takeDecodedImage(const std::string& path, bool cubeFace, DecodedImage& image)
{
    for (size_t i = 0; i < decodeAhead.images.size(); ++i) {
        const DecodedImage& candidate = decodeAhead.images[i];
        if (decodeAhead.taken[i] || candidate.cubeFace != cubeFace || candidate.path != path) continue;
        std::unique_lock<std::mutex> guard(decodeAhead.lock);
        decodeAhead.finished.wait(guard, [i] { return bool(decodeAhead.done[i]); });
        decodeAhead.taken[i] = true;
        image = candidate;
        return true;
    }
    return false;
}

// Waits for the workers and frees every image nobody took.
void endDecodeAhead()
{
    decodeAhead.joinWorkers();
    for (size_t i = 0; i < decodeAhead.images.size(); ++i)
        if (!decodeAhead.taken[i] && decodeAhead.images[i].pixels)
            stbi_image_free(decodeAhead.images[i].pixels);
    decodeAhead.images.clear();
    decodeAhead.done.clear();
    decodeAhead.taken.clear();
    decodeAhead.next = 0;
}

// The file as loadTextureFile decodes it, from the workers when they have it.
DecodedImage decodeTextureFile(const char* path)
{
    DecodedImage image;
    if (takeDecodedImage(path, false, image)) return image;
    image.path = path;
    decodeImage(image);
    return image;
}

uint32_t loadHdrTexture(const char* path, DecodedImage& image)
{
    printf("load hrd = %s\n", path);
    const int width = image.width, height = image.height, channels = image.channels;
    float* pixels = static_cast<float*>(image.pixels);
    if (!pixels) {
        printf("hdrtexture is fux00rd %s\n", path);
        return invalidTexture;
    }
    printf("xyn = %d %d %d\n", width, height, channels);
    return createTexture2D(GL_RGB32F, width, height, channels, GL_FLOAT, pixels);
}

}  // namespace

void addTextureDirectory(const char* directory)
{
    textureLibrary.directories.emplace_back(directory);
}

void beginTextureDecoding(const std::vector<std::string>& cubeDirectories)
{
    endDecodeAhead();
    std::vector<std::string> names;
    for (const std::string& directory : cubeDirectories) {
        if (!listDirectoryFiles(directory, ".hdr", names)) continue;
        for (const std::string& name : names) {
            const std::string path = directory + "/" + name;
            if (cubeFaceIndex(path) < 0) continue;
            DecodedImage image;
            image.path = path;
            image.cubeFace = true;
            decodeAhead.images.push_back(std::move(image));
        }
    }
    static const char* const extensions[] = {".png", ".jpg", ".hdr"};
    for (const std::string& directory : textureLibrary.directories)
        for (const char* extension : extensions) {
            if (!listDirectoryFiles(directory, extension, names)) break;
            for (const std::string& name : names) {
                DecodedImage image;
                image.path = directory + "/" + name;
                decodeAhead.images.push_back(std::move(image));
            }
        }
    decodeAhead.done.assign(decodeAhead.images.size(), false);
    decodeAhead.taken.assign(decodeAhead.images.size(), false);
    // The main thread keeps a core for GL; the workers share what is left,
    // at least two so a large file does not hold up the small ones behind it.
    const unsigned cores = std::thread::hardware_concurrency();
    const size_t workers = std::min<size_t>(decodeAhead.images.size(), std::clamp(cores, 2u, 4u));
    for (size_t i = 0; i < workers; ++i) decodeAhead.workers.emplace_back(runDecodeWorker);
}

void loadTextureDirectories()
{
    static const char* const extensions[] = {".png", ".jpg", ".hdr"};
    std::vector<std::string> names;
    for (const std::string& directory : textureLibrary.directories) {
        for (const char* extension : extensions) {
            if (!listDirectoryFiles(directory, extension, names)) {
                fprintf(stderr, "cannot list %s\n", directory.c_str());
                break;
            }
            for (const std::string& name : names) {
                const std::string path = directory + "/" + name;
                const uint32_t texture = loadTextureFile(path.c_str());
                if (texture == invalidTexture) continue;
                textureLibrary.textures.push_back(Texture{name, texture});
                printf("loaded texture:%s\n", path.c_str());
            }
        }
    }
    endDecodeAhead();
}

uint32_t loadTextureFile(const char* path)
{
    DecodedImage image = decodeTextureFile(path);
    if (image.hdr) return loadHdrTexture(path, image);

    const int width = image.width, height = image.height, channels = image.channels;
    unsigned char* pixels = static_cast<unsigned char*>(image.pixels);
    if (!pixels) {
        printf("[texture]%s is invalid\n", path);
        return invalidTexture;
    }
    GLint internalFormat = GL_SRGB_ALPHA;
    if (isLinearTextureName(path)) {
        internalFormat = GL_RGBA;
        printf("%s gets internalformat GL_RGBA\n", path);
    }
    return createTexture2D(internalFormat, width, height, channels, GL_UNSIGNED_BYTE, pixels);
}

uint32_t findTexture(const char* name)
{
    const std::string_view key(name);
    for (const Texture& entry : textureLibrary.textures)
        if (entry.name == key) return entry.texture;
    printf("could not find tex: %s\n", name);
    return 0;
}

uint32_t loadHdrCubeMap(const char* directory)
{
    static const GLenum faceTargets[6] = {
        GL_TEXTURE_CUBE_MAP_POSITIVE_X, GL_TEXTURE_CUBE_MAP_NEGATIVE_X,
        GL_TEXTURE_CUBE_MAP_POSITIVE_Y, GL_TEXTURE_CUBE_MAP_NEGATIVE_Y,
        GL_TEXTURE_CUBE_MAP_POSITIVE_Z, GL_TEXTURE_CUBE_MAP_NEGATIVE_Z};
    static const char faceLetters[6] = {'r', 'l', 'u', 'd', 'b', 'f'};

    CubeFace faces[6];
    std::vector<std::string> names;
    if (!listDirectoryFiles(directory, ".hdr", names))
        fprintf(stderr, "cannot list %s\n", directory);
    for (const std::string& name : names) {
        const std::string path = std::string(directory) + "/" + name;
        const int slot = cubeFaceIndex(path);
        if (slot < 0) continue;
        DecodedImage image;
        if (!takeDecodedImage(path, true, image)) {
            image.path = path;
            image.cubeFace = true;
            decodeImage(image);
        }
        CubeFace decoded;
        decoded.width = image.width;
        decoded.height = image.height;
        decoded.channels = image.channels;
        decoded.pixels = static_cast<float*>(image.pixels);
        if (!decoded.pixels) {
            printf("hdrtexture is fux00rd %s\n", path.c_str());
            continue;
        }
        // A later file with the same letter replaces the earlier one.
        if (faces[slot].pixels) stbi_image_free(faces[slot].pixels);
        faces[slot] = decoded;
    }

    // Every face must exist for a complete cube map, square and of one size.
    // A missing, broken or misfit face is uploaded black at the size most
    // faces share, so one odd file costs only its own face.
    const int common = commonCubeFaceSize(faces);
    const int size = common > 0 ? common : 1;
    std::vector<float> black;

    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_CUBE_MAP, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int slot = 0; slot < 6; ++slot) {
        CubeFace& face = faces[slot];
        if (face.pixels && (face.width != size || face.height != size)) {
            printf("cube face %c of %s is %dx%d, not %dx%d\n", faceLetters[slot], directory,
                   face.width, face.height, size, size);
            stbi_image_free(face.pixels);
            face.pixels = nullptr;
        } else if (!face.pixels) {
            printf("cube face %c missing in %s\n", faceLetters[slot], directory);
        }
        if (face.pixels) {
            glTexImage2D(faceTargets[slot], 0, GL_RGB32F, size, size, 0, GL_RGB, GL_FLOAT,
                         face.pixels);
            stbi_image_free(face.pixels);
            face.pixels = nullptr;
        } else {
            black.assign(static_cast<size_t>(size) * size * cubeChannels, 0.0f);
            glTexImage2D(faceTargets[slot], 0, GL_RGB32F, size, size, 0, GL_RGB, GL_FLOAT,
                         black.data());
        }
    }
    glGenerateMipmap(GL_TEXTURE_CUBE_MAP);
    glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
    return texture;
}

bool isLinearTextureName(const std::string& path)
{
    const std::string base = baseName(path);
    return !base.empty() && base.back() == '_';
}

int cubeFaceIndex(const std::string& path)
{
    const std::string base = baseName(path);
    if (base.empty()) return -1;
    switch (base.back()) {
    case 'r': return 0;
    case 'l': return 1;
    case 'u': return 2;
    case 'd': return 3;
    case 'b': return 4;
    case 'f': return 5;
    default: return -1;
    }
}

bool imageBytesDecode(const std::vector<unsigned char>& bytes, bool cubeFace)
{
    DecodedImage image;
    image.cubeFace = cubeFace;
    decodeImageBytes(bytes, image);
    const bool decoded = image.pixels != nullptr;
    stbi_image_free(image.pixels);
    return decoded;
}
