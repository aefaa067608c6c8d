// Per-user preference domains: named dictionaries of settings that outlive the
// process. Changes are held in memory until `synchronize`, which merges them into
// what is stored at that moment, so a single-key write never drops another
// writer's keys.
#pragma once

#include "Value.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace zed {

class PreferenceDomains {
public:
    virtual ~PreferenceDomains();

    // `user` names the account whose domain is meant; empty means the user
    // this process runs as.

    // The stored dictionary with pending changes applied, or empty when the
    // domain does not exist.
    std::optional<Dictionary> persistentDomain(std::string_view domain, std::string_view user = {});
    // Every value of the domain (an empty dictionary when there is none).
    Dictionary copyAll(std::string_view domain, std::string_view user = {});
    std::optional<Value> copyValue(std::string_view domain, std::string_view key,
                                   std::string_view user = {});

    void setValues(std::string_view domain, const Dictionary& values, std::string_view user = {});
    // An empty value removes the key.
    void setValue(std::string_view domain, std::string_view key, std::optional<Value> value,
                  std::string_view user = {});
    void removeDomain(std::string_view domain, std::string_view user = {});
    // Remove, then set: the stored domain becomes exactly `values`.
    void replaceDomain(std::string_view domain, Dictionary values, std::string_view user = {});

    // Writes the pending changes of the domain, or re-reads when there are
    // none. False (with a message on standard error) when the write failed;
    // the changes then stay pending. With a write scheduler, the write is
    // left to the scheduled callback (true at once; a failure is reported
    // then and the changes stay pending for the next synchronize).
    bool synchronize(std::string_view domain, std::string_view user = {});

    // Hands the writes of synchronize to a run loop: `schedule` is given one
    // callback per batch, to run once the events at hand are dispatched, so
    // that the synchronizes of one iteration cost one durable write. Without
    // one (the default) synchronize writes at once.
    using WriteScheduler = std::function<void(std::function<void()>)>;
    void setWriteScheduler(WriteScheduler schedule);
    // Writes every synchronized change that is still waiting.
    void writeWaiting();

    // A new whole domain made from the stored one (empty when there is none);
    // an empty result removes the domain.
    using Change = std::function<std::optional<Dictionary>(std::optional<Dictionary>)>;
    // Reads, changes and writes the domain while holding off every other
    // writer, so that nothing stored between the read and the write is lost.
    // The change sees the stored domain with this object's pending changes
    // applied, and those are written with its result. The change runs at most
    // once and must not use preference domains itself. False (with a message)
    // when nothing was written; pending changes then stay pending.
    bool update(std::string_view domain, const Change& change, std::string_view user = {});

    // The file that holds the user's domain, for a program that follows
    // changes others make to it; empty when the domain is not a file.
    virtual std::string storagePath(const std::string& domain) const {
        (void)domain;
        return {};
    }

protected:
    // Reads what is stored; empty when the domain does not exist (or could
    // not be read, which the implementation reports).
    virtual std::optional<Dictionary> load(const std::string& domain, const std::string& user) = 0;
    // Atomically replaces what is stored by change(stored); a change result
    // of empty removes the domain.
    virtual bool store(const std::string& domain, const std::string& user,
                       const Change& change) = 0;

    // Writes what is still pending; implementations call it from their destructors.
    void flushAll();

private:
    struct Pending {
        bool replaced = false; // the stored domain was removed first
        Dictionary base;       // the whole domain after a replace
        std::map<std::string, std::optional<Value>, std::less<>> edits;
    };
    using DomainKey = std::pair<std::string, std::string>;

    static std::optional<Dictionary> apply(const Pending& p, std::optional<Dictionary> stored);
    Pending& pending(std::string_view domain, std::string_view user);
    bool write(const DomainKey& key);

    std::map<DomainKey, Pending> pending_;
    WriteScheduler schedule_;
    std::set<DomainKey> waiting_; // synchronized, written by the scheduled callback
    bool scheduled_ = false;
    // Scheduled callbacks that outlive this object do nothing.
    std::shared_ptr<int> life_ = std::make_shared<int>(0);
};

// Keeps domains in memory; for tests and for processes without a home.
class MemoryPreferenceDomains : public PreferenceDomains {
public:
    // `currentUser` is the user that an empty user name means.
    explicit MemoryPreferenceDomains(std::string currentUser = {})
        : currentUser_(std::move(currentUser)) {}
    ~MemoryPreferenceDomains() override;
    // What has been written, for tests to look at.
    std::optional<Dictionary> stored(const std::string& domain, const std::string& user = {}) const;
    int writeCount() const { return writes_; }

protected:
    std::optional<Dictionary> load(const std::string& domain, const std::string& user) override;
    bool store(const std::string& domain, const std::string& user, const Change& change) override;

private:
    const std::string& userKey(const std::string& user) const {
        return user.empty() ? currentUser_ : user;
    }

    std::string currentUser_;
    std::map<std::pair<std::string, std::string>, Dictionary> domains_;
    int writes_ = 0;
};

} // namespace zed
