// What the code keeps per open handle (a registry key's path, a printer's
// name): a few entries at a time, looked up by the handle. A plain list with
// the lookups of a std::map that the code uses, since the map's tree costs
// Kelp.exe some kilobytes of code for every kind of entry.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace kelp {

template <typename Value>
class HandleMap {
public:
    using Entry = std::pair<std::uintptr_t, Value>;
    using iterator = typename std::vector<Entry>::iterator;
    using const_iterator = typename std::vector<Entry>::const_iterator;

    iterator find(std::uintptr_t handle) {
        return std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.first == handle; });
    }
    const_iterator find(std::uintptr_t handle) const {
        return std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.first == handle; });
    }
    iterator end() { return entries_.end(); }
    const_iterator end() const { return entries_.end(); }
    // The handle's value, made empty when it has none.
    Value& operator[](std::uintptr_t handle) {
        const auto found = find(handle);
        if (found != end()) return found->second;
        entries_.emplace_back(handle, Value());
        return entries_.back().second;
    }
    void erase(iterator at) { entries_.erase(at); }
    void erase(std::uintptr_t handle) {
        const auto found = find(handle);
        if (found != end()) entries_.erase(found);
    }

private:
    std::vector<Entry> entries_;
};

}  // namespace kelp
