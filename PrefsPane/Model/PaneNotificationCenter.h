// The pane's in-process notification center: the settings model announces each
// save as "PrefsChange" with the settings dictionary as object, and the pages
// follow it. Delivery is synchronous, in order of registration.
#pragma once

#include "Platform/core/SettingsKeys.h"

#include <any>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace zed {

class PaneNotification {
public:
    PaneNotification(std::string name, std::any object)
        : name_(std::move(name)), object_(std::move(object)) {}

    const std::string& name() const { return name_; }
    const std::any& object() const { return object_; }
    // The object when it is a T (held by value or as a const T*), else null.
    template <class T> const T* objectAs() const {
        if (auto p = std::any_cast<const T*>(&object_)) {
            return *p;
        }
        if (auto p = std::any_cast<T*>(&object_)) {
            return *p;
        }
        return std::any_cast<T>(&object_);
    }

private:
    std::string name_;
    std::any object_;
};

class PaneNotificationCenter {
    struct State;

public:
    using Callback = std::function<void(const PaneNotification&)>;

    // Ends its observer's registration when destroyed or reset; outliving the
    // center is harmless.
    class Registration {
    public:
        Registration() = default;
        ~Registration() { reset(); }
        Registration(Registration&& other) noexcept;
        Registration& operator=(Registration&& other) noexcept;
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

        void reset();
        bool active() const;

    private:
        friend class PaneNotificationCenter;
        Registration(std::weak_ptr<State> state, std::uint64_t id)
            : state_(std::move(state)), id_(id) {}
        std::weak_ptr<State> state_;
        std::uint64_t id_ = 0;
    };

    PaneNotificationCenter();
    ~PaneNotificationCenter();
    PaneNotificationCenter(const PaneNotificationCenter&) = delete;
    PaneNotificationCenter& operator=(const PaneNotificationCenter&) = delete;

    // The process's center.
    static PaneNotificationCenter& defaultCenter();

    // Observes notifications of that name (empty: every name). Observers may
    // register and unregister, themselves included, while being called.
    [[nodiscard]] Registration addObserver(std::string name, Callback callback);
    void post(std::string_view name, std::any object = {}) const;
    std::size_t observerCount() const;

private:
    std::shared_ptr<State> state_;
};

// The name of the in-process announcement of a settings save: the object of
// the cross-process one.
inline constexpr const char* kPrefsChangeNotification = settings::kNotificationObject;

} // namespace zed
