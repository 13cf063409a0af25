// The connection settings: defaults, the dialog's OK rules, the settings file.

#include "tests/controller/controller_fixture.h"

#include <filesystem>

namespace moravel::test {
namespace {

class Settings : public ControllerTest {
protected:
    std::string settingsFile() const { return (home.path() / ".config/korvex-travo/MoravelSDI.conf").string(); }

    void writeSettings(std::string_view lines)
    {
        std::filesystem::create_directories(home.path() / ".config/korvex-travo");
        writeFile(settingsFile(), "[COMSettings]\n" + std::string(lines));
    }

    static std::string field(const char* bytes, std::size_t size) { return std::string(bytes, size); }
};

TEST_F(Settings, FirstStartTakesTheDefaultsAndOkRefusesTheFirstBadFieldInOrder)
{
    app.m_context.portHandle = 0;
    app.m_context.handshake = 9;
    app.loadSettings();
    EXPECT_EQ(settingsFilePath(), settingsFile());
    const auto expectDefaults = [&] {
        EXPECT_EQ(app.connectionMode, 2);
        EXPECT_EQ(field(app.m_context.portName, 5), std::string("COM1\0", 5));
        EXPECT_EQ(field(app.m_context.controllerName, 17), std::string("NC-Travo USB    \0", 17));
        EXPECT_EQ(app.m_context.baudRate, 115200u);
        EXPECT_EQ(app.m_context.portHandle, -1);
        EXPECT_EQ(app.m_context.dataBits, 8);
        EXPECT_EQ(app.m_context.handshake, 4);
        EXPECT_EQ(app.connected, 0);
    };
    expectDefaults();

    const std::string name17(17, 'n');
    const struct {
        ComPortChoice choice;
        ComPortField refused;
    } cases[] = {
        {{0, "COM123", name17, 99999}, ComPortField::BaudRate},
        {{0, "COM1", "x", 120001}, ComPortField::BaudRate},
        {{0, "COM123", name17, 100000}, ComPortField::ControllerName},
        {{0, "COM123", std::string(16, 'n'), 120000}, ComPortField::PortName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.choice.portName << " " << c.choice.baudRate);
        EXPECT_EQ(app.applyChoice(c.choice), c.refused);
        expectDefaults();
    }
    EXPECT_FALSE(std::filesystem::exists(settingsFile())) << "neither loading nor a refused OK writes";

    // Stored unchanged, the default name keeps its trailing blanks.
    ASSERT_TRUE(app.saveSettings());
    CMoravelSDIApp next;
    next.loadSettings();
    EXPECT_EQ(next.currentChoice().controllerName, "NC-Travo USB    ");
}

TEST_F(Settings, OkPadsWithNulAndTheNextStartReadsTheSameBytes)
{
    // A name with code page 1252 bytes above 0x7F: "ä" and the euro sign.
    const std::string name = "Fr\xE4s \x80";
    EXPECT_EQ(app.applyChoice({1, "COM7", name, 120000}), ComPortField::None);
    EXPECT_TRUE(app.settingsSaved());
    EXPECT_EQ(field(app.m_context.controllerName, 17), name + std::string(17 - name.size(), '\0'));
    EXPECT_EQ(field(app.m_context.portName, 5), std::string("COM7\0", 5));
    EXPECT_EQ(app.m_context.baudRate, 120000u);

    const std::string file = readFile(settingsFile());
    for (const char* line :
         {"Connection=1\n", "DeviceName=COM7\n", "Controller=Fr\xC3\xA4s \xE2\x82\xAC\n", "BaudeRate=120000\n"})
        EXPECT_TRUE(contains(file, line));

    CMoravelSDIApp next;
    next.loadSettings();
    EXPECT_EQ(next.connectionMode, 1);
    EXPECT_EQ(field(next.m_context.controllerName, 17), field(app.m_context.controllerName, 17));
    EXPECT_EQ(field(next.m_context.portName, 5), field(app.m_context.portName, 5));
    EXPECT_EQ(next.m_context.baudRate, 120000u);

    // A 5-character port text keeps the field terminated; an empty name is all NUL.
    EXPECT_EQ(app.applyChoice({1, "COM78", "", 115200}), ComPortField::None);
    EXPECT_EQ(field(app.m_context.portName, 5), std::string("COM7\0", 5));
    EXPECT_EQ(field(app.m_context.controllerName, 17), std::string(17, '\0'));
}

TEST_F(Settings, OverlongAndUnreadableStoredValuesAreCutOrDefaulted)
{
    writeSettings("Connection=zwei\nDeviceName=COM12345\nController=ABCDEFGHIJKLMNOPQRSTUVWXYZ\nBaudeRate=-5x\n");
    app.loadSettings();
    EXPECT_EQ(app.connectionMode, 2);
    EXPECT_EQ(field(app.m_context.portName, 5), std::string("COM1\0", 5));
    EXPECT_EQ(field(app.m_context.controllerName, 17), std::string("ABCDEFGHIJKLMNOP\0", 17));
    EXPECT_EQ(app.m_context.baudRate, 115200u);

    // An unknown mode is kept: the open then fails with code 0.
    writeSettings("Connection=7\n");
    app.loadSettings();
    EXPECT_EQ(app.connectionMode, 7);
}

TEST_F(Settings, AnUnwritableSettingsFileIsReportedAndTheChoiceStillApplies)
{
    writeFile(home.file(".config"), "a file where the directory should be");
    EXPECT_EQ(app.applyChoice({0, "COM2", "abc", 110000}), ComPortField::None);
    EXPECT_FALSE(app.settingsSaved());
    EXPECT_EQ(app.connectionMode, 0);
}

} // namespace
} // namespace moravel::test
