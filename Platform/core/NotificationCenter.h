// Distributed notifications: a name, an object string and a user-info
// dictionary, posted by one process and delivered to the observers of every
// process of the user (the poster's own included).
#pragma once

#include "Value.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zed {

class NotificationCenter {
public:
    // userInfo is null when the notification carried none.
    using Callback = std::function<void(const std::string& name, const std::string& object,
                                        const Dictionary* userInfo)>;

    virtual ~NotificationCenter();

    // An empty name or object matches any. `observer` only identifies the
    // registration for removeObserver. False with a message when it fails.
    virtual bool addObserver(const void* observer, const std::string& name,
                             const std::string& object, Callback callback) = 0;
    // Removes the observer's registrations for that name and object (empty
    // strings: all of them).
    virtual void removeObserver(const void* observer, const std::string& name,
                                const std::string& object) = 0;
    virtual bool post(const std::string& name, const std::string& object,
                      const Dictionary* userInfo, bool deliverImmediately) = 0;
};

// Delivers within the process, synchronously, in order of registration.
class LocalNotificationCenter : public NotificationCenter {
public:
    bool addObserver(const void* observer, const std::string& name, const std::string& object,
                     Callback callback) override;
    void removeObserver(const void* observer, const std::string& name,
                        const std::string& object) override;
    bool post(const std::string& name, const std::string& object, const Dictionary* userInfo,
              bool deliverImmediately) override;
    std::size_t observerCount() const { return observers_.size(); }

private:
    struct Observer {
        const void* observer;
        std::string name;
        std::string object;
        std::shared_ptr<Callback> callback;
    };
    std::vector<Observer> observers_;
};

} // namespace zed
