#include "core/DiskLayout.h"
#include "tools/contentart/CarouselScene.h"
#include "tools/contentgen/Content.h"
#include "scene3ds/C3ds.h"

#include <libopenmpt/libopenmpt.hpp>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sndfile.h>
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace fs = std::filesystem;

namespace {

struct Problems {
    int count = 0;
    void operator()(const std::string& what)
    {
        std::fprintf(stderr, "check: %s\n", what.c_str());
        ++count;
    }
};

std::string Attr(xmlNode* n, const char* name)
{
    xmlChar* v = xmlGetProp(n, reinterpret_cast<const xmlChar*>(name));
    if (!v) return {};
    std::string s(reinterpret_cast<const char*>(v));
    xmlFree(v);
    return s;
}

bool Is(xmlNode* n, const char* name)
{
    return n->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0;
}

// Collects every file a catalogue names, with the dummytexture names by id.
void Walk(xmlNode* n, std::set<std::string>& files, std::vector<std::string>& dummies, std::string& scenePath)
{
    for (; n; n = n->next) {
        if (Is(n, "song")) {
            files.insert(Attr(n, "path"));
            files.insert(Attr(n, "titlepic"));
        }
        if (Is(n, "image") || Is(n, "font")) files.insert(Attr(n, "path"));
        if (Is(n, "monitor")) {
            scenePath = Attr(n, "path");
            files.insert(scenePath);
        }
        if (Is(n, "dummytexture")) {
            int id = std::atoi(Attr(n, "id").c_str());
            if (id >= 0 && id < 4) {
                if (dummies.size() < 4) dummies.resize(4);
                dummies[size_t(id)] = Attr(n, "file");
            }
        }
        Walk(n->children, files, dummies, scenePath);
    }
}

bool IsPowerOfTwo(int v)
{
    return v > 0 && (v & (v - 1)) == 0;
}

}  // namespace

ScreenPoint ProjectScenePoint(double x, double y, double z)
{
    // The monitor's fixed camera: left-handed look-at and a 45 degree perspective.
    const double ex = -6, ey = 110, ez = -145, tx = -5, ty = 75, tz = 63;
    double fx = tx - ex, fy = ty - ey, fz = tz - ez;
    double fl = std::sqrt(fx * fx + fy * fy + fz * fz);
    fx /= fl;
    fy /= fl;
    fz /= fl;
    double rx = fz, ry = 0, rz = -fx;  // up x forward
    double rl = std::sqrt(rx * rx + rz * rz);
    rx /= rl;
    rz /= rl;
    double ux = fy * rz - fz * ry, uy = fz * rx - fx * rz, uz = fx * ry - fy * rx;
    double dx = x - ex, dy = y - ey, dz = z - ez;
    double vx = dx * rx + dy * ry + dz * rz, vy = dx * ux + dy * uy + dz * uz,
           vz = dx * fx + dy * fy + dz * fz;
    double ys = 1.0 / std::tan(45.0 * 3.14159265358979 / 360.0), xs = ys / (1280.0 / 720.0);
    return {640 + vx * xs / vz * 640, 360 - vy * ys / vz * 360, vz};
}

