// The start-up port choice and the port buttons, over real ptys.

#include "PtyFixture.h"
#include "ResultPrinters.h"
#include "session/CartridgeRefresh.h"
#include "session/PortSelection.h"

namespace {

constexpr const char* MISSING = "/nonexistent/q8-port";

class PortSelectionTest : public q8test::DeviceFixture {
  protected:
    void SetUp() override {
        sim = std::make_unique<q8sim::Simulator>();
        ASSERT_TRUE(sim->Start()) << sim->Error();
    }
    void TearDown() override {
        unsetenv("Q8LOADER_COM1");
        unsetenv("Q8LOADER_COM2");
    }
    void Ports(const std::string& com1, const std::string& com2) {
        setenv("Q8LOADER_COM1", com1.c_str(), 1);
        setenv("Q8LOADER_COM2", com2.c_str(), 1);
    }
};

TEST_F(PortSelectionTest, StartupTriesCom1ThenCom2) {
    Ports(sim->DevicePath(), MISSING);
    EXPECT_TRUE(q8::OpenStartupPort(link, model, messages));
    EXPECT_EQ(model.portIndex, 0);
    EXPECT_TRUE(messages.shown.empty());

    Ports(MISSING, sim->DevicePath());
    EXPECT_TRUE(q8::OpenStartupPort(link, model, messages));
    EXPECT_EQ(model.portIndex, 1);
    EXPECT_EQ(model.portName, "COM2");
    EXPECT_EQ(messages.shown, std::vector<std::string>{"打开COM1错误，请检查COM1出错或者被占用！"});
    // The device is reached through COM2.
    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);

    messages.shown.clear();
    Ports(MISSING, MISSING);
    EXPECT_FALSE(q8::OpenStartupPort(link, model, messages));
    EXPECT_EQ(model.portIndex, 1);
    EXPECT_EQ(messages.shown, (std::vector<std::string>{"打开COM1错误，请检查COM1出错或者被占用！",
                                                        "打开COM2错误，请检查COM2出错或者被占用！",
                                                        "不能打开COM1或COM2！"}));
    EXPECT_FALSE(link.IsOpen());
}

TEST_F(PortSelectionTest, PortButtonsReopenAndReportInTheStatusLine) {
    Ports(sim->DevicePath(), MISSING);
    ASSERT_TRUE(q8::SelectPort(link, model, messages, 0));
    EXPECT_EQ(model.status.text, "打开COM1成功！");
    EXPECT_FALSE(model.status.error);
    // Clicking the open port again closes and reopens it.
    ASSERT_TRUE(q8::SelectPort(link, model, messages, 0));
    EXPECT_EQ(model.status.text, "打开COM1成功！");
    EXPECT_TRUE(messages.shown.empty());

    // A port that does not exist: the index changes all the same, nothing is
    // open afterwards, and the cartridge list is left as it was.
    view.rows.push_back({"kept.bin", "1*8bits", "2005-3-7 9:5"});
    EXPECT_FALSE(q8::SelectPort(link, model, messages, 1));
    EXPECT_EQ(model.portIndex, 1);
    EXPECT_EQ(model.status.text, "打开COM2失败！");
    EXPECT_TRUE(model.status.error);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"打开COM2错误，请检查COM2出错或者被占用！"});
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(view.rows.size(), 1u);
    EXPECT_TRUE(sim->FramesFromHost(q8::CMD_HELLO).empty());  // nothing was sent
}

// The CLI's --port: COM1 and COM2 in any case are those two ports; any other
// name is a device, opened and named as given.
TEST_F(PortSelectionTest, NamedPortIsACom1Or2InAnyCaseElseADevice) {
    Ports(MISSING, sim->DevicePath());
    const struct {
        std::string name;
        bool opens;
        int portIndex;
        std::string portName;
    } cases[] = {
        {"com2", true, 1, "COM2"},
        {"cOm1", false, 0, "COM1"},
        {sim->DevicePath(), true, 0, sim->DevicePath()},
        {"COM12", false, 0, "COM12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model.portIndex = 1 - c.portIndex;
        EXPECT_EQ(q8::OpenNamedPort(link, model, messages, c.name), c.opens);
        EXPECT_EQ(model.portIndex, c.portIndex);
        EXPECT_EQ(model.portName, c.portName);
        EXPECT_EQ(link.IsOpen(), c.opens);
    }
    // The device behind "com2" is COM2's.
    ASSERT_TRUE(q8::OpenNamedPort(link, model, messages, "com2"));
    EXPECT_EQ(q8::Refresh(station).status, q8::RefreshStatus::Ok);
}

}  // namespace
