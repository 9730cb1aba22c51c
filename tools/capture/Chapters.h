// The chapters of a capture: marks at frame numbers with a title each (the
// intro, every song that starts, the end screen), for the video's own chapter
// list and for a plain list that video sites read from a description.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Chapters {
public:
    struct Chapter {
        uint64_t frame = 0;  // first frame of the chapter
        std::string title;
    };

    // A chapter from `frame` on. Marks come in order of frames; a mark at the
    // frame of the last one replaces it (two songs started within one frame:
    // only the second is heard).
    void Mark(uint64_t frame, std::string title);
    // The chapters that start before `frames`, the run's length.
    std::vector<Chapter> Within(uint64_t frames) const;

    // "M:SS Title" lines (H:MM:SS from an hour on), times rounded down to whole
    // seconds. The first line is at 0:00 whatever the first mark, and a chapter
    // that would share its second with the next one is left out, so the times
    // rise strictly, as the sites want them.
    static std::string Text(const std::vector<Chapter>& chapters, unsigned fps);

private:
    std::vector<Chapter> marks_;
};
