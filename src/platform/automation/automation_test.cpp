#include "platform/automation/automation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

/// A counter object: "Value" is read and written, "Add" takes an integer.
class TCounter : public IAutomationObject {
  public:
    Variant Invoke(std::string_view member, ThvInvokeKind kind,
                   std::span<const Variant> args) override {
        if (SameMemberName(member, "Value")) {
            if (IsPropertyRead(kind, args)) return value_;
            if (kind == ThvInvokeKind::PropertyPut) {
                CheckArgCount(member, args, 1, 1);
                value_ = Int32Arg(member, args, 0, "Value");
                return {};
            }
        }
        if (SameMemberName(member, "Add") && kind == ThvInvokeKind::Method) {
            CheckArgCount(member, args, 1, 1);
            value_ += Int32Arg(member, args, 0, "Step");
            return value_;
        }
        ThrowUnknownMember("Counter", member, kind);
    }

  private:
    int32_t value_ = 0;
};

int32_t CodeOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EAutomationError& e) {
        return e.Code();
    }
    return 0;
}

TEST(VariantTest, CoercionsFollowAutomationRules) {
    EXPECT_EQ(Variant(6.0).ToInt32(), 6);
    EXPECT_EQ(Variant(6.5).ToInt32(), std::nullopt);
    EXPECT_EQ(Variant(1e12).ToInt32(), std::nullopt);
    EXPECT_EQ(Variant("6").ToInt32(), std::nullopt);
    EXPECT_EQ(Variant(int32_t(-1)).ToBool(), true);  // msoTrue
    EXPECT_EQ(Variant(int32_t(0)).ToBool(), false);
    EXPECT_EQ(Variant("true").ToBool(), std::nullopt);
    EXPECT_EQ(Variant(int32_t(3)).ToString(), std::nullopt);
    EXPECT_EQ(Variant().KindName(), "empty");
    EXPECT_EQ(Variant(AutomationObjectPtr()).KindName(), "object");
}

TEST(AutomationObjectTest, MembersIgnoreCaseAndReadsMayArriveAsMethods) {
    TCounter counter;
    AutomationPut(counter, "VALUE", int32_t(4));
    EXPECT_EQ(AutomationCall(counter, "value").ToInt32(), 4);
    EXPECT_EQ(AutomationCall(counter, "aDD", {int32_t(3)}).ToInt32(), 7);
    EXPECT_EQ(AutomationGet(counter, "Value").ToInt32(), 7);
}

TEST(AutomationObjectTest, BadCallsFailWithCodeAndMessage) {
    TCounter counter;
    EXPECT_EQ(CodeOf([&] { AutomationGet(counter, "Missing"); }), AutomationCode::MemberNotFound);
    EXPECT_EQ(CodeOf([&] { AutomationCall(counter, "Add"); }), AutomationCode::BadParamCount);
    EXPECT_EQ(CodeOf([&] { AutomationPut(counter, "Add", int32_t(1)); }),
              AutomationCode::MemberNotFound);
    EXPECT_EQ(CodeOf([&] {
                  AutomationCall(counter, "Add", {1, 2});
              }),
              AutomationCode::BadParamCount);
    try {
        AutomationCall(counter, "Add", {"three"});
        FAIL() << "a string step must be refused";
    } catch (const EAutomationError& e) {
        EXPECT_EQ(e.Code(), AutomationCode::TypeMismatch);
        EXPECT_STREQ(e.what(), "Add: the argument Step must be an integer, not string");
    }
}

TEST(AutomationRegistryTest, CreatesByIdentifierIgnoringCase) {
    RegisterAutomationClass("Test.Counter", [] { return std::make_shared<TCounter>(); });
    auto first = CreateAutomationObject("test.COUNTER");
    auto second = CreateAutomationObject("Test.Counter");
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second) << "each creation is a new instance";
    AutomationPut(*first, "Value", int32_t(9));
    EXPECT_EQ(AutomationGet(*second, "Value").ToInt32(), 0);
    EXPECT_TRUE(UnregisterAutomationClass("TEST.counter"));
    EXPECT_FALSE(UnregisterAutomationClass("Test.Counter"));
}

TEST(AutomationRegistryTest, UnknownIdentifierIsInvalidClassString) {
    try {
        CreateAutomationObject("Nobody.Registered");
        FAIL();
    } catch (const EAutomationError& e) {
        EXPECT_STREQ(e.what(), "Invalid class string");
        EXPECT_EQ(e.Code(), static_cast<int32_t>(0x800401F3));
    }
}

TEST(AutomationRegistryTest, ConcurrentRegistrationAndCreation) {
    std::atomic<int> created{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&created] {
            for (int i = 0; i < 200; ++i) {
                RegisterAutomationClass("Test.Shared", [] { return std::make_shared<TCounter>(); });
                if (CreateAutomationObject("Test.Shared")) ++created;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(created.load(), 800);
    UnregisterAutomationClass("Test.Shared");
}

}  // namespace
