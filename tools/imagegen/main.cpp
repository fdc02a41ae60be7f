// quillon-imagegen: writes every image, cube-map face and the sky dome mesh
// that the production reads, below the given data directory:
//   quillon-imagegen <data directory>
// The output is a pure function of this program and the system's DejaVu
// fonts: two runs write byte-identical files. Prints one line per file.
#include "imagegen.h"

#include "assets/directory.h"

#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

constexpr int sharpSize = 512;    // pixels per face of the reflection map
constexpr int glossySource = 8;   // the glossy map convolves the sharp one shrunk by this
constexpr int glossySize = 128;   // pixels per face
constexpr int glossyExponent = 256;  // about 3.6 degrees wide
constexpr int diffuseSource = 16;
constexpr int diffuseSize = 32;
// The dome is also every wire sphere of both scenes, drawn as the lines of
// its triangles' edges, so its triangle count is what the wire spheres cost:
// 32 x 18 gives 1088 triangles (3264 edges) in near-square 11.25 x 10 degree
// cells. The sky samples its maps by direction, which any tessellation gives
// exactly, since the eye sits at the dome's centre.
constexpr int domeSegments = 32;
constexpr int domeRings = 18;
const char* const faceLetters = "rludbf";  // +X, -X, +Y, -Y, +Z, -Z

std::vector<uint8_t> readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes a finished file whole or not at all (through a temporary of this
// run's own, renamed when complete, so an interrupted run or a full disk
// never leaves a truncated file that looks up to date) and reports it.
bool writeOutput(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::string why;
    if (bytes.empty()) why = path + ": cannot encode";
    else if (writeFileReplacing(path, bytes.data(), bytes.size(), why)) {
        std::printf("wrote %s (%llu bytes)\n", path.c_str(), static_cast<unsigned long long>(bytes.size()));
        return true;
    }
    std::fprintf(stderr, "imagegen: %s\n", why.c_str());
    return false;
}

bool writeCube(const CubeMap& cube, const std::filesystem::path& directory)
{
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    for (int f = 0; f < 6; ++f) {
        std::string path = (directory / (std::string("sky_") + faceLetters[f] + ".hdr")).string();
        std::vector<unsigned char> bytes;
        stbi_write_hdr_to_func(appendEncodedBytes, &bytes, cube[f].size, cube[f].size, 3, cube[f].rgb.data());
        if (!writeOutput(path, bytes)) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // Help, an option (anything starting with '-') or a wrong count of
    // arguments is answered with the usage before anything is written.
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::printf("usage: quillon-imagegen <data directory>\n");
        return 0;
    }
    if (argc != 2 || first.empty() || first[0] == '-') {
        std::fprintf(stderr, "usage: quillon-imagegen <data directory>\n");
        return 2;
    }
    const std::filesystem::path data = argv[1];
    const std::filesystem::path seq1 = data / "seq1";
    const std::filesystem::path scene4 = data / "tovel3" / "scene4";
    std::error_code error;
    std::filesystem::create_directories(seq1, error);
    std::filesystem::create_directories(scene4, error);
    if (!std::filesystem::is_directory(seq1) || !std::filesystem::is_directory(scene4)) {
        std::fprintf(stderr, "imagegen: cannot create directories below %s\n", argv[1]);
        return 1;
    }
    int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));

    Fonts fonts{readFile(QUILLON_FONT_BOLD), readFile(QUILLON_FONT_REGULAR)};
    for (const TextureSpec& spec : textureSpecs()) {
        Image8 image;
        if (!renderTexture(spec, fonts, image)) {
            return 1;
        }
        std::string path = (seq1 / spec.name).string();
        std::vector<unsigned char> bytes;
        stbi_write_png_to_func(appendEncodedBytes, &bytes, image.width, image.height, image.channels,
                               image.pixels.data(), image.width * image.channels);
        if (!writeOutput(path, bytes)) {
            return 1;
        }
    }

    CubeMap sharp = renderSky(sharpSize, threads);
    CubeMap glossy = convolveCube(downsampleCube(sharp, glossySource), glossySize, glossyExponent, threads);
    CubeMap diffuse = convolveCube(downsampleCube(sharp, diffuseSource), diffuseSize, 1, threads);
    if (!writeCube(diffuse, seq1 / "env") || !writeCube(glossy, seq1 / "spec")
        || !writeCube(sharp, seq1 / "fine_ref512")) {
        return 1;
    }

    std::vector<uint8_t> dome = buildSkyDome3ds(domeSegments, domeRings);
    return writeOutput((scene4 / "skydome.3DS").string(), dome) ? 0 : 1;
}
