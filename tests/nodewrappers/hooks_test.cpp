// SPDX-License-Identifier: BSD-3-Clause
// The wrapper-data hook: enter and leave around every value operation, also when it fails; a hook
// that refuses; and the filters on availability and access mode.
#include "inline_descriptions.h"

#include "support/errors.h"

using namespace corvid2;
using namespace corvid2::test;

namespace {

class RecordingHook : public CNodeWrapperData {
public:
    void enter(CGenAPINode& node) override {
        log_.push_back("enter " + node.GetName());
        if (refuse_) throw CGenAPIException("setValue of " + node.GetName() + " failed.", kGenAPIClassAccessDenied);
    }
    void leave(CGenAPINode& node) override { log_.push_back("leave " + node.GetName()); }
    bool filterBool(CGenAPINode&, bool answer) override { return hide_ ? false : answer; }
    std::string filterAccessMode(CGenAPINode&, std::string text) override {
        return hide_ && text == "RW" ? "RO" : text;
    }

    std::vector<std::string> log_;
    bool refuse_ = false;
    bool hide_ = false;
};

class Hooks : public AllTypes {
protected:
    void SetUp() override {
        AllTypes::SetUp();
        node("Offset").setWrapperData(&hook_);
    }
    RecordingHook hook_;
};

const std::vector<std::string> kOneBracket{"enter Offset", "leave Offset"};

}  // namespace

TEST_F(Hooks, EveryValueOperationIsBracketed) {
    CGenAPINode& offset = node("Offset");
    const std::vector<std::function<void()>> operations{
        [&] { offset.SetInt(8); },      [&] { offset.GetInt(); },    [&] { offset.GetValue(); },
        [&] { offset.SetDouble(2.0); }, [&] { offset.GetIntMax(); }, [&] { offset.GetRepresentation(); }};
    for (const auto& operation : operations) {
        hook_.log_.clear();
        operation();
        EXPECT_EQ(hook_.log_, kOneBracket);
    }
    // Other wrappers carry no hook.
    hook_.log_.clear();
    node("Gain").GetDouble();
    EXPECT_TRUE(hook_.log_.empty());
}

TEST_F(Hooks, LeaveFollowsAFailingOperation) {
    EXPECT_EQ(genAPIClassOf([&] { node("Offset").SetInt(5000); }), kGenAPIClassInvalidParameter);
    EXPECT_EQ(hook_.log_, kOneBracket);
}

TEST_F(Hooks, ARefusingHookStopsTheOperation) {
    hook_.refuse_ = true;
    expectGenAPIError([&] { node("Offset").SetInt(8); }, "setValue of Offset failed.", kGenAPIClassAccessDenied);
    EXPECT_EQ(hook_.log_, std::vector<std::string>{"enter Offset"});
    EXPECT_EQ(port_.u32(kOffsetAddress), 0u);
    EXPECT_TRUE(port_.noted_.empty());
}

TEST_F(Hooks, FiltersNarrowAvailabilityAndAccess) {
    CGenAPINode& offset = node("Offset");
    hook_.hide_ = true;
    EXPECT_FALSE(offset.GetAvailable());
    EXPECT_FALSE(offset.IsWriteable());
    EXPECT_TRUE(offset.IsReadable());
    EXPECT_EQ(offset.GetCurrentAccessMode(), "RO");
    EXPECT_EQ(offset.GetImposedAccessMode(), "RO");
    EXPECT_EQ(map_.nameTable().findAvailable("Offset"), nullptr);
    EXPECT_EQ(map_.nameTable().findFirst({"Offset", "Gain"}, true), &node("Gain"));

    hook_.hide_ = false;
    EXPECT_TRUE(offset.GetAvailable());
    EXPECT_EQ(offset.GetCurrentAccessMode(), "RW");
    offset.setWrapperData(nullptr);
    hook_.hide_ = true;
    EXPECT_EQ(offset.GetCurrentAccessMode(), "RW");
}
