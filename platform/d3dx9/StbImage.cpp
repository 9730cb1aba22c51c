// The picture decoder, compiled once for the texture loader.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
// No texture is larger than 8192 a side: refuse larger pictures while decoding.
#define STBI_MAX_DIMENSIONS 8192
#include <stb_image.h>
#pragma GCC diagnostic pop
