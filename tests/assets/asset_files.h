// Small asset files written by the asset and render tests into their own
// temporary directories: 3DS meshes, PNG and HDR images, shader files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <stb/stb_image_write.h>

namespace testfiles {

// A fresh, empty directory under the system's temporary directory.
inline std::filesystem::path makeTempDir(const std::string& tag)
{
    static int counter = 0;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
        ("quillon_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline void writeText(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

// Binary chunk writer for the 3DS format: id, then length including the 6-byte header.
class Chunk {
public:
    explicit Chunk(uint16_t id) : id_(id) {}
    Chunk& u16(uint16_t v) { return raw(&v, 2); }
    Chunk& u32(uint32_t v) { return raw(&v, 4); }
    Chunk& f32(float v) { return raw(&v, 4); }
    Chunk& text(const std::string& s) { return raw(s.c_str(), s.size() + 1); }
    Chunk& child(const Chunk& c) { const std::string b = c.bytes(); return raw(b.data(), b.size()); }
    std::string bytes() const
    {
        std::string out;
        const uint32_t length = static_cast<uint32_t>(body_.size() + 6);
        out.append(reinterpret_cast<const char*>(&id_), 2);
        out.append(reinterpret_cast<const char*>(&length), 4);
        return out + body_;
    }

private:
    Chunk& raw(const void* p, size_t n) { body_.append(static_cast<const char*>(p), n); return *this; }
    uint16_t id_;
    std::string body_;
};

// One object of a 3DS file: positions (x, y, z per vertex), triangles
// (three vertex indices each) and, when given, one (u, v) per vertex.
struct Object3ds {
    std::vector<float> positions;
    std::vector<uint16_t> triangles;
    std::vector<float> texcoords;
};

inline void write3ds(const std::filesystem::path& path, const std::vector<Object3ds>& objects)
{
    Chunk editor(0x3D3D);
    editor.child(Chunk(0x3D3E).u32(3));
    int index = 0;
    for (const Object3ds& o : objects) {
        Chunk vertices(0x4110);
        vertices.u16(static_cast<uint16_t>(o.positions.size() / 3));
        for (float f : o.positions) vertices.f32(f);
        Chunk faces(0x4120);
        faces.u16(static_cast<uint16_t>(o.triangles.size() / 3));
        for (size_t i = 0; i < o.triangles.size(); i += 3)
            faces.u16(o.triangles[i]).u16(o.triangles[i + 1]).u16(o.triangles[i + 2]).u16(7);
        Chunk trimesh(0x4100);
        trimesh.child(vertices);
        if (!o.texcoords.empty()) {
            Chunk uv(0x4140);
            uv.u16(static_cast<uint16_t>(o.texcoords.size() / 2));
            for (float f : o.texcoords) uv.f32(f);
            trimesh.child(uv);
        }
        trimesh.child(faces);
        Chunk object(0x4000);
        object.text("part" + std::to_string(index++)).child(trimesh);
        editor.child(object);
    }
    Chunk main(0x4D4D);
    main.child(Chunk(0x0002).u32(3)).child(editor);
    writeText(path, main.bytes());
}

inline void write3ds(const std::filesystem::path& path, const std::vector<float>& positions,
                     const std::vector<uint16_t>& triangles,
                     const std::vector<float>& texcoords = {})
{
    write3ds(path, std::vector<Object3ds>{{positions, triangles, texcoords}});
}

// An 8-bit PNG of the given channel count filled with one value per channel.
inline void writePng(const std::filesystem::path& path, int width, int height, int channels,
                     const std::vector<uint8_t>& pixel)
{
    std::vector<uint8_t> data;
    for (int i = 0; i < width * height; ++i) data.insert(data.end(), pixel.begin(), pixel.end());
    stbi_write_png(path.string().c_str(), width, height, channels, data.data(), width * channels);
}

// A 3-channel Radiance HDR image filled with one colour.
inline void writeHdr(const std::filesystem::path& path, int width, int height, float r, float g,
                     float b)
{
    std::vector<float> data;
    for (int i = 0; i < width * height; ++i) data.insert(data.end(), {r, g, b});
    stbi_write_hdr(path.string().c_str(), width, height, 3, data.data());
}

}  // namespace testfiles
