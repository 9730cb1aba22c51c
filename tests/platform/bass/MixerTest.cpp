// Taking back queued mix: what a command rewrites must continue the sound
// exactly where the device is, with or without resampling.
#include "platform/bass/Mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

// A ramp above `base`, so every frame differs from its neighbours.
class Ramp final : public bass::AudioSource {
public:
    explicit Ramp(int rate, size_t frames = 20000, float base = 0.0f)
        : rate_(rate), frames_(frames), base_(base)
    {
    }
    int Rate() const override { return rate_; }
    uint64_t Frames() const override { return frames_; }
    size_t Read(float* stereo, size_t frames) override
    {
        size_t n = std::min<size_t>(frames, frames_ - at_);
        for (size_t i = 0; i < n; ++i, ++at_)
            stereo[i * 2] = stereo[i * 2 + 1] = base_ + static_cast<float>(at_ % 1000) / 2000.0f;
        return n;
    }
    bool Rewind() override
    {
        at_ = 0;
        return true;
    }

private:
    int rate_;
    size_t frames_;
    float base_;
    size_t at_ = 0;
};

std::vector<int16_t> Mix(bass::Mixer& m, int64_t frames)
{
    std::vector<int16_t> out(static_cast<size_t>(frames * 2));
    m.Mix(frames, out.data());
    return out;
}

}  // namespace

TEST(MixerRollback, RewrittenMixContinuesTheSameSound)
{
    for (int rate : {44100, 22050}) {
        bass::Mixer m;
        auto ch = std::make_unique<bass::Channel>(1, false, std::make_unique<Ramp>(rate));
        ch->history.assign(bass::kHistoryFrames * 2, 0.0f);
        ch->state = bass::State::Playing;
        bass::Channel& c = *ch;
        m.channels[1] = std::move(ch);

        std::vector<int16_t> first = Mix(m, 6000);
        // Taken back twice, the second time inside what was mixed again.
        m.Rollback(1500);
        std::vector<int16_t> again = Mix(m, 1000);
        m.Rollback(2000);
        std::vector<int16_t> rest = Mix(m, 4000);
        again.resize(500 * 2);
        again.insert(again.end(), rest.begin(), rest.end());
        ASSERT_EQ(again.size(), size_t{4500 * 2});
        for (size_t i = 0; i < again.size(); ++i)
            ASSERT_EQ(again[i], first[1500 * 2 + i]) << rate << " at " << i;

        // A pause taken back to frame 7000 rests where that frame was, and resumes from it.
        std::vector<int16_t> ahead = Mix(m, 2000);  // frames 6000..8000
        uint64_t expected = c.stamps.back().srcStart;
        for (const bass::Stamp& s : c.stamps)
            if (s.outStart <= 7000 && 7000 < s.outEnd)
                expected = s.srcStart + (s.srcEnd - s.srcStart) * static_cast<uint64_t>(7000 - s.outStart) /
                                            static_cast<uint64_t>(s.outEnd - s.outStart);
        m.Rollback(7000);
        c.state = bass::State::Paused;
        EXPECT_NEAR(static_cast<double>(bass::SourceAt(c)), static_cast<double>(expected), 1.0);
        std::vector<int16_t> paused = Mix(m, 500);
        for (int16_t v : paused) ASSERT_EQ(v, 0);
        c.state = bass::State::Playing;
        std::vector<int16_t> resumed = Mix(m, 1000);
        for (size_t i = 0; i < 1000 * 2; ++i)
            ASSERT_EQ(resumed[i], ahead[1000 * 2 + i]) << rate << " at " << i;
    }
}

namespace {

// Damaged float samples: not a number, infinities and huge values, in turn.
class Damaged final : public bass::AudioSource {
public:
    explicit Damaged(float sign) : sign_(sign) {}
    int Rate() const override { return 44100; }
    uint64_t Frames() const override { return 4000; }
    size_t Read(float* stereo, size_t frames) override
    {
        const float values[] = {std::nanf(""), INFINITY, 1e38f, 0.25f};
        size_t n = std::min<size_t>(frames, 4000 - at_);
        for (size_t i = 0; i < n; ++i, ++at_) stereo[i * 2] = stereo[i * 2 + 1] = sign_ * values[at_ % 4];
        return n;
    }
    bool Rewind() override
    {
        at_ = 0;
        return true;
    }

private:
    float sign_;
    size_t at_ = 0;
};

}  // namespace

// A sample that is not a number or infinite is silence; huge ones are clipped.
// Two channels of opposite infinities would mix to NaN, whose conversion to
// 16 bits is undefined.
TEST(MixerDamagedSamples, NotANumberIsSilenceAndHugeValuesClip)
{
    bass::Mixer m;
    for (DWORD handle : {1u, 2u}) {
        auto ch = std::make_unique<bass::Channel>(handle, false,
                                                  std::make_unique<Damaged>(handle == 1 ? 1.0f : -1.0f));
        ch->history.assign(bass::kHistoryFrames * 2, 0.0f);
        ch->state = bass::State::Playing;
        m.channels[handle] = std::move(ch);
    }
    std::vector<int16_t> both = Mix(m, 8);
    // NaN, infinity, 1e38 - 1e38 and 0.25 - 0.25.
    for (int16_t v : both) EXPECT_EQ(v, 0);

    m.channels.erase(2);
    std::vector<int16_t> one = Mix(m, 8);
    const int16_t expected[] = {0, 0, 32767, 8192};
    for (size_t i = 0; i < one.size(); ++i) EXPECT_EQ(one[i], expected[(i / 2) % 4]) << i;
}

TEST(MixerHandOver, FollowerStartsRightAfterTheEndAndATakeBackUndoesIt)
{
    for (int rate : {44100, 22050}) {
        bass::Mixer m;
        m.channels[1] = std::make_unique<bass::Channel>(1, false, std::make_unique<Ramp>(rate, 3000, 0.1f));
        m.channels[2] = std::make_unique<bass::Channel>(2, false, std::make_unique<Ramp>(44100, 20000, 0.5f));
        bass::Channel& leader = *m.channels[1];
        bass::Channel& next = *m.channels[2];
        for (bass::Channel* c : {&leader, &next}) c->history.assign(bass::kHistoryFrames * 2, 0.0f);
        leader.state = bass::State::Playing;
        leader.follower = 2;

        std::vector<int16_t> first = Mix(m, 12000);
        ASSERT_TRUE(leader.handedOver);
        const int64_t end = leader.endOut;
        EXPECT_EQ(next.startedAt, end);
        EXPECT_EQ(next.startedBy, 1u);
        // The leader's sound up to its end, the follower's first frame right after it.
        EXPECT_GT(first[(end - 1) * 2], 0.05 * 32768) << rate;
        EXPECT_EQ(first[end * 2], static_cast<int16_t>(std::nearbyint(0.5f * 32768.0f))) << rate;
        for (int64_t f = 0; f < 12000; ++f) ASSERT_NE(first[f * 2], 0) << rate << " silent at " << f;

        // Taken back to before the end: the follower waits again, and the sound mixed anew is the same.
        m.Rollback(end - 100);
        EXPECT_EQ(next.state, bass::State::Stopped);
        EXPECT_FALSE(leader.handedOver);
        std::vector<int16_t> again = Mix(m, 12000 - (end - 100));
        for (size_t i = 0; i < again.size(); ++i)
            ASSERT_EQ(again[i], first[(end - 100) * 2 + i]) << rate << " at " << i;
        // Taken back to after the end: the follower plays on.
        m.Rollback(end + 100);
        EXPECT_EQ(next.state, bass::State::Playing);
    }
}
