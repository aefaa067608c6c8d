#include "NotificationCenter.h"

#include <algorithm>

namespace zed {

NotificationCenter::~NotificationCenter() = default;

bool LocalNotificationCenter::addObserver(const void* observer, const std::string& name,
                                          const std::string& object, Callback callback) {
    observers_.push_back({observer, name, object, std::make_shared<Callback>(std::move(callback))});
    return true;
}

void LocalNotificationCenter::removeObserver(const void* observer, const std::string& name,
                                             const std::string& object) {
    std::erase_if(observers_, [&](const Observer& o) {
        return o.observer == observer && (name.empty() || o.name == name) &&
               (object.empty() || o.object == object);
    });
}

bool LocalNotificationCenter::post(const std::string& name, const std::string& object,
                                   const Dictionary* userInfo, bool) {
    // Observers may add or remove observers while being called.
    std::vector<std::shared_ptr<Callback>> matching;
    for (const Observer& o : observers_) {
        if ((o.name.empty() || o.name == name) && (o.object.empty() || o.object == object)) {
            matching.push_back(o.callback);
        }
    }
    for (const auto& callback : matching) {
        (*callback)(name, object, userInfo);
    }
    return true;
}

} // namespace zed
