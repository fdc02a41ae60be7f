// Texture library and HDR cube maps. Owns the process-wide library: every
// PNG, JPEG and HDR image of the added directories as a 2D texture found by
// its bare file name. Textures are made once at start-up and never deleted.
// The image files can be decoded ahead on worker threads (beginTextureDecoding)
// while the main thread makes GL objects; the loads then only upload.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Returned by loadTextureFile when a file cannot be decoded.
constexpr uint32_t invalidTexture = 0xFFFFFFFFu;

struct Texture {
    std::string name;      // bare file name as listed, e.g. "noise.png"
    uint32_t texture = 0;  // GL texture
};

struct TextureLibrary {
    std::vector<std::string> directories;  // in the order added
    std::vector<Texture> textures;         // in load order; never removed
};

extern TextureLibrary textureLibrary;

// Appends a directory; nothing is loaded until loadTextureDirectories.
void addTextureDirectory(const char* directory);
// Starts decoding, on worker threads, every face file that loadHdrCubeMap of
// these directories and every image that loadTextureDirectories of the
// directories added so far will read, in that order. Those loads then take
// the decoded pixels (waiting only for files not decoded yet) and print and
// upload exactly as without it. The directories are listed now.
void beginTextureDecoding(const std::vector<std::string>& cubeDirectories);
// Loads every PNG, then JPEG, then HDR file of every directory into the
// library; then waits for the decoding workers and frees what nobody took.
void loadTextureDirectories();
// A new mipmapped 2D texture from an image file, or invalidTexture.
uint32_t loadTextureFile(const char* path);
// The GL texture of the first entry with exactly this name, or 0 (with a message).
uint32_t findTexture(const char* name);
// A new floating-point cube map from the directory's face files "*r.hdr",
// "*l.hdr", "*u.hdr", "*d.hdr", "*b.hdr", "*f.hdr"; a missing face is black.
uint32_t loadHdrCubeMap(const char* directory);

// True when the base name ends in an underscore: stored linear, not sRGB.
bool isLinearTextureName(const std::string& path);
// Cube face slot 0..5 (+X, -X, +Y, -Y, +Z, -Z) from the last letter of the
// base name (r, l, u, d, b, f); -1 for any other letter.
int cubeFaceIndex(const std::string& path);
// Whether a file's bytes decode as the loads decode them: an HDR file only
// when every scanline record lies within the bytes, any other image only
// when its header gives a size within 16384 pixels a side. Keeps nothing.
bool imageBytesDecode(const std::vector<unsigned char>& bytes, bool cubeFace);
