#include "tools/capture/Chapters.h"

#include <cstdio>

void Chapters::Mark(uint64_t frame, std::string title)
{
    if (!marks_.empty() && marks_.back().frame >= frame) marks_.pop_back();
    marks_.push_back({frame, std::move(title)});
}

std::vector<Chapters::Chapter> Chapters::Within(uint64_t frames) const
{
    std::vector<Chapter> chapters;
    for (const Chapter& c : marks_)
        if (c.frame < frames) chapters.push_back(c);
    return chapters;
}

std::string Chapters::Text(const std::vector<Chapter>& chapters, unsigned fps)
{
    std::string text;
    for (size_t i = 0; i < chapters.size(); ++i) {
        uint64_t second = i == 0 ? 0 : chapters[i].frame / fps;
        if (i + 1 < chapters.size() && chapters[i + 1].frame / fps <= second) continue;
        char time[32];
        if (second >= 3600)
            std::snprintf(time, sizeof time, "%llu:%02u:%02u", static_cast<unsigned long long>(second / 3600),
                          static_cast<unsigned>(second / 60 % 60), static_cast<unsigned>(second % 60));
        else
            std::snprintf(time, sizeof time, "%u:%02u", static_cast<unsigned>(second / 60),
                          static_cast<unsigned>(second % 60));
        text += time;
        text += ' ';
        text += chapters[i].title;
        text += '\n';
    }
    return text;
}
