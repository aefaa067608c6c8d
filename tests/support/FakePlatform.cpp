#include "FakePlatform.h"

#include "FakeIOKit.h"
#include "ScriptedLoginSession.h"

namespace zed {

std::unique_ptr<Platform> makeFakePlatform() {
    auto p = std::make_unique<Platform>(Platform::Kind::Test);
    p->setRegistry(std::make_unique<FakeRegistry>());
    p->setHidSystem(std::make_unique<FakeHidSystem>());
    p->setLoginSession(std::make_unique<ScriptedLoginSession>());
    return p;
}

} // namespace zed
