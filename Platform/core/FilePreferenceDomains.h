// Preference domains as property-list files in the user's configuration folder:
// ${XDG_CONFIG_HOME:-$HOME/.config}/DOMAIN.plist for the user this process runs
// as, ~USER/.config/DOMAIN.plist for another user.
#pragma once

#include "PreferenceDomains.h"

#include <set>
#include <string>
#include <utility>

namespace zed {

class FilePreferenceDomains : public PreferenceDomains {
public:
    // An empty folder means: work it out per user as above.
    explicit FilePreferenceDomains(std::string folder = {});
    ~FilePreferenceDomains() override;

    // Where the domain of that user lives, or empty (with a message) when it
    // cannot be worked out.
    std::string pathFor(const std::string& domain, const std::string& user) const;
    std::string storagePath(const std::string& domain) const override {
        return pathFor(domain, {});
    }

    // Whether the last read of the domain found something it could not read
    // (no permission, or no regular file; reported then) rather than nothing.
    bool couldNotRead(const std::string& domain, const std::string& user = {}) const;

    // Files larger than this are not settings; they are moved aside unread.
    static constexpr long long kMaxFileSize = 16ll * 1024 * 1024;

protected:
    std::optional<Dictionary> load(const std::string& domain, const std::string& user) override;
    bool store(const std::string& domain, const std::string& user, const Change& change) override;

private:
    using DomainKey = std::pair<std::string, std::string>;

    std::string folder_;
    std::set<DomainKey> unreadable_;    // by the last read of each
    std::set<std::string> madeFolders_; // by this object, for its writes
};

} // namespace zed
