#include "assets/texture.h"

#include <cstdio>
#include <filesystem>
#include <string_view>

#include <GL/glew.h>
#include <stb/stb_image.h>

#include "assets/directory.h"

TextureLibrary textureLibrary;

namespace {

// Every cube face is decoded to RGB floats and uploaded as GL_RGB, whatever
// the file holds, so a grey or RGBA file can never be read past its end.
constexpr int kCubeChannels = 3;

// One decoded cube face, held until the upload.
struct CubeFace {
    int width = 0;   // pixels
    int height = 0;  // pixels
    int channels = 0;         // as the file holds them; the pixels have kCubeChannels
    float* pixels = nullptr;  // stb_image allocation, released after upload
};

std::string baseName(const std::string& path)
{
    return std::filesystem::path(path).stem().string();
}

bool isHdrFile(const char* path)
{
    FILE* file = fopen(path, "rb");
    if (!file) return false;
    const bool hdr = stbi_is_hdr_from_file(file) != 0;
    fclose(file);
    return hdr;
}

// Decodes an image to floats with the given channel count forced (0 keeps
// the file's own); stb_image allocation, nullptr when unreadable.
float* decodeHdr(const char* path, int& width, int& height, int& channels, int forced = 0)
{
    FILE* file = fopen(path, "rb");
    if (!file) return nullptr;
    float* pixels = stbi_loadf_from_file(file, &width, &height, &channels, forced);
    fclose(file);
    return pixels;
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

// Decodes an 8-bit image with the given channel count forced (0 keeps the
// file's own); stb_image allocation, nullptr when unreadable.
unsigned char* decodeBytes(const char* path, int& width, int& height, int& channels, int forced)
{
    FILE* file = fopen(path, "rb");
    if (!file) return nullptr;
    unsigned char* pixels = stbi_load_from_file(file, &width, &height, &channels, forced);
    fclose(file);
    return pixels;
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

uint32_t loadHdrTexture(const char* path)
{
    printf("load hrd = %s\n", path);
    int width = 0, height = 0, channels = 0;
    float* pixels = decodeHdr(path, width, height, channels);
    if (!pixels) {
        printf("hdrtexture is fux00rd %s\n", path);
        return kInvalidTexture;
    }
    printf("xyn = %d %d %d\n", width, height, channels);
    return createTexture2D(GL_RGB32F, width, height, channels, GL_FLOAT, pixels);
}

}  // namespace

void addTextureDirectory(const char* directory)
{
    textureLibrary.directories.emplace_back(directory);
}

void loadTextureDirectories()
{
    static const char* const kExtensions[] = {".png", ".jpg", ".hdr"};
    std::vector<std::string> names;
    for (const std::string& directory : textureLibrary.directories) {
        for (const char* extension : kExtensions) {
            if (!listDirectoryFiles(directory, extension, names)) {
                fprintf(stderr, "cannot list %s\n", directory.c_str());
                break;
            }
            for (const std::string& name : names) {
                const std::string path = directory + "/" + name;
                const uint32_t texture = loadTextureFile(path.c_str());
                if (texture == kInvalidTexture) continue;
                textureLibrary.textures.push_back(Texture{name, texture});
                printf("loaded texture:%s\n", path.c_str());
            }
        }
    }
}

uint32_t loadTextureFile(const char* path)
{
    if (isHdrFile(path)) return loadHdrTexture(path);

    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = decodeBytes(path, width, height, channels, 0);
    if (!pixels) {
        printf("[texture]%s is invalid\n", path);
        return kInvalidTexture;
    }
    // Grey and grey-alpha images would be read as RGBA bytes they do not
    // have; decode them again expanded to four channels.
    if (channels < 3) {
        stbi_image_free(pixels);
        pixels = decodeBytes(path, width, height, channels, 4);
        if (!pixels) {
            printf("[texture]%s is invalid\n", path);
            return kInvalidTexture;
        }
        channels = 4;
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
    static const GLenum kFaceTargets[6] = {
        GL_TEXTURE_CUBE_MAP_POSITIVE_X, GL_TEXTURE_CUBE_MAP_NEGATIVE_X,
        GL_TEXTURE_CUBE_MAP_POSITIVE_Y, GL_TEXTURE_CUBE_MAP_NEGATIVE_Y,
        GL_TEXTURE_CUBE_MAP_POSITIVE_Z, GL_TEXTURE_CUBE_MAP_NEGATIVE_Z};
    static const char kFaceLetters[6] = {'r', 'l', 'u', 'd', 'b', 'f'};

    CubeFace faces[6];
    std::vector<std::string> names;
    if (!listDirectoryFiles(directory, ".hdr", names))
        fprintf(stderr, "cannot list %s\n", directory);
    for (const std::string& name : names) {
        const std::string path = std::string(directory) + "/" + name;
        const int slot = cubeFaceIndex(path);
        if (slot < 0) continue;
        CubeFace decoded;
        decoded.pixels = decodeHdr(path.c_str(), decoded.width, decoded.height, decoded.channels,
                                   kCubeChannels);
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
            printf("cube face %c of %s is %dx%d, not %dx%d\n", kFaceLetters[slot], directory,
                   face.width, face.height, size, size);
            stbi_image_free(face.pixels);
            face.pixels = nullptr;
        } else if (!face.pixels) {
            printf("cube face %c missing in %s\n", kFaceLetters[slot], directory);
        }
        if (face.pixels) {
            glTexImage2D(kFaceTargets[slot], 0, GL_RGB32F, size, size, 0, GL_RGB, GL_FLOAT,
                         face.pixels);
            stbi_image_free(face.pixels);
            face.pixels = nullptr;
        } else {
            black.assign(static_cast<size_t>(size) * size * kCubeChannels, 0.0f);
            glTexImage2D(kFaceTargets[slot], 0, GL_RGB32F, size, size, 0, GL_RGB, GL_FLOAT,
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
