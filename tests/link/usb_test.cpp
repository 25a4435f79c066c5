// Finding the controller by its identity text and opening the link's two handles.
#include "link/usb.h"

#include "sim_process.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using platform::HidInterfaceInfo;

TEST(FindMatchingInterface, UpperCasesTheHardwareIdButNotTheSearchedText)
{
    const std::vector<HidInterfaceInfo> interfaces{
        {"HID\\VID_046D&PID_C077&REV_0100", "/mouse", {}},
        {"hid\\vid_04d8&pid_003c&rev_0002", "/board", {}},
        {"HID\\VID_04D8&PID_003C&REV_0002", "/board-again", {}},
    };
    EXPECT_EQ(findMatchingInterface(interfaces, "VID_04D8&PID_003C"), std::optional<std::size_t>(1));
    EXPECT_EQ(findMatchingInterface(interfaces, "vid_04d8&pid_003c"), std::nullopt);
    EXPECT_EQ(findMatchingInterface(interfaces, "VID_1FC9&PID_0003"), std::nullopt);
    EXPECT_EQ(findMatchingInterface({}, "VID_04D8&PID_003C"), std::nullopt);
}

class LinkOnBus : public ::testing::Test {
protected:
    void TearDown() override
    {
        Close_HidDevice();
        controllerLink().devicePath.clear();
    }
};

// The next unit of a line is on a port that no unit just done holds; where ports are not known,
// nothing can be told apart and every controller may be the one on its way back.
TEST(FindMatchingInterface, PortFiltersTakeOnlyTheirPorts)
{
    const std::vector<HidInterfaceInfo> interfaces{
        {"HID\\VID_1FC9&PID_0003&REV_0100", "/done", "1-4"},
        {"HID\\VID_1FC9&PID_0003&REV_0100", "/next", "1-5"},
    };
    const std::string vidPid = "VID_1FC9&PID_0003";
    EXPECT_EQ(findMatchingInterface(interfaces, vidPid, {PortFilter::Kind::AllBut, {"1-4"}}), std::optional<std::size_t>(1));
    EXPECT_EQ(findMatchingInterface(interfaces, vidPid, {PortFilter::Kind::AllBut, {"1-4", "1-5"}}), std::nullopt);
    EXPECT_EQ(findMatchingInterface(interfaces, vidPid, {PortFilter::Kind::Only, {"1-5"}}), std::optional<std::size_t>(1));
    EXPECT_EQ(findMatchingInterface(interfaces, vidPid, {PortFilter::Kind::Only, {"2-1"}}), std::nullopt);
    EXPECT_EQ(findMatchingInterface(interfaces, vidPid, {PortFilter::Kind::AllBut, {""}}), std::nullopt);
    EXPECT_EQ(findMatchingInterface(interfaces, vidPid, {PortFilter::Kind::Only, {""}}), std::optional<std::size_t>(0));
    EXPECT_EQ(findMatchingInterface(interfaces, vidPid, {PortFilter::Kind::AllBut, {}}), std::optional<std::size_t>(0));
}

TEST_F(LinkOnBus, FirstInEnumerationOrderWinsAndALaterSearchReplacesThePath)
{
    lumaro::test::SimProcess sim({"--controller", "a,id=HID\\VID_1FC9&PID_0003&REV_0100", "--controller",
                                  "b,id=HID\\VID_1FC9&PID_0003&REV_0200", "--board", "c,id=HID\\VID_04D8&PID_003C&REV_0002"});
    sim.useBus();
    ASSERT_TRUE(Find_HidDevice("VID_1FC9&PID_0003"));
    EXPECT_EQ(controllerLink().devicePath, sim.interfacePath("a"));
    ASSERT_TRUE(Find_HidDevice("VID_04D8&PID_003C"));
    EXPECT_EQ(controllerLink().devicePath, sim.interfacePath("c"));
    // A miss leaves the path of the last match.
    EXPECT_FALSE(Find_HidDevice("VID_FFFF&PID_0001"));
    EXPECT_EQ(controllerLink().devicePath, sim.interfacePath("c"));
}

TEST_F(LinkOnBus, OpensBothHandlesAndKeepsTheErrorsOfAFailedOpen)
{
    lumaro::test::SimProcess sim({"--controller", "ctl,id=HID\\VID_1FC9&PID_0003&REV_0100"});
    sim.useBus();
    ASSERT_TRUE(Find_HidDevice("VID_1FC9&PID_0003"));
    EXPECT_TRUE(Open_HidDevice());
    EXPECT_TRUE(controllerLink().writeHandle.isOpen());
    EXPECT_TRUE(controllerLink().readHandle.isOpen());
    EXPECT_EQ(controllerLink().writeOpenError, platform::kOk);

    ASSERT_EQ(sim.control("unplug ctl"), "ok");
    EXPECT_FALSE(Find_HidDevice("VID_1FC9&PID_0003"));
    EXPECT_FALSE(Open_HidDevice());
    EXPECT_EQ(controllerLink().writeOpenError, platform::kErrorFileNotFound);
    EXPECT_EQ(controllerLink().readOpenError, platform::kErrorFileNotFound);
    Close_HidDevice();
    EXPECT_FALSE(controllerLink().writeHandle.isOpen());
    EXPECT_FALSE(controllerLink().readHandle.isOpen());
}

}  // namespace
