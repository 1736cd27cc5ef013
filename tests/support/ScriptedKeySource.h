#pragma once
// A key source that tests drive: keys typed into it reach the latch only
// when the poll drains, as events from the X server do, and every query is
// recorded.

#include "KeyState.h"

#include <vector>

namespace quellora {

class TScriptedKeySource : public TKeySource {
public:
    // Queued until the next Drain.
    void Press(int code) { pending_.push_back(code); }
    void Release(int code) { pending_.push_back(-code); }
    void Tap(int code)
    {
        Press(code);
        Release(code);
    }
    // Held down through the following drains, without a new press.
    void Hold(int code) { Press(code); }

    void Drain() override
    {
        ++Drains;
        for (int event : pending_) {
            if (event > 0)
                latch_.Press(event);
            else
                latch_.Release(-event);
        }
        pending_.clear();
    }

    std::uint16_t GetAsyncKeyState(int code) override
    {
        Queries.push_back(code);
        return latch_.Query(code);
    }

    // As the desktop's portal: the keys it was asked for, what it bound
    // otherwise, and who hears of a change.
    void SetActionKeys(const std::vector<TActionKey>& keys) override { Asked.push_back(keys); }
    std::vector<TGrantedKey> OtherGrants() const override { return Grants; }
    void WatchGrants(std::function<void()> onChange) override { OnGrants = std::move(onChange); }

    std::vector<int> Queries;
    int Drains = 0;
    std::vector<std::vector<TActionKey>> Asked;
    std::vector<TGrantedKey> Grants;
    std::function<void()> OnGrants;

private:
    std::vector<int> pending_;
    TKeyLatch latch_;
};

} // namespace quellora
