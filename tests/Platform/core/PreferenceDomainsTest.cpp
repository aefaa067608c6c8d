#include "DamagedPropertyLists.h"
#include "Platform/core/FilePreferenceDomains.h"
#include "Platform/core/PropertyList.h"
#include "Platform/core/RunLoop.h"
#include "TestUtil.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace zed::test {

using zed::Dictionary;
using zed::Value;

namespace {

constexpr const char* kDomain = "com.tovik.ZED";

Dictionary bigState(int tag) {
    Dictionary d;
    for (int i = 0; i < 300; ++i) {
        d["Key" + std::to_string(i)] = Value(std::int32_t{tag});
    }
    d["Tag"] = Value(std::int32_t{tag});
    return d;
}

std::optional<Dictionary> parseDomainFile(const std::string& path) {
    auto v = zed::parsePropertyList(zedtest::readFile(path));
    if (!v || !v->asDictionary()) {
        return std::nullopt;
    }
    return *v->asDictionary();
}

std::vector<std::string> filesIn(const std::string& dir, const std::string& contains) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().filename().string().find(contains) != std::string::npos) {
            out.push_back(e.path().string());
        }
    }
    return out;
}

class FileDomains : public ::testing::Test {
protected:
    zedtest::TempDir dir;
    std::string folder() const { return dir.path() + "/config"; }
    std::string file() const { return folder() + "/" + kDomain + ".plist"; }
};

} // namespace

TEST_F(FileDomains, ValuesOfEveryTypeSurviveAFreshReader) {
    zed::FilePreferenceDomains writer(folder());
    Dictionary all{
        {"Orientation", Value(std::int32_t{1})},
        {"Sensitivity", Value(9.8)},
        {"Big", Value(std::int64_t{1} << 33)},
        {"On", Value(true)},
        {"Name", Value("x")},
        {"ButtonMappings", Value(zed::Array{Value(zed::Data{0}), Value(zed::Data{6, 3, '5', '5'}),
                                            Value(zed::Array{Value(zed::Data{1, 2})})})}};
    writer.replaceDomain(kDomain, all);
    ASSERT_TRUE(writer.synchronize(kDomain));

    zed::FilePreferenceDomains reader(folder());
    EXPECT_EQ(reader.persistentDomain(kDomain), all);
    EXPECT_EQ(reader.copyValue(kDomain, "Sensitivity"), Value(9.8));
    EXPECT_FALSE(reader.copyValue(kDomain, "Missing"));
    EXPECT_FALSE(reader.persistentDomain("com.tovik.Other"));
}

