#include "PreferenceDomains.h"

namespace zed {

PreferenceDomains::~PreferenceDomains() = default;

PreferenceDomains::Pending& PreferenceDomains::pending(std::string_view domain,
                                                       std::string_view user) {
    return pending_[DomainKey(std::string(domain), std::string(user))];
}

std::optional<Dictionary> PreferenceDomains::apply(const Pending& p,
                                                   std::optional<Dictionary> stored) {
    std::optional<Dictionary> result;
    if (p.replaced) {
        if (!p.base.empty()) {
            result = p.base;
        }
    } else {
        result = std::move(stored);
    }
    for (const auto& [key, value] : p.edits) {
        if (value) {
            if (!result) {
                result.emplace();
            }
            result->insert_or_assign(key, *value);
        } else if (result) {
            auto it = result->find(key);
            if (it != result->end()) {
                result->erase(it);
            }
        }
    }
    return result;
}

std::optional<Dictionary> PreferenceDomains::persistentDomain(std::string_view domain,
                                                              std::string_view user) {
    auto it = pending_.find(DomainKey(std::string(domain), std::string(user)));
    if (it != pending_.end() && it->second.replaced) {
        return apply(it->second, std::nullopt);
    }
    auto stored = load(std::string(domain), std::string(user));
    if (it == pending_.end()) {
        return stored;
    }
    return apply(it->second, std::move(stored));
}

Dictionary PreferenceDomains::copyAll(std::string_view domain, std::string_view user) {
    return persistentDomain(domain, user).value_or(Dictionary{});
}

std::optional<Value> PreferenceDomains::copyValue(std::string_view domain, std::string_view key,
                                                  std::string_view user) {
    auto all = persistentDomain(domain, user);
    if (!all) {
        return std::nullopt;
    }
    const Value* v = lookup(*all, key);
    return v ? std::optional<Value>(*v) : std::nullopt;
}

void PreferenceDomains::setValues(std::string_view domain, const Dictionary& values,
                                  std::string_view user) {
    Pending& p = pending(domain, user);
    for (const auto& [key, value] : values) {
        p.edits.insert_or_assign(key, value);
    }
}

void PreferenceDomains::setValue(std::string_view domain, std::string_view key,
                                 std::optional<Value> value, std::string_view user) {
    pending(domain, user).edits.insert_or_assign(std::string(key), std::move(value));
}

void PreferenceDomains::removeDomain(std::string_view domain, std::string_view user) {
    Pending& p = pending(domain, user);
    p.replaced = true;
    p.base.clear();
    p.edits.clear();
}

void PreferenceDomains::replaceDomain(std::string_view domain, Dictionary values,
                                      std::string_view user) {
    Pending& p = pending(domain, user);
    p.replaced = true;
    p.base = std::move(values);
    p.edits.clear();
}

bool PreferenceDomains::synchronize(std::string_view domain, std::string_view user) {
    DomainKey key{std::string(domain), std::string(user)};
    if (!pending_.count(key)) {
        return true; // nothing to write; every read goes to the store anyway
    }
    if (!schedule_) {
        return write(key);
    }
    waiting_.insert(std::move(key));
    if (!scheduled_) {
        scheduled_ = true;
        schedule_([this, life = std::weak_ptr<int>(life_)] {
            if (life.lock()) {
                writeWaiting();
            }
        });
    }
    return true;
}

bool PreferenceDomains::write(const DomainKey& key) {
    waiting_.erase(key);
    auto it = pending_.find(key);
    if (it == pending_.end()) {
        return true; // written meanwhile (by update)
    }
    const Pending p = it->second;
    const bool ok =
        store(key.first, key.second, [&p](auto stored) { return apply(p, std::move(stored)); });
    if (ok) {
        pending_.erase(key);
    }
    return ok;
}

void PreferenceDomains::setWriteScheduler(WriteScheduler schedule) {
    writeWaiting();
    schedule_ = std::move(schedule);
}

void PreferenceDomains::writeWaiting() {
    scheduled_ = false;
    while (!waiting_.empty()) {
        const DomainKey key = *waiting_.begin(); // a copy: write erases it from the set
        write(key);                              // a failure is reported; the change stays pending
    }
}

bool PreferenceDomains::update(std::string_view domain, const Change& change,
                               std::string_view user) {
    const DomainKey key{std::string(domain), std::string(user)};
    auto it = pending_.find(key);
    const std::optional<Pending> p =
        it == pending_.end() ? std::nullopt : std::optional<Pending>(it->second);
    const bool ok = store(key.first, key.second, [&p, &change](std::optional<Dictionary> stored) {
        return change(p ? apply(*p, std::move(stored)) : std::move(stored));
    });
    if (ok) {
        pending_.erase(key); // written with the change's result
    }
    return ok;
}

void PreferenceDomains::flushAll() {
    waiting_.clear();
    while (!pending_.empty()) {
        const DomainKey key = pending_.begin()->first;
        if (!write(key)) {
            pending_.erase(key); // already reported; give up on it
        }
    }
}

MemoryPreferenceDomains::~MemoryPreferenceDomains() {
    flushAll();
}

std::optional<Dictionary> MemoryPreferenceDomains::stored(const std::string& domain,
                                                          const std::string& user) const {
    auto it = domains_.find({domain, userKey(user)});
    return it == domains_.end() ? std::nullopt : std::optional<Dictionary>(it->second);
}

std::optional<Dictionary> MemoryPreferenceDomains::load(const std::string& domain,
                                                        const std::string& user) {
    return stored(domain, user);
}

bool MemoryPreferenceDomains::store(const std::string& domain, const std::string& user,
                                    const Change& change) {
    auto result = change(stored(domain, user));
    ++writes_;
    if (result) {
        domains_[{domain, userKey(user)}] = std::move(*result);
    } else {
        domains_.erase({domain, userKey(user)});
    }
    return true;
}

} // namespace zed
