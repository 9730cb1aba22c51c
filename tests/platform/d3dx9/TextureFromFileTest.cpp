// Textures from picture files: sizes, the two filter modes, info and errors.

#include <string>
#include <unistd.h>
#include <vector>

#include "platform/d3d9/D3d9Stats.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/host/ContentFile.h"
#include "platform/host/FrameFiles.h"
#include "tests/support/BareDevice.h"
#include "tests/support/Files.h"

namespace {

using support::BmpBytes;
using support::TempPath;
using support::Wide;
using support::WriteFile;

// A 32-bit uncompressed top-down TGA.
std::vector<uint8_t> Tga(int w, int h, uint8_t a)
{
    std::vector<uint8_t> f(18, 0);
    f[2] = 2;
    f[12] = uint8_t(w);
    f[13] = uint8_t(w >> 8);
    f[14] = uint8_t(h);
    f[15] = uint8_t(h >> 8);
    f[16] = 32;
    f[17] = 0x28;
    for (int i = 0; i < w * h; ++i) f.insert(f.end(), {10, 20, 30, a});
    return f;
}

class TextureFromFileTest : public BareDevice {
protected:
    void SetUp() override
    {
        BareDevice::SetUp();
        CreateDevice(64, 64);
    }
    HRESULT Load(const std::string& path, DWORD filter, D3DXIMAGE_INFO* info, IDirect3DTexture9** tex,
                 D3DPOOL pool = D3DPOOL_DEFAULT)
    {
        return D3DXCreateTextureFromFileExW(device, Wide(path).c_str(), D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                            D3DFMT_UNKNOWN, pool, filter, D3DX_DEFAULT, 0, info, nullptr,
                                            tex);
    }
    static uint32_t Texel(IDirect3DTexture9* t, int x, int y)
    {
        D3DLOCKED_RECT lr;
        EXPECT_EQ(t->LockRect(0, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        uint32_t v =
            reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(lr.pBits) + y * lr.Pitch)[x];
        t->UnlockRect(0);
        return v;
    }
};

TEST_F(TextureFromFileTest, PngRoundsUpAndFilterNoneKeepsThePictureInTheCorner)
{
    // 200 x 100 with a red left half, blue right half, alpha 128.
    std::vector<uint8_t> rgba(200 * 100 * 4);
    for (int i = 0; i < 200 * 100; ++i) {
        bool left = i % 200 < 100;
        rgba[size_t(i) * 4 + 0] = left ? 255 : 0;
        rgba[size_t(i) * 4 + 2] = left ? 0 : 255;
        rgba[size_t(i) * 4 + 3] = 128;
    }
    const std::string path = TempPath("alpha.png");
    ASSERT_TRUE(host::WritePng(path, host::FrameView{rgba.data(), 200, 100, 800}));

    for (DWORD filter : {D3DX_FILTER_NONE, DWORD(D3DX_DEFAULT)}) {
        SCOPED_TRACE(filter);
        D3DXIMAGE_INFO info{};
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(Load(path, filter, &info, &tex), D3D_OK);
        EXPECT_EQ(info.Width, 200u);
        EXPECT_EQ(info.Height, 100u);
        EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
        EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
        D3DSURFACE_DESC d;
        tex->GetLevelDesc(0, &d);
        EXPECT_EQ(d.Width, 256u);
        EXPECT_EQ(d.Height, 128u);
        EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
        if (filter == D3DX_FILTER_NONE) {
            EXPECT_EQ(Texel(tex, 0, 0), 0x80FF0000u);
            EXPECT_EQ(Texel(tex, 199, 99), 0x800000FFu);
            EXPECT_EQ(Texel(tex, 200, 0), 0u);
            EXPECT_EQ(Texel(tex, 0, 100), 0u);
            EXPECT_EQ(Texel(tex, 255, 127), 0u);
        } else {
            // Stretched over the whole texture: the colour edge moves to x = 128.
            EXPECT_EQ(Texel(tex, 0, 0), 0x80FF0000u);
            EXPECT_EQ(Texel(tex, 120, 64), 0x80FF0000u);
            EXPECT_EQ(Texel(tex, 136, 64), 0x800000FFu);
            EXPECT_EQ(Texel(tex, 255, 127), 0x800000FFu);
        }
        tex->Release();
    }
}

TEST_F(TextureFromFileTest, BmpAndTgaFormatsAndNarrowPaths)
{
    const std::string bmp = TempPath("opaque.bmp"), tga = TempPath("alpha.tga");
    WriteFile(bmp, BmpBytes(3, 5, 200, 100, 50));
    WriteFile(tga, Tga(16, 16, 99));
    D3DXIMAGE_INFO info{};
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(Load(bmp, D3DX_FILTER_NONE, &info, &tex, D3DPOOL_MANAGED), D3D_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_BMP);
    EXPECT_EQ(info.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(Texel(tex, 2, 4), 0xFFC86432u);
    D3DSURFACE_DESC d;
    tex->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Width, 4u);
    EXPECT_EQ(d.Height, 8u);
    tex->Release();

    // Top-down (a negative height in the header): the same picture, as tall.
    std::vector<uint8_t> topDown = BmpBytes(3, 5, 200, 100, 50);
    for (int i = 0; i < 4; ++i) topDown[size_t(22 + i)] = uint8_t(uint32_t(-5) >> (8 * i));
    WriteFile(bmp, topDown);
    ASSERT_EQ(Load(bmp, D3DX_FILTER_NONE, &info, &tex), D3D_OK) << host::LastFileError();
    EXPECT_EQ(info.Height, 5u);
    EXPECT_EQ(Texel(tex, 2, 4), 0xFFC86432u);
    tex->Release();

    ASSERT_EQ(Load(tga, D3DX_DEFAULT, &info, &tex), D3D_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_TGA);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(Texel(tex, 15, 15), 0x631E140Au);
    tex->Release();

    // The narrow call makes a managed texture with a full mip chain.
    ASSERT_EQ(D3DXCreateTextureFromFileA(device, tga.c_str(), &tex), D3D_OK);
    EXPECT_EQ(tex->GetLevelCount(), 5u);
    tex->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Pool, D3DPOOL_MANAGED);
    tex->Release();
}

TEST_F(TextureFromFileTest, ErrorsForMissingGarbageAndRefusedMemory)
{
    IDirect3DTexture9* tex = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_EQ(Load(TempPath("does-not-exist.png"), D3DX_DEFAULT, nullptr, &tex), D3DXERR_INVALIDDATA);
    EXPECT_EQ(tex, nullptr);
    const std::string garbage = TempPath("garbage.png");
    WriteFile(garbage, {0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(Load(garbage, D3DX_DEFAULT, nullptr, &tex), D3DXERR_INVALIDDATA);
    WriteFile(garbage, {});
    EXPECT_EQ(Load(garbage, D3DX_DEFAULT, nullptr, &tex), D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXCreateTextureFromFileA(device, TempPath("missing.bmp").c_str(), &tex), D3DXERR_INVALIDDATA);

    const std::string bmp = TempPath("big.bmp");
    WriteFile(bmp, BmpBytes(300, 300, 1, 2, 3));
    d3d9::SetTextureMemoryLimit(1000);
    EXPECT_EQ(Load(bmp, D3DX_DEFAULT, nullptr, &tex), D3DERR_OUTOFVIDEOMEMORY);
    d3d9::SetTextureMemoryLimit(0);
    EXPECT_EQ(tex, nullptr);

    // A header claiming a picture larger than any texture is refused before decoding.
    const std::string huge = TempPath("huge.bmp");
    std::vector<uint8_t> header = BmpBytes(1, 1, 0, 0, 0);
    header[18] = 0x40;
    header[19] = 0x42;
    header[20] = 0x0F;  // 1,000,000 wide
    WriteFile(huge, header);
    EXPECT_EQ(Load(huge, D3DX_DEFAULT, nullptr, &tex), D3DERR_INVALIDCALL);
    EXPECT_EQ(tex, nullptr);
}

// A file that is no picture fails with the normal error and says so, and
// narrow names (as 3DS files store them, in their own code page) reach the file
// system byte for byte. (Special files are refused by the host's content files:
// ContentFileTest, and HostileDiskTest through a whole run.)
TEST_F(TextureFromFileTest, GarbageFailsAndNarrowNamesKeepTheirBytes)
{
    IDirect3DTexture9* tex = nullptr;
    const std::string garbage = TempPath("not-a-picture.png");
    WriteFile(garbage, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(Load(garbage, D3DX_FILTER_NONE, nullptr, &tex), D3DXERR_INVALIDDATA);
    EXPECT_EQ(host::LastFileError().rfind("not a picture", 0), 0u) << host::LastFileError();

    const std::string latin1 = TempPath("caf\xe9.tga");  // "café" in Latin-1
    WriteFile(latin1, Tga(2, 2, 255));
    ASSERT_EQ(D3DXCreateTextureFromFileA(device, latin1.c_str(), &tex), D3D_OK);
    tex->Release();
    ::unlink(latin1.c_str());
}

}  // namespace
