// mivola-contentgen: writes a complete content folder (pictures, songs, the carousel scene,
// the catalogue files) and checks it. Same bytes on every run.
//
//   mivola-contentgen --out DIR [--test] [--wav DIR]
//
// --test writes the small folder used by the end-to-end tests; --wav also writes every
// song as a WAV file for listening. Exit status 0 only when generation and checks pass.
#include "tools/contentgen/Content.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    GenerateOptions o;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--out") && i + 1 < argc) o.out = argv[++i];
        else if (!std::strcmp(argv[i], "--test")) o.test = true;
        else if (!std::strcmp(argv[i], "--wav") && i + 1 < argc) o.wavDir = argv[++i];
        else {
            std::fprintf(stderr, "usage: mivola-contentgen --out DIR [--test] [--wav DIR]\n");
            return 2;
        }
    }
    if (o.out.empty()) {
        std::fprintf(stderr, "usage: mivola-contentgen --out DIR [--test] [--wav DIR]\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    Manifest m;
    if (!GenerateContent(o, m)) return 1;
    const double generated = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int problems = CheckContent(o.out, m, o.test);
    for (const ExpectedFile& f : m.files)
        if (f.kind == FileKind::Module || f.kind == FileKind::Stream)
            std::printf("%-32s %7.2f s\n", f.path.c_str(), f.seconds);
    std::printf("%s content: %zu files in %.1f s, %d problem(s)\n", o.test ? "test" : "demo", m.files.size(),
                generated, problems);
    return problems ? 1 : 0;
}
