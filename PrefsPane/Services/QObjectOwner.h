// Ownership of a Qt object that something else may delete first: a window
// whose parent is closed, a view that the host re-parents. Deletes the object
// on destruction unless it is already gone.
#pragma once

#include <QPointer>
#include <type_traits>
#include <utility>

namespace zed {

template <class T> class QObjectOwner {
public:
    QObjectOwner() = default;
    template <class... Args> static QObjectOwner make(Args&&... args) {
        QObjectOwner owner;
        owner.object_ = new T(std::forward<Args>(args)...);
        return owner;
    }
    ~QObjectOwner() { reset(); }
    QObjectOwner(QObjectOwner&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    // An owner of a derived object becomes an owner of its base.
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    QObjectOwner(QObjectOwner<U>&& other) noexcept : object_(other.object_.data()) {
        other.object_ = nullptr;
    }
    QObjectOwner& operator=(QObjectOwner&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    QObjectOwner(const QObjectOwner&) = delete;
    QObjectOwner& operator=(const QObjectOwner&) = delete;

    T* get() const { return object_.data(); }
    T* operator->() const { return object_.data(); }
    explicit operator bool() const { return !object_.isNull(); }

    void reset() {
        delete object_.data();
        object_ = nullptr;
    }

private:
    template <class U> friend class QObjectOwner;
    QPointer<T> object_;
};

} // namespace zed
