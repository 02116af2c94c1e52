#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "output/keyframes.h"

namespace pelvano::test {

// What happened to the fake sources of one test.
struct KeyFrameLog {
    int opened = 0;
    int closed = 0;
    std::vector<int32_t> queries;  // frames asked about, once per search
};

// Key frames from a sorted list, answering -1 where the real source would.
class FakeKeyFrames : public KeyFrameSource {
public:
    explicit FakeKeyFrames(std::vector<int32_t> keys, KeyFrameLog* log = nullptr)
        : keys_(std::move(keys)),
          log_(log ? log : &own_)
    {
        ++log_->opened;
    }
    ~FakeKeyFrames() override { ++log_->closed; }

    int32_t keyFrameAtOrBefore(int32_t f) override
    {
        log_->queries.push_back(f);
        auto it = std::upper_bound(keys_.begin(), keys_.end(), f);
        return it == keys_.begin() ? -1 : *std::prev(it);
    }
    int32_t keyFrameAtOrAfter(int32_t f) override
    {
        log_->queries.push_back(f);
        auto it = std::lower_bound(keys_.begin(), keys_.end(), f);
        return it == keys_.end() ? -1 : *it;
    }

private:
    std::vector<int32_t> keys_;
    KeyFrameLog own_;
    KeyFrameLog* log_;
};

}  // namespace pelvano::test
