// A write span hold that holds nothing: it tells an observer of each take and release, so a
// test or korvel-sim's journal can place them among the commands a bridge received.
#pragma once

#include <functional>

#include "util_platform_seam.h"

namespace korvel {

class SimWriteSpanHold final : public WriteSpanHold {
public:
    /// Told of each take (held true, with its reason) and each release (held false, reason
    /// empty), in the order they happen.
    using Observer = std::function<void(bool held, const char* reason)>;

    explicit SimWriteSpanHold(Observer observer = {}) : observer_(std::move(observer)) {}

    bool take(const char* reason) override;
    void release() override;

    bool held() const { return held_; }
    int takes() const { return takes_; }

private:
    Observer observer_;
    bool held_ = false;
    int takes_ = 0;
};

}  // namespace korvel
