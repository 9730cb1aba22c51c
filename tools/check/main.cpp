// mivola-check: checks a disk folder with the program's own loaders and lists every
// problem as FILE:LINE: error|warning: text (or as JSON with --json). Exit status 1
// when there are errors, 0 otherwise.
//
//   mivola-check DISK [--json] [--quiet] [--loudness]
#include "tools/check/DiskCheck.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    std::string disk;
    bool json = false, quiet = false, loudness = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--json")) json = true;
        else if (!std::strcmp(argv[i], "--quiet")) quiet = true;
        else if (!std::strcmp(argv[i], "--loudness")) loudness = true;
        else if (argv[i][0] != '-' && disk.empty()) disk = argv[i];
        else {
            std::fprintf(stderr, "usage: mivola-check DISK [--json] [--quiet] [--loudness]\n"
                                 "Checks a disk folder; --quiet leaves out the notes (sizes and lengths);\n"
                                 "--loudness measures every song before and after its gain.\n");
            return 2;
        }
    }
    if (disk.empty()) {
        std::fprintf(stderr, "usage: mivola-check DISK [--json] [--quiet] [--loudness]\n");
        return 2;
    }
    CheckReport report = CheckDisk(disk, loudness);
    if (json) {
        std::fputs(FormatJson(report, disk).c_str(), stdout);
    } else {
        for (const Finding& f : report.findings)
            if (!quiet || f.severity != Severity::Note) std::printf("%s\n", FormatFinding(f).c_str());
        std::printf("%s: %d error(s), %d warning(s)\n", disk.c_str(), report.errors, report.warnings);
    }
    return report.errors ? 1 : 0;
}
