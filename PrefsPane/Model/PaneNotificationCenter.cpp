#include "PaneNotificationCenter.h"

#include <algorithm>
#include <vector>

namespace zed {

struct PaneNotificationCenter::State {
    struct Entry {
        std::uint64_t id;
        std::string name;
        std::shared_ptr<Callback> callback;
    };
    std::vector<Entry> entries;
    std::uint64_t nextId = 1;

    void remove(std::uint64_t id) {
        std::erase_if(entries, [id](const Entry& e) { return e.id == id; });
    }
    bool has(std::uint64_t id) const {
        return std::any_of(entries.begin(), entries.end(),
                           [id](const Entry& e) { return e.id == id; });
    }
};

PaneNotificationCenter::Registration::Registration(Registration&& other) noexcept
    : state_(std::move(other.state_)), id_(std::exchange(other.id_, 0)) {}

PaneNotificationCenter::Registration&
PaneNotificationCenter::Registration::operator=(Registration&& other) noexcept {
    if (this != &other) {
        reset();
        state_ = std::move(other.state_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void PaneNotificationCenter::Registration::reset() {
    if (auto state = state_.lock()) {
        state->remove(id_);
    }
    state_.reset();
    id_ = 0;
}

bool PaneNotificationCenter::Registration::active() const {
    auto state = state_.lock();
    return state && state->has(id_);
}

PaneNotificationCenter::PaneNotificationCenter() : state_(std::make_shared<State>()) {}

PaneNotificationCenter::~PaneNotificationCenter() = default;

PaneNotificationCenter& PaneNotificationCenter::defaultCenter() {
    static PaneNotificationCenter center;
    return center;
}

PaneNotificationCenter::Registration PaneNotificationCenter::addObserver(std::string name,
                                                                         Callback callback) {
    const std::uint64_t id = state_->nextId++;
    state_->entries.push_back(
        {id, std::move(name), std::make_shared<Callback>(std::move(callback))});
    return Registration(state_, id);
}

void PaneNotificationCenter::post(std::string_view name, std::any object) const {
    const PaneNotification notification{std::string(name), std::move(object)};
    // Snapshot first: callbacks may change the registrations. One removed by
    // an earlier callback of this post is not called any more.
    std::vector<std::pair<std::uint64_t, std::shared_ptr<Callback>>> matching;
    for (const auto& e : state_->entries) {
        if (e.name.empty() || e.name == name) {
            matching.emplace_back(e.id, e.callback);
        }
    }
    const std::shared_ptr<State> keep = state_;
    for (const auto& [id, callback] : matching) {
        if (keep->has(id)) {
            (*callback)(notification);
        }
    }
}

std::size_t PaneNotificationCenter::observerCount() const {
    return state_->entries.size();
}

} // namespace zed