int CheckContent(const std::string& folder, const Manifest& m, bool test)
{
    Problems bad;
    const fs::path root(folder);

    // Every file the catalogues and the shell name exists.
    std::set<std::string> named;
    for (int f = 0; f < disk::kShellFileCount; ++f) named.insert(disk::Shell(static_cast<disk::ShellFile>(f)).path);
    std::vector<std::string> dummies;
    std::string scenePath;
    int songCount = 0;
    for (const char* xml : {"art.xml", "interface.xml"}) {
        xmlDoc* doc = xmlReadFile((root / xml).string().c_str(), nullptr, XML_PARSE_NONET);
        if (!doc) {
            bad(std::string(xml) + " does not parse");
            continue;
        }
        Walk(xmlDocGetRootElement(doc), named, dummies, scenePath);
        if (std::string(xml) == "art.xml")
            for (xmlNode* n = xmlDocGetRootElement(doc)->children; n; n = n->next)
                if (Is(n, "songs"))
                    for (xmlNode* s = n->children; s; s = s->next) songCount += Is(s, "song") ? 1 : 0;
        xmlFreeDoc(doc);
    }
    for (const std::string& f : named)
        if (f.empty() || !fs::is_regular_file(root / f))
            bad("missing file named by the catalogue or shell: '" + f + "'");
    if (songCount < (test ? 4 : 6)) bad("too few songs: " + std::to_string(songCount));

    // Each file as intended.
    for (const ExpectedFile& f : m.files) {
        const std::string path = (root / f.path).string();
        switch (f.kind) {
        case FileKind::Picture: {
            int w = 0, h = 0, comp = 0;
            if (!stbi_info(path.c_str(), &w, &h, &comp)) {
                bad(f.path + ": not a decodable picture");
                break;
            }
            if (w != f.width || h != f.height)
                bad(f.path + ": " + std::to_string(w) + "x" + std::to_string(h) + " instead of " +
                    std::to_string(f.width) + "x" + std::to_string(f.height));
            break;
        }
        case FileKind::Module: {
            std::ifstream in(path, std::ios::binary);
            try {
                openmpt::module mod(in);
                // Players round the tick length to whole samples: allow 0.2 %.
                if (std::fabs(mod.get_duration_seconds() - f.seconds) > std::max(0.05, f.seconds * 0.002))
                    bad(f.path + ": plays " + std::to_string(mod.get_duration_seconds()) + " s instead of " +
                        std::to_string(f.seconds));
                if (mod.get_num_channels() != f.channels) bad(f.path + ": wrong channel count");
            } catch (const std::exception& e) {
                bad(f.path + ": the module player refuses it: " + e.what());
            }
            break;
        }
        case FileKind::Stream: {
            SF_INFO info{};
            SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
            if (!sf) {
                bad(f.path + ": not a readable stream: " + sf_strerror(nullptr));
                break;
            }
            double seconds = double(info.frames) / info.samplerate;
            sf_close(sf);
            if (std::fabs(seconds - f.seconds) > 0.1)
                bad(f.path + ": lasts " + std::to_string(seconds) + " s instead of " +
                    std::to_string(f.seconds));
            break;
        }
        default:
            break;
        }
    }

    // Lengths the screens and the listener rely on.
    for (const ExpectedFile& f : m.files) {
        bool song = f.path.rfind("songs/", 0) == 0;
        if (song && (test ? (f.seconds < 3 || f.seconds > 6.5) : (f.seconds < 60 || f.seconds > 150)))
            bad(f.path + ": song length " + std::to_string(f.seconds) + " s out of range");
        if (f.path == disk::Shell(disk::IntroSong).path && (f.seconds < 41 || f.seconds > 45))
            bad("intro song length out of 41..45 s");
        if (f.path == disk::Shell(disk::EndSong).path && !test && f.seconds < 50) bad("end song shorter than 50 s");
        if (f.path.rfind("titles/", 0) == 0 && (f.width != f.height || !IsPowerOfTwo(f.width)))
            bad(f.path + ": title pictures must be square with a power-of-two side");
    }
    auto size = [&](const char* p, int w, int h) {
        const ExpectedFile* f = m.Find(p);
        if (!f || (w && f->width != w) || (h && f->height != h)) bad(std::string(p) + ": unexpected size");
        return f;
    };
    size(disk::Shell(disk::LoadingScreen).path, 1280, 720);
    size(disk::Shell(disk::IntroDial).path, 2048, 0);
    const ExpectedFile* knob = size(disk::Shell(disk::IntroKnob).path, 0, 0);
    if (knob && knob->width != knob->height) bad("the knob is not square");
    if (const ExpectedFile* s = size(disk::Shell(disk::EndScroller).path, 512, 0);
        s && (s->height < 1025 || s->height > 2048))
        bad("scroller height gives no 2048-row texture");
    size(disk::Shell(disk::EndLetterbox).path, 483, 244);

    // The scene: readable, placeholder names matching, every mesh placed by its keys.
    if (dummies.size() != 4) bad("interface.xml lacks four dummytexture entries");
    C3ds reader;
    Scene3ds* scene = nullptr;
    if (!reader.Load3ds((root / scenePath).string().c_str(), &scene) || !scene) {
        bad("scene " + scenePath + " does not load");
    } else {
        std::set<std::string> textures;
        for (int i = 0; i < scene->materialCount; ++i)
            if (scene->materialIndex[i]->textureFile) textures.insert(scene->materialIndex[i]->textureFile);
        for (const std::string& d : dummies)
            if (!textures.count(d)) bad("dummytexture '" + d + "' names no texture of the scene");
        for (const std::string& t : textures)
            if (!fs::is_regular_file(root / fs::path(scenePath).parent_path() / t))
                bad("scene texture missing: " + t);
        for (int i = 0; i < scene->meshCount; ++i) {
            const Mesh3ds* mesh = scene->meshIndex[i];
            const Node3ds* node = scene->nodeCount ? scene->nodeIndex[mesh->nodeIndex] : nullptr;
            if (!node || std::strcmp(node->name, mesh->name) != 0) {
                bad(std::string("mesh without a node: ") + mesh->name);
                continue;
            }
            if (node->positionKeyCount < 1 || node->rotationKeyCount < 1 || node->scaleKeyCount < 1) {
                bad(std::string("mesh lacks position, rotation or scale keys: ") + mesh->name);
                continue;
            }
            const PosKey3ds& p = node->positionKeys[0];
            if (std::fabs(p.x - mesh->matrix[3][0]) > 1e-3 || std::fabs(p.y - mesh->matrix[3][1]) > 1e-3 ||
                std::fabs(p.z - mesh->matrix[3][2]) > 1e-3)
                bad(std::string("position key differs from the mesh matrix: ") + mesh->name);
        }
        // Framing: slot s comes to the front after s forward quarter turns, facing the camera
        // and inside the picture.
        for (int slot = 0; slot < 4; ++slot) {
            const Mesh3ds* screen = nullptr;
            for (int i = 0; i < scene->meshCount; ++i) {
                const Mesh3ds* mesh = scene->meshIndex[i];
                if (mesh->faceCount && mesh->faces[0].materialIndex < scene->materialCount) {
                    const char* tex = scene->materialIndex[mesh->faces[0].materialIndex]->textureFile;
                    if (tex && dummies.size() == 4 && dummies[size_t(slot)] == tex) screen = mesh;
                }
            }
            if (!screen) {
                bad("no mesh shows placeholder " + std::to_string(slot));
                continue;
            }
            const double a = 1.57 * slot, c = std::cos(a), s = std::sin(a);
            double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9, cz = 0;
            for (int v = 0; v < screen->vertexCount; ++v) {
                const Vertex3ds& q = screen->vertices[v];
                double x = q.x - CarouselGeometry::pivotX, z = q.z - CarouselGeometry::pivotZ;
                double rx = x * c + z * s + CarouselGeometry::pivotX,
                       rz = -x * s + z * c + CarouselGeometry::pivotZ;
                ScreenPoint sp = ProjectScenePoint(rx, q.y, rz);
                minX = std::fmin(minX, sp.x);
                maxX = std::fmax(maxX, sp.x);
                minY = std::fmin(minY, sp.y);
                maxY = std::fmax(maxY, sp.y);
                cz += rz - CarouselGeometry::pivotZ;
            }
            if (cz / screen->vertexCount > -CarouselGeometry::half * 0.9)
                bad("placeholder " + std::to_string(slot) + " is not at the front after its turns");
            if (minX < 0 || maxX > 1280 || minY < 0 || maxY > 720)
                bad("placeholder " + std::to_string(slot) + " leaves the picture");
            if (slot == 0)
                std::printf("front screen on the interface: x %.0f..%.0f, y %.0f..%.0f\n", minX, maxX, minY,
                            maxY);
        }
    }
    Free3ds(scene);
    return bad.count;
}