TEST_F(FileDomains, FolderAndFileAreTheUsersAlone) {
    zed::FilePreferenceDomains prefs(folder());
    prefs.setValue(kDomain, "Orientation", Value(std::int32_t{0}));
    ASSERT_TRUE(prefs.synchronize(kDomain));
    struct stat st {};
    ASSERT_EQ(stat(folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(zedtest::readFile(file()).find("<?xml"), std::string::npos);
}

TEST_F(FileDomains, PendingChangesMergeWithWhatAnotherWriterStoredMeanwhile) {
    zed::FilePreferenceDomains agent(folder());
    zed::FilePreferenceDomains pane(folder());
    pane.replaceDomain(kDomain, {{"Orientation", Value(std::int32_t{1})}});
    ASSERT_TRUE(pane.synchronize(kDomain));

    agent.setValue(kDomain, "Sensitivity", Value(5.0));
    // Not yet written: the other process does not see it, this one does.
    EXPECT_FALSE(pane.copyValue(kDomain, "Sensitivity"));
    EXPECT_EQ(agent.copyValue(kDomain, "Sensitivity"), Value(5.0));

    pane.setValue(kDomain, "Resolution", Value(std::int32_t{2}));
    ASSERT_TRUE(pane.synchronize(kDomain));
    ASSERT_TRUE(agent.synchronize(kDomain));
    EXPECT_EQ(pane.persistentDomain(kDomain), (Dictionary{{"Orientation", Value(std::int32_t{1})},
                                                          {"Resolution", Value(std::int32_t{2})},
                                                          {"Sensitivity", Value(5.0)}}));
}

TEST_F(FileDomains, RemoveThenSetReplacesTheDomainWholeAndRemoveAloneDeletesIt) {
    zed::FilePreferenceDomains prefs(folder());
    prefs.setValues(kDomain, {{"A", Value(std::int32_t{1})}, {"B", Value(std::int32_t{2})}});
    ASSERT_TRUE(prefs.synchronize(kDomain));
    prefs.removeDomain(kDomain);
    EXPECT_EQ(prefs.persistentDomain(kDomain), std::nullopt);
    prefs.setValue(kDomain, "C", Value(std::int32_t{3}));
    ASSERT_TRUE(prefs.synchronize(kDomain));
    EXPECT_EQ(zed::FilePreferenceDomains(folder()).persistentDomain(kDomain),
              (Dictionary{{"C", Value(std::int32_t{3})}}));

    prefs.removeDomain(kDomain);
    ASSERT_TRUE(prefs.synchronize(kDomain));
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(FileDomains, AnUpdateChangesWhatIsStoredWithThisObjectsUnwrittenChanges) {
    zed::FilePreferenceDomains agent(folder());
    zed::FilePreferenceDomains pane(folder());
    agent.setValues(kDomain, {{"Sensitivity", Value(5.0)}, {"Otfs", Value(std::int32_t{0})}});
    ASSERT_TRUE(agent.synchronize(kDomain));

    pane.setValue(kDomain, "Orientation", Value(std::int32_t{1}));
    std::optional<Dictionary> seen;
    ASSERT_TRUE(pane.update(kDomain, [&seen](std::optional<Dictionary> stored) {
        seen = stored;
        stored->insert_or_assign("Resolution", Value(std::int32_t{2}));
        return stored;
    }));
    EXPECT_EQ(seen, (Dictionary{{"Sensitivity", Value(5.0)},
                                {"Otfs", Value(std::int32_t{0})},
                                {"Orientation", Value(std::int32_t{1})}}));
    EXPECT_EQ(zed::FilePreferenceDomains(folder()).persistentDomain(kDomain),
              (Dictionary{{"Sensitivity", Value(5.0)},
                          {"Otfs", Value(std::int32_t{0})},
                          {"Orientation", Value(std::int32_t{1})},
                          {"Resolution", Value(std::int32_t{2})}}));
}

TEST_F(FileDomains, AnUpdateLeavesNothingPendingThatALaterWriteWouldRepeat) {
    zed::FilePreferenceDomains agent(folder());
    zed::FilePreferenceDomains pane(folder());
    pane.replaceDomain(kDomain, {{"Orientation", Value(std::int32_t{0})}});
    ASSERT_TRUE(pane.update(kDomain, [](std::optional<Dictionary> stored) {
        EXPECT_EQ(stored, (Dictionary{{"Orientation", Value(std::int32_t{0})}}))
            << "the replacement not yet written is what the update starts from";
        return stored;
    }));
    agent.setValue(kDomain, "Sensitivity", Value(5.2));
    ASSERT_TRUE(agent.synchronize(kDomain));
    ASSERT_TRUE(pane.synchronize(kDomain));
    EXPECT_EQ(pane.copyValue(kDomain, "Sensitivity"), Value(5.2));

    // A result of nothing removes the domain.
    ASSERT_TRUE(pane.update(kDomain, [](auto) { return std::optional<Dictionary>(); }));
    EXPECT_FALSE(std::filesystem::exists(file()));
}

TEST_F(FileDomains, AFailedUpdateKeepsTheUnwrittenChanges) {
    std::filesystem::create_directories(dir.path());
    zedtest::writeFile(dir.path() + "/not-a-folder", "x");
    zed::FilePreferenceDomains prefs(dir.path() + "/not-a-folder/config");
    prefs.setValue(kDomain, "Otfs", Value(std::int32_t{1}));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(prefs.update(kDomain, [](auto stored) { return stored; }));
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty()) << "said why";
    EXPECT_EQ(prefs.copyValue(kDomain, "Otfs"), Value(std::int32_t{1}));
}

TEST(MemoryDomains, AnUpdateIsOneWrite) {
    zed::MemoryPreferenceDomains prefs;
    prefs.setValue(kDomain, "Otfs", Value(std::int32_t{1}));
    ASSERT_TRUE(prefs.update(kDomain, [](std::optional<Dictionary> stored) {
        stored->insert_or_assign("Orientation", Value(std::int32_t{1}));
        return stored;
    }));
    EXPECT_EQ(prefs.writeCount(), 1);
    EXPECT_EQ(prefs.stored(kDomain), (Dictionary{{"Otfs", Value(std::int32_t{1})},
                                                 {"Orientation", Value(std::int32_t{1})}}));
    prefs.synchronize(kDomain);
    EXPECT_EQ(prefs.writeCount(), 1) << "nothing left to write";
}

TEST_F(FileDomains, UnwrittenChangesAreWrittenWhenTheStoreGoesAway) {
    {
        zed::FilePreferenceDomains prefs(folder());
        prefs.setValue(kDomain, "Otfs", Value(std::int32_t{1}));
    }
    EXPECT_EQ(zed::FilePreferenceDomains(folder()).copyValue(kDomain, "Otfs"),
              Value(std::int32_t{1}));
}

TEST_F(FileDomains, AnUnreadableFileIsMovedAsideWithItsBytesAndTheDomainReadsEmpty) {
    std::filesystem::create_directories(folder());
    for (const std::string& bad :
         {std::string("not a plist at all"), std::string("bplist00\x01\x02", 10),
          zed::toXmlPropertyList(Value(zed::Array{Value(std::int32_t{1})})),
          // Files that used to kill the parser itself.
          zedtest::binaryWithNulInKey(), zedtest::nestedXmlArrays(200000),
          // Values the library would read as something else.
          zedtest::xmlWithInteger("123456789012345678901234567890"),
          zedtest::xmlList("<dict><key>Map</key><data>!!!notbase64$$</data></dict>")}) {
        zedtest::writeFile(file(), bad);
        zed::FilePreferenceDomains prefs(folder());
        testing::internal::CaptureStderr();
        EXPECT_FALSE(prefs.persistentDomain(kDomain));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("moved it to"), std::string::npos) << err;

        auto aside = filesIn(folder(), ".corrupt-");
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(zedtest::readFile(aside[0]), bad) << "the user's bytes must be kept";
        EXPECT_FALSE(std::filesystem::exists(file()));

        // The next write starts afresh and does not touch what was moved aside.
        prefs.setValue(kDomain, "Orientation", Value(std::int32_t{0}));
        ASSERT_TRUE(prefs.synchronize(kDomain));
        EXPECT_EQ(zedtest::readFile(aside[0]), bad);
        std::filesystem::remove(aside[0]);
    }
}

TEST_F(FileDomains, BadDomainNamesAreRefusedWithoutTouchingFiles) {
    zed::FilePreferenceDomains prefs(folder());
    testing::internal::CaptureStderr();
    prefs.setValue("../escape", "A", Value(std::int32_t{1}));
    EXPECT_FALSE(prefs.synchronize("../escape"));
    EXPECT_FALSE(prefs.persistentDomain(""));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("not a valid preference domain"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/escape.plist"));
}

TEST_F(FileDomains, TheCurrentUsersDomainFollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", folder().c_str(), 1);
    zed::FilePreferenceDomains prefs;
    EXPECT_EQ(prefs.pathFor(kDomain, ""), file());
    const char* user = std::getenv("USER");
    if (user && *user) {
        EXPECT_EQ(prefs.pathFor(kDomain, user), file()) << "the own user name means the same";
    }
    old ? setenv("XDG_CONFIG_HOME", saved.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
}

// A writer killed at any moment leaves either the old or the new file.
TEST_F(FileDomains, AWriterKilledMidSaveNeverLeavesATornFile) {
    {
        zed::FilePreferenceDomains prefs(folder());
        prefs.replaceDomain(kDomain, bigState(0));
        ASSERT_TRUE(prefs.synchronize(kDomain));
    }
    const auto inode = [this] {
        struct stat st {};
        return ::stat(file().c_str(), &st) == 0 ? st.st_ino : ino_t{0};
    };
    std::mt19937 rng(7);
    int observedStates = 0;
    for (int round = 0; round < 25; ++round) {
        const ino_t before = inode();
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            zed::FilePreferenceDomains prefs(folder());
            for (int i = 1;; ++i) {
                prefs.replaceDomain(kDomain, bigState(i % 2 ? 1 : 2));
                prefs.synchronize(kDomain);
            }
        }
        if (round == 0) {
            // However slow the build, one save lands before the first kill.
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (inode() == before && std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + rng() % 20000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        auto d = parseDomainFile(file());
        ASSERT_TRUE(d) << "round " << round << ": the file does not parse";
        const int tag = *d->at("Tag").toInt32();
        EXPECT_EQ(*d, bigState(tag)) << "round " << round << ": a mix of two states";
        observedStates += tag != 0 ? 1 : 0;
    }
    EXPECT_GT(observedStates, 0) << "the writer never got a save through";
    EXPECT_TRUE(filesIn(folder(), ".corrupt-").empty());

    // What the killed writers left half-written goes with the next write.
    zed::FilePreferenceDomains prefs(folder());
    prefs.setValue(kDomain, "Tag", Value(std::int32_t{3}));
    ASSERT_TRUE(prefs.synchronize(kDomain));
    EXPECT_EQ(filesIn(folder(), kDomain).size(), 2u) << "only the file and its lock";
}

// The pane writes the whole domain while the agent writes single keys.
TEST_F(FileDomains, ConcurrentWholeAndSingleKeyWritersNeverCorruptOrInterleave) {
    {
        zed::FilePreferenceDomains prefs(folder());
        prefs.replaceDomain(kDomain, {{"Orientation", Value(std::int32_t{0})},
                                      {"Resolution", Value(std::int32_t{0})}});
        ASSERT_TRUE(prefs.synchronize(kDomain));
    }
    constexpr int kRounds = 150;
    pid_t whole = fork();
    ASSERT_GE(whole, 0);
    if (whole == 0) {
        zed::FilePreferenceDomains prefs(folder());
        for (int i = 0; i < kRounds; ++i) {
            prefs.replaceDomain(kDomain, {{"Orientation", Value(std::int32_t{i})},
                                          {"Resolution", Value(std::int32_t{i})}});
            prefs.synchronize(kDomain);
        }
        _exit(0);
    }
    pid_t single = fork();
    ASSERT_GE(single, 0);
    if (single == 0) {
        zed::FilePreferenceDomains prefs(folder());
        for (int i = 0; i < kRounds; ++i) {
            prefs.setValue(kDomain, "Sensitivity", Value(static_cast<double>(i)));
            prefs.synchronize(kDomain);
        }
        _exit(0);
    }
    // Watch the file while they run: every state is whole.
    for (int i = 0; i < 200; ++i) {
        auto d = parseDomainFile(file());
        ASSERT_TRUE(d) << "observation " << i;
        ASSERT_TRUE(d->count("Orientation") && d->count("Resolution")) << "observation " << i;
        ASSERT_EQ(d->at("Orientation"), d->at("Resolution")) << "two writes interleaved";
    }
    int status = 0;
    waitpid(whole, &status, 0);
    EXPECT_EQ(status, 0);
    waitpid(single, &status, 0);
    EXPECT_EQ(status, 0);
    auto d = parseDomainFile(file());
    ASSERT_TRUE(d);
    EXPECT_EQ(d->at("Orientation"), Value(std::int32_t{kRounds - 1}));

    // Single-key writers of different keys lose nothing.
    pid_t a = fork();
    if (a == 0) {
        zed::FilePreferenceDomains prefs(folder());
        for (int i = 0; i < kRounds; ++i) {
            prefs.setValue(kDomain, "A", Value(std::int32_t{i}));
            prefs.synchronize(kDomain);
        }
        _exit(0);
    }
    {
        zed::FilePreferenceDomains prefs(folder());
        for (int i = 0; i < kRounds; ++i) {
            prefs.setValue(kDomain, "B", Value(std::int32_t{i}));
            prefs.synchronize(kDomain);
        }
    }
    waitpid(a, &status, 0);
    d = parseDomainFile(file());
    ASSERT_TRUE(d);
    EXPECT_EQ(d->at("A"), Value(std::int32_t{kRounds - 1}));
    EXPECT_EQ(d->at("B"), Value(std::int32_t{kRounds - 1}));
    EXPECT_EQ(d->at("Orientation"), Value(std::int32_t{kRounds - 1}));
}

// A writer killed between creating its temporary file and renaming it leaves
// the file behind; the next writer, holding the lock, clears them away.
TEST_F(FileDomains, TemporaryFilesLeftByKilledWritersGoWhenTheLockIsNextTaken) {
    zed::FilePreferenceDomains prefs(folder());
    prefs.setValue(kDomain, "Orientation", Value(std::int32_t{0}));
    ASSERT_TRUE(prefs.synchronize(kDomain));

    const std::string stem = file() + ".";
    const std::vector<std::string> stale = {stem + "Ab3xYz", stem + "q1w2e3", stem + "ZZZZZZ"};
    const std::vector<std::string> kept = {
        stem + "lock",                    // the lock itself
        stem + "corrupt-20240101-000000", // a damaged file moved aside
        stem + "abcdefg",
        stem + "abcde",                             // not six characters
        stem + "ab-def",                            // not what the temporary name is made of
        folder() + "/com.tovik.Other.plist.Ab3xYz", // another domain's
        file() + "Ab3xYz",                          // no dot
    };
    for (const std::string& name : stale) {
        zedtest::writeFile(name, "half a list");
    }
    for (const std::string& name : kept) {
        zedtest::writeFile(name, "keep me");
    }
    // Neither a folder nor a link is a temporary file, nor is another user's.
    std::filesystem::create_directory(stem + "Dir123");
    zedtest::writeFile(dir.file("target"), "keep me");
    std::filesystem::create_symlink(dir.file("target"), stem + "Lnk123");
    const bool root = geteuid() == 0;
    if (root) {
        zedtest::writeFile(stem + "Oth123", "someone else's");
        ASSERT_EQ(chown((stem + "Oth123").c_str(), 4242, 4242), 0);
    }

    prefs.setValue(kDomain, "Orientation", Value(std::int32_t{1}));
    ASSERT_TRUE(prefs.synchronize(kDomain));

    for (const std::string& name : stale) {
        EXPECT_FALSE(std::filesystem::exists(name)) << name;
    }
    for (const std::string& name : kept) {
        if (name != stem + "lock") {
            EXPECT_EQ(zedtest::readFile(name), "keep me") << name;
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(stem + "Dir123"));
    EXPECT_TRUE(std::filesystem::is_symlink(stem + "Lnk123"));
    EXPECT_EQ(zedtest::readFile(dir.file("target")), "keep me");
    if (root) {
        EXPECT_TRUE(std::filesystem::exists(stem + "Oth123"));
    }
    EXPECT_EQ(parseDomainFile(file()), (Dictionary{{"Orientation", Value(std::int32_t{1})}}));

    // Moving a damaged file aside takes the lock too.
    zedtest::writeFile(stem + "Xy12z3", "half a list");
    zedtest::writeFile(file(), "damaged");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(zed::FilePreferenceDomains(folder()).persistentDomain(kDomain));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(std::filesystem::exists(stem + "Xy12z3"));
}

// A lock file planted as a link would have writers create or lock a file
// elsewhere.
TEST_F(FileDomains, ALockFileThatIsASymbolicLinkIsNotFollowed) {
    std::filesystem::create_directories(folder());
    const std::string elsewhere = dir.file("elsewhere");
    std::filesystem::create_symlink(elsewhere, file() + ".lock");
    zed::FilePreferenceDomains prefs(folder());
    prefs.setValue(kDomain, "Orientation", Value(std::int32_t{1}));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(prefs.synchronize(kDomain));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("symbolic link"), std::string::npos) << err;
    EXPECT_NE(err.find(file() + ".lock"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(elsewhere)) << "the link was followed";
    EXPECT_FALSE(std::filesystem::exists(file())) << "written without the lock";
    EXPECT_TRUE(std::filesystem::is_symlink(file() + ".lock"));

    // A damaged file is not moved aside without the lock either.
    zedtest::writeFile(file(), "damaged");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(zed::FilePreferenceDomains(folder()).persistentDomain(kDomain));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(std::filesystem::exists(elsewhere));
    EXPECT_EQ(zedtest::readFile(file()), "damaged");
}

TEST(MemoryDomains, BehaveLikeTheFileStore) {
    zed::MemoryPreferenceDomains prefs;
    prefs.setValue(kDomain, "A", Value(std::int32_t{1}));
    EXPECT_FALSE(prefs.stored(kDomain)) << "nothing is stored before synchronize";
    EXPECT_TRUE(prefs.synchronize(kDomain));
    EXPECT_EQ(prefs.stored(kDomain), (Dictionary{{"A", Value(std::int32_t{1})}}));
    prefs.replaceDomain(kDomain, {{"B", Value(2.0)}});
    EXPECT_TRUE(prefs.synchronize(kDomain));
    EXPECT_EQ(prefs.stored(kDomain), (Dictionary{{"B", Value(2.0)}}));
    EXPECT_EQ(prefs.writeCount(), 2);
}

// The agent's run loop gathers the synchronizes of one iteration into one
// durable write, done when the loop has nothing else to run.
class DeferredWrites : public FileDomains {
protected:
    void deferOn(zed::PreferenceDomains& prefs) {
        prefs.setWriteScheduler([this](std::function<void()> write) {
            auto source = loop.addBeforeWait(std::move(write));
            ASSERT_TRUE(source);
            source->detach();
        });
    }
    ino_t inode() const {
        struct stat st {};
        return ::stat(file().c_str(), &st) == 0 ? st.st_ino : ino_t{0};
    }
    void runPending() {
        while (loop.runOnce(0)) {
        }
    }
    zed::RunLoop loop;
};

TEST_F(DeferredWrites, ThreeSynchronizesInOneIterationAreOneWholeDurableWrite) {
    zed::MemoryPreferenceDomains memory;
    deferOn(memory);
    for (const char* key : {"Sensitivity", "MasterSensitivityX", "MasterSensitivityY"}) {
        memory.setValue(kDomain, key, Value(4.2));
        EXPECT_TRUE(memory.synchronize(kDomain));
    }
    EXPECT_EQ(memory.writeCount(), 0) << "written before the iteration ended";
    EXPECT_EQ(memory.copyValue(kDomain, "MasterSensitivityY"), Value(4.2))
        << "the writer reads its own changes meanwhile";
    runPending();
    EXPECT_EQ(memory.writeCount(), 1);
    EXPECT_EQ(memory.stored(kDomain), (Dictionary{{"Sensitivity", Value(4.2)},
                                                  {"MasterSensitivityX", Value(4.2)},
                                                  {"MasterSensitivityY", Value(4.2)}}));
    runPending();
    EXPECT_EQ(memory.writeCount(), 1) << "nothing left to write";

    // On disk: one replace (one new file), complete, read by a fresh reader.
    zed::FilePreferenceDomains prefs(folder());
    deferOn(prefs);
    prefs.setValue(kDomain, "Orientation", Value(std::int32_t{1}));
    ASSERT_TRUE(prefs.synchronize(kDomain));
    runPending();
    const ino_t first = inode();
    ASSERT_NE(first, ino_t{0});
    for (double v : {2.0, 3.0, 4.0}) {
        prefs.setValue(kDomain, "Sensitivity", Value(v));
        prefs.setValue(kDomain, "MasterSensitivityX", Value(v));
        ASSERT_TRUE(prefs.synchronize(kDomain));
    }
    EXPECT_EQ(inode(), first) << "written before the iteration ended";
    runPending();
    EXPECT_NE(inode(), first);
    EXPECT_EQ(parseDomainFile(file()), (Dictionary{{"Orientation", Value(std::int32_t{1})},
                                                   {"Sensitivity", Value(4.0)},
                                                   {"MasterSensitivityX", Value(4.0)}}));
}

// A write still waiting for the end of the iteration merges under the lock:
// another process's keys written meanwhile stay, and an update in between
// carries the waiting changes with it.
TEST_F(DeferredWrites, AWaitingWriteMergesWithWhatOthersStoredMeanwhile) {
    zed::FilePreferenceDomains agent(folder());
    deferOn(agent);
    agent.setValue(kDomain, "Sensitivity", Value(6.0));
    ASSERT_TRUE(agent.synchronize(kDomain));
    {
        zed::FilePreferenceDomains pane(folder());
        pane.setValue(kDomain, "ButtonMappings", Value(std::int32_t{7}));
        ASSERT_TRUE(pane.synchronize(kDomain));
    }
    runPending();
    EXPECT_EQ(parseDomainFile(file()), (Dictionary{{"Sensitivity", Value(6.0)},
                                                   {"ButtonMappings", Value(std::int32_t{7})}}));

    agent.setValue(kDomain, "MasterSensitivityX", Value(2.0));
    ASSERT_TRUE(agent.synchronize(kDomain));
    ASSERT_TRUE(agent.update(kDomain, [](std::optional<Dictionary> stored) {
        EXPECT_TRUE(stored && stored->count("MasterSensitivityX")) << "the waiting change";
        stored->insert_or_assign("Resolution", Value(std::int32_t{3}));
        return stored;
    }));
    const ino_t afterUpdate = inode();
    runPending();
    EXPECT_EQ(inode(), afterUpdate) << "the update wrote what was waiting";
    EXPECT_EQ(parseDomainFile(file())->count("MasterSensitivityX"), 1u);
    EXPECT_EQ(parseDomainFile(file())->count("Resolution"), 1u);
}

// Steps written at the pace of the loop: a reader in another process only
// ever sees whole files, and the last step is on disk once the loop is idle.
TEST_F(DeferredWrites, AReaderInAnotherProcessSeesOnlyWholeFiles) {
    {
        zed::FilePreferenceDomains prefs(folder());
        prefs.replaceDomain(kDomain, bigState(0));
        ASSERT_TRUE(prefs.synchronize(kDomain));
    }
    pid_t reader = fork();
    ASSERT_GE(reader, 0);
    if (reader == 0) {
        for (int i = 0; i < 300; ++i) {
            auto d = parseDomainFile(file());
            if (!d || *d != bigState(d->at("Tag").toInt32().value_or(-1))) {
                _exit(1);
            }
        }
        _exit(0);
    }
    zed::FilePreferenceDomains prefs(folder());
    deferOn(prefs);
    for (int step = 1; step <= 60; ++step) {
        for (const auto& [key, value] : bigState(step)) {
            prefs.setValue(kDomain, key, value);
        }
        ASSERT_TRUE(prefs.synchronize(kDomain));
        if (step % 3 == 0) {
            runPending();
        }
    }
    int status = 0;
    waitpid(reader, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a torn or mixed file was read";
    EXPECT_EQ(parseDomainFile(file()), bigState(60));
}

TEST_F(FileDomains, AFolderRemovedAfterTheFirstWriteIsMadeAgain) {
    zed::FilePreferenceDomains prefs(folder() + "/deeper");
    prefs.setValue(kDomain, "Orientation", Value(std::int32_t{1}));
    ASSERT_TRUE(prefs.synchronize(kDomain));
    std::filesystem::remove_all(folder());
    prefs.setValue(kDomain, "Resolution", Value(std::int32_t{2}));
    ASSERT_TRUE(prefs.synchronize(kDomain));
    EXPECT_EQ(parseDomainFile(folder() + "/deeper/" + kDomain + ".plist"),
              (Dictionary{{"Resolution", Value(std::int32_t{2})}}));
}

namespace {

struct NotAFile {
    const char* name;
    std::function<void(const std::string& path)> make;
    const char* kind;
};

void PrintTo(const NotAFile& p, std::ostream* os) {
    *os << p.name;
}

} // namespace

// Something other than a regular file where the domain file belongs is
// neither opened for long nor replaced: a FIFO would block every reader and
// writer. Run in a child with an alarm, so that a hang fails the test.
class NotARegularFile : public FileDomains, public testing::WithParamInterface<NotAFile> {};

TEST_P(NotARegularFile, IsLeftAsItIsAndReadAndWrittenWithAMessageAtOnce) {
    std::filesystem::create_directories(folder());
    GetParam().make(file());
    const auto type = std::filesystem::symlink_status(file()).type();
    const std::string errors = dir.file("stderr");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(10);
        if (!std::freopen(errors.c_str(), "w", stderr)) {
            _exit(3);
        }
        zed::FilePreferenceDomains prefs(folder());
        if (prefs.persistentDomain(kDomain)) {
            std::fflush(stderr);
            _exit(1);
        }
        const bool written = prefs.update(kDomain, [](auto) {
            return std::optional<Dictionary>(Dictionary{{"Sensitivity", Value(5.0)}});
        });
        std::fflush(stderr);
        _exit(written ? 2 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "blocked on it until the alarm";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "read (1) or written (2) as a domain";
    const std::string err = zedtest::readFile(errors);
    const std::string kind = std::string(GetParam().kind) + ", not a regular file; settings are ";
    EXPECT_NE(err.find(kind + "not read from it"), std::string::npos) << err;
    EXPECT_NE(err.find(kind + "not written to it"), std::string::npos) << err;
    EXPECT_EQ(std::filesystem::symlink_status(file()).type(), type);
    for (const std::string& name : filesIn(folder(), kDomain)) {
        EXPECT_TRUE(name == file() || name == file() + ".lock") << name << " was made";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, NotARegularFile,
    testing::Values(
        NotAFile{"Fifo", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); },
                 "is a FIFO"},
        NotAFile{"Folder", [](const std::string& p) { std::filesystem::create_directory(p); },
                 "is a folder"},
        NotAFile{"LinkToADevice",
                 [](const std::string& p) { std::filesystem::create_symlink("/dev/null", p); },
                 "(a link to /dev/null) is a character device"}),
    [](const testing::TestParamInfo<NotAFile>& info) { return std::string(info.param.name); });

// Dotfile managers keep the file elsewhere and link to it: it is read and
// replaced where the link leads, and the link stays.
TEST_F(FileDomains, ASymbolicLinkIsReadAndWrittenThroughAndKept) {
    const std::string kept = dir.path() + "/dotfiles";
    const std::string target = kept + "/zed.plist";
    std::filesystem::create_directories(folder());
    std::filesystem::create_directories(kept);
    zedtest::writeFile(target, zed::toXmlPropertyList(Value(Dictionary{{"A", Value(1.5)}})));
    std::filesystem::create_symlink("../dotfiles/zed.plist", file());
    const auto inode = [&target] {
        struct stat st {};
        return ::stat(target.c_str(), &st) == 0 ? st.st_ino : ino_t{0};
    };
    const ino_t before = inode();

    zed::FilePreferenceDomains prefs(folder());
    EXPECT_EQ(prefs.persistentDomain(kDomain), (Dictionary{{"A", Value(1.5)}}));
    prefs.setValue(kDomain, "B", Value(std::int32_t{2}));
    ASSERT_TRUE(prefs.synchronize(kDomain));
    EXPECT_TRUE(std::filesystem::is_symlink(file()));
    EXPECT_NE(inode(), before) << "replaced, not written in place";
    EXPECT_EQ(parseDomainFile(target),
              (Dictionary{{"A", Value(1.5)}, {"B", Value(std::int32_t{2})}}));
    EXPECT_TRUE(std::filesystem::exists(target + ".lock")) << "locked where it is replaced";

    // Removed, the link dangles: no domain, and the next write makes the
    // file where the link leads.
    prefs.removeDomain(kDomain);
    ASSERT_TRUE(prefs.synchronize(kDomain));
    EXPECT_TRUE(std::filesystem::is_symlink(file()));
    EXPECT_FALSE(std::filesystem::exists(target));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(prefs.persistentDomain(kDomain));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a dangling link is no domain";
    prefs.setValue(kDomain, "C", Value(std::int32_t{3}));
    ASSERT_TRUE(prefs.synchronize(kDomain));
    EXPECT_TRUE(std::filesystem::is_symlink(file()));
    EXPECT_EQ(parseDomainFile(target), (Dictionary{{"C", Value(std::int32_t{3})}}));
}

} // namespace zed::test
