#include "Platform/core/IOKit.h"

#include "Platform/core/Session.h"
#include "ScriptedLoginSession.h"

#include <gtest/gtest.h>

namespace zed::test {

TEST(MachErrorString, KnownCodesReadLikeThePlatformAndUnknownOnesStayReadable) {
    EXPECT_EQ(zed::machErrorString(zed::kIOReturnError), "(iokit/common) general error");
    EXPECT_EQ(zed::machErrorString(zed::kIOReturnNotPermitted), "(iokit/common) not permitted");
    EXPECT_EQ(zed::machErrorString(zed::kIOReturnNoDevice), "(iokit/common) no such device");
    EXPECT_EQ(zed::machErrorString(zed::kIOReturnBadArgument), "(iokit/common) invalid argument");
    EXPECT_EQ(zed::machErrorString(zed::kIOReturnNotResponding),
              "(iokit/common) device not responding");
    EXPECT_EQ(zed::machErrorString(static_cast<zed::IOReturn>(0xe00002ff)),
              "(iokit/common) unknown error code");
    EXPECT_EQ(zed::machErrorString(-1), "(system 0x3f/subsystem 0xfff) unknown error code");
}

TEST(NXEventData, KeyCodeIsTheFifthSixteenBitField) {
    zed::NXEventData data;
    data.setKeyCode(0x0837);
    for (std::size_t i = 0; i < data.bytes.size(); ++i) {
        if (i != 8 && i != 9) {
            EXPECT_EQ(data.bytes[i], 0) << "byte " << i;
        }
    }
    EXPECT_EQ(data.keyCode(), 0x0837);
    EXPECT_EQ(sizeof(data.bytes), 48u);
}

TEST(ScriptedLoginSession, AnswersAsScriptedAndDeliversTheActivatedEvent) {
    zed::ScriptedLoginSession session;
    EXPECT_FALSE(session.copyCurrentDictionary());
    session.setSession("alice", 501, true, false);
    auto d = session.copyCurrentDictionary();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->at(zed::kCGSSessionUserNameKey), zed::Value("alice"));
    EXPECT_EQ(d->at(zed::kCGSessionOnConsoleKey), zed::Value(false));
    int activated = 0;
    session.setActivatedHandler([&] { ++activated; });
    session.activate();
    EXPECT_EQ(activated, 1);
    EXPECT_EQ(session.polls(), 2);
}

} // namespace zed::test
