// Malformed files: the reader must neither crash, hang nor read outside the file or
// the chunk it reads. A chunk that does not fit stops the walk with error 6; what
// was read before it stays in the handed-out root.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/scene3ds/ReaderFixtures.h"

namespace {

// Main > Editor > Object "Box" > Mesh, with the given writer for the mesh's body.
std::vector<uint8_t> MeshFile(const std::function<void(Writer3ds&)>& body, bool secondObject = false)
{
    Writer3ds w;
    w.Begin(Writer3ds::kMain);
    w.Begin(Writer3ds::kEditor);
    w.BeginObject("Box");
    w.Begin(Writer3ds::kMesh);
    body(w);
    w.End();
    w.End();
    if (secondObject) {
        w.BeginObject("After");
        w.Begin(Writer3ds::kMesh);
        w.End();
        w.End();
    }
    w.End();
    w.End();
    return w.Data();
}

std::vector<uint8_t> GoodFile()
{
    return MeshFile(
        [](Writer3ds& w) {
            const float xyz[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
            const Writer3ds::Face face = {0, 1, 2, 0};
            w.Vertices(xyz, 3);
            w.BeginFaces(&face, 1);
            w.End();
        },
        true);
}

struct Case {
    const char* name;
    std::function<std::vector<uint8_t>()> bytes;
    int result;
    LoadError error;
    std::function<void(const Scene3ds&)> check;
};

}  // namespace

TEST(ReaderRobustness, MalformedFiles)
{
    const Case cases[] = {
        {"zero-length sub-chunk inside a mesh ends the mesh's walk",
         [] {
             return MeshFile(
                 [](Writer3ds& w) {
                     w.Header(0x4111, 0);
                     const float xyz[] = {1, 2, 3};
                     w.Vertices(xyz, 1);
                 },
                 true);
         },
         1, LoadErrorNone,
         [](const Scene3ds& s) {
             ASSERT_EQ(s.meshCount, 2);
             EXPECT_EQ(s.meshIndex[0]->vertexCount, 0);  // after the zero length: skipped
             EXPECT_STREQ(s.meshIndex[1]->name, "After");
         }},
        {"vertex count larger than the data",
         [] {
             return MeshFile([](Writer3ds& w) {
                 w.Begin(Writer3ds::kVertices);
                 w.U16(1000);
                 for (int i = 0; i < 9; ++i) w.F32(1.0f);
                 w.End();
             });
         },
         0, LoadErrorMalformed,
         [](const Scene3ds& s) {
             ASSERT_EQ(s.meshCount, 1);  // the mesh before the bad chunk is kept
             EXPECT_EQ(s.meshIndex[0]->vertexCount, 0);
         }},
        {"file cut in half",
         [] {
             std::vector<uint8_t> bytes = GoodFile();
             bytes.resize(bytes.size() / 2);
             return bytes;
         },
         0, LoadErrorMalformed, nullptr},
        {"child chunk claiming 2 GB",
         [] {
             return MeshFile([](Writer3ds& w) {
                 w.Header(Writer3ds::kVertices, 0x80000000u);
                 w.U16(1);
             });
         },
         0, LoadErrorMalformed, nullptr},
        {"top-level chunk claiming 4 GB",
         [] {
             Writer3ds w;
             w.Header(Writer3ds::kMain, 0xFFFFFFFFu);
             return w.Data();
         },
         0, LoadErrorMalformed, nullptr},
        {"chunks nested a million levels deep",
         [] {
             Writer3ds w;
             for (int i = 0; i < 1000000; ++i) w.Begin(Writer3ds::kMain);
             w.BeginObject("Deep");
             w.Begin(Writer3ds::kMesh);
             return w.Finish();
         },
         1, LoadErrorNone,
         [](const Scene3ds& s) {
             ASSERT_EQ(s.meshCount, 1);
             EXPECT_STREQ(s.meshIndex[0]->name, "Deep");
         }},
        {"string without a terminator at the end of the file",
         [] {
             Writer3ds w;
             w.Begin(Writer3ds::kMain);
             w.Begin(Writer3ds::kEditor);
             w.Begin(Writer3ds::kObject);
             w.Bytes("Unterminated", 12);
             w.End();
             w.End();
             w.End();
             return w.Data();
         },
         0, LoadErrorMalformed, nullptr},
        {"face index beyond the vertex count is kept as read",
         [] {
             return MeshFile([](Writer3ds& w) {
                 const float xyz[] = {1, 2, 3};
                 const Writer3ds::Face face = {0, 5, 65535, 0};
                 w.Vertices(xyz, 1);
                 w.BeginFaces(&face, 1);
                 w.End();
             });
         },
         1, LoadErrorNone,
         [](const Scene3ds& s) {
             const Face3ds& face = s.meshIndex[0]->faces[0];
             EXPECT_EQ(face.b, 5);
             EXPECT_EQ(face.c, 65535);
         }},
        {"header cut short at the end of its parent",
         [] {
             std::vector<uint8_t> bytes = GoodFile();
             bytes.insert(bytes.end(), {0x3D, 0x3D, 0x10});
             return bytes;
         },
         0, LoadErrorMalformed, [](const Scene3ds& s) { EXPECT_EQ(s.meshCount, 2); }},
        {"chunk length shorter than its header",
         [] { return MeshFile([](Writer3ds& w) { w.Header(Writer3ds::kVertices, 3); }); }, 0,
         LoadErrorMalformed, nullptr},
        {"sub-chunk longer than its parent but inside the file",
         [] {
             return MeshFile(
                 [](Writer3ds& w) {
                     w.Header(0x4111, 200);  // runs into the next object
                 },
                 true);
         },
         0, LoadErrorMalformed, nullptr},
        {"fixed fields missing from a chunk",
         [] { return MeshFile([](Writer3ds& w) { w.Chunk(Writer3ds::kMeshMatrix, "abcd", 4); }); }, 0,
         LoadErrorMalformed, nullptr},
        {"key count larger than the keys",
         [] {
             Writer3ds w;
             w.Begin(Writer3ds::kMain);
             w.Begin(Writer3ds::kKeyframer);
             w.BeginNode(Writer3ds::kObjectNode, "N", 0xFFFF, 0);
             w.Begin(Writer3ds::kPositionKeys);
             for (int i = 0; i < 10; ++i) w.U8(0);
             w.U32(3);
             w.U32(0);
             w.U16(0);
             for (int i = 0; i < 3; ++i) w.F32(1.0f);
             return w.Finish();
         },
         0, LoadErrorMalformed,
         [](const Scene3ds& s) {
             ASSERT_EQ(s.nodeCount, 1);
             EXPECT_EQ(s.nodeIndex[0]->positionKeyCount, 0);
         }},
        {"all sixteen spline floats: the upper eleven are dropped",
         [] {
             Writer3ds w;
             w.Begin(Writer3ds::kMain);
             w.Begin(Writer3ds::kKeyframer);
             w.BeginNode(Writer3ds::kObjectNode, "N", 0xFFFF, 0);
             Writer3ds::Key key;
             key.flags = 0xFFFF;
             key.spline[4] = 4;
             key.spline[5] = 5;
             key.value[0] = 60;
             w.FovKeys(&key, 1);
             return w.Finish();
         },
         1, LoadErrorNone,
         [](const Scene3ds& s) {
             ASSERT_EQ(s.nodeIndex[0]->fovKeyCount, 1);
             EXPECT_EQ(s.nodeIndex[0]->fovKeys[0].value, 60.0f);
             EXPECT_EQ(s.nodeIndex[0]->fovKeys[0].spline.easeFrom, 4.0f);
         }},
        {"spline flags promising more floats than there are",
         [] {
             Writer3ds w;
             w.Begin(Writer3ds::kMain);
             w.Begin(Writer3ds::kKeyframer);
             w.BeginNode(Writer3ds::kObjectNode, "N", 0xFFFF, 0);
             w.Begin(Writer3ds::kRollKeys);
             for (int i = 0; i < 10; ++i) w.U8(0);
             w.U32(1);
             w.U32(0);
             w.U16(0xFFFF);  // sixteen floats announced, one given
             w.F32(1.0f);
             w.F32(1.0f);
             w.F32(1.0f);
             return w.Finish();
         },
         0, LoadErrorMalformed, nullptr},
        {"chunks of a mesh outside any mesh are read without a record",
         [] {
             Writer3ds w;
             w.Begin(Writer3ds::kMain);
             w.Begin(Writer3ds::kEditor);
             const float xyz[] = {1, 2, 3};
             w.Vertices(xyz, 1);
             const Writer3ds::Face face = {0, 0, 0, 0};
             w.BeginFaces(&face, 1);
             w.FaceMaterials("M", nullptr, 0);
             w.End();
             w.Visibility(0);
             w.Begin(Writer3ds::kMaterialAmbient);
             w.End();
             w.Begin(Writer3ds::kMaterialName);
             w.String("Lost");
             w.End();
             w.Begin(Writer3ds::kNodeName);
             w.String("Lost");
             w.U16(0);
             w.U16(0);
             w.U16(0);
             w.End();
             Writer3ds::Key key;
             w.PositionKeys(&key, 1);
             w.MorphKeys(&key, 1);
             return w.Finish();
         },
         1, LoadErrorNone,
         [](const Scene3ds& s) {
             EXPECT_EQ(s.meshCount, 0);
             EXPECT_EQ(s.materialCount, 0);
             EXPECT_EQ(s.nodeCount, 0);
         }},
        {"frame numbers whose difference does not fit 32 bits",
         [] {
             Writer3ds w;
             w.Begin(Writer3ds::kMain);
             w.Begin(Writer3ds::kKeyframer);
             w.Frames(INT32_MIN, INT32_MAX);
             return w.Finish();
         },
         1, LoadErrorNone, [](const Scene3ds& s) { EXPECT_EQ(s.frameCount, INT32_MAX); }},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = c.bytes();
        const Loaded loaded = LoadBytes(bytes);
        EXPECT_EQ(loaded.result, c.result);
        EXPECT_EQ(loaded.error, c.error);
        ASSERT_NE(loaded.root, nullptr);
        if (c.check) c.check(*loaded.root);
    }
}

TEST(ReaderRobustness, EveryTruncationIsRefusedOrRead)
{
    // Cutting a sound file anywhere gives either a clean load (a cut exactly at a
    // chunk boundary) or error 6, never a crash.
    const std::vector<uint8_t> bytes = GoodFile();
    int refused = 0;
    for (size_t size = 0; size < bytes.size(); ++size) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(size));
        const Loaded loaded = LoadBytes(cut);
        if (loaded.result == 0) {
            EXPECT_EQ(loaded.error, LoadErrorMalformed) << size;
            ++refused;
        }
    }
    EXPECT_EQ(refused, static_cast<int>(bytes.size()) - 1);  // only the empty file loads
}
