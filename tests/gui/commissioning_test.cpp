// "Maschine einrichten ..." and the jog panel, driven in the window against the simulated
// machine; the test plays the technician and reads the simulator's ruler.

#include "tests/gui/gui_support.h"

#include "app/shell/commissioning_assistant.h"
#include "app/shell/jog_panel.h"
#include "app/shell/views.h"
#include "tests/support/frames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QTabWidget>
#include <QTableWidget>

#include <cmath>
#include <cstdlib>

namespace moravel::gui {
namespace {

using quorlink::sim::Mechanics;

constexpr double kTrueX = 201.005; // the machine's steps per mm on X; the controller holds 200

class CommissioningTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ::setenv("XDG_DATA_HOME", workFile("data").c_str(), 1);
        auto& p = controller().parameters();
        for (int axis = 0; axis < 4; ++axis)
            p.setFloat(static_cast<std::uint16_t>(0x0400 + axis), std::array{200.f, 100.f, 400.f, 50.f}[axis]);
        p.setFourLongs(0x0408, {0, 0, 0, 0});
        p.setFourLongs(0x0409, {0, 0, 0, 0});
        p.setFourLongs(0x040A, {300, 300, 100, 360});
        Mechanics m;
        m.trueStepsPerMm = {kTrueX, 100, 400, 50};
        m.reversedWiring = {false, true, false, false};
        controller().setMechanics(m);
        m_before = p.values();
    }
    CommissioningAssistant& openAssistant()
    {
        runCommand(Command::Commissioning);
        EXPECT_NE(frame().commissioningAssistant(), nullptr);
        return *frame().commissioningAssistant();
    }
    template <typename T = QPushButton>
    T* child(const char* name)
    {
        T* widget = frame().commissioningAssistant()->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(QPushButton* button)
    {
        ASSERT_TRUE(button->isEnabled()) << button->text().toStdString();
        button->click();
        waitIdle();
    }
    std::array<quorlink::sim::ValueArea, 38> m_before{};
};

// The panel jogs each axis by the step size in the controller's Auflösung, by button and by
// keypad, and shows the controller's positions after every move and when they change.
TEST_F(CommissioningTest, TheJogPanelMovesEveryAxisAndShowsWhereTheControllerCountsIt)
{
    JogPanel& panel = *frame().controlView()->jogPanel();
    panel.stepSizeBox()->setCurrentIndex(2); // 10 mm
    const struct {
        std::size_t axis;
        int direction;
        Qt::Key key; // or Qt::Key_unknown: the button
        std::int32_t steps;
    } cases[] = {{0, +1, Qt::Key_unknown, 2000}, {1, -1, Qt::Key_unknown, -1000}, {2, +1, Qt::Key_unknown, 4000},
                 {3, -1, Qt::Key_unknown, -500},  {0, -1, Qt::Key_4, -2000},      {1, +1, Qt::Key_8, 1000},
                 {2, -1, Qt::Key_3, -4000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << kAxisNames[c.axis] << c.direction << " key " << c.key);
        const std::int32_t before = controller().machineState().positionSteps[c.axis];
        if (c.key == Qt::Key_unknown) {
            QTest::mouseClick(panel.jogButton(c.axis, c.direction), Qt::LeftButton);
        } else {
            frame().activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&frame()));
            panel.setFocus();
            QTest::keyClick(&panel, c.key, Qt::KeypadModifier);
        }
        waitIdle();
        const std::int32_t now = controller().machineState().positionSteps[c.axis];
        EXPECT_EQ(now - before, c.steps);
        EXPECT_EQ(panel.positionLabel(c.axis)->text(),
                  JogPanel::positionText(now / static_cast<double>(std::array{200, 100, 400, 50}[c.axis])));
    }
    EXPECT_TRUE(frame().statusView()->fahrenBox()->isChecked());
    controller().setPositionSteps({0, 0, 0, 1234});
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.positionLabel(3)->text() == QStringLiteral("24.680 mm"); }, 10000));

    // No position query waits for another operation to end: none was asked during the read,
    // and none follows it at once.
    controller().clearLogs();
    runCommand(Command::ParameterRead);
    const auto frames = test::requestsOf(controller());
    const auto first = std::ranges::find_if(frames, [](const test::Frame& f) { return test::isModeSwitch(f, 1); });
    const auto last = std::ranges::find_if(frames, [](const test::Frame& f) { return test::isModeSwitch(f, 2); });
    ASSERT_LT(first, last);
    EXPECT_TRUE(std::none_of(frames.begin(), frames.end(), [](const test::Frame& f) { return f[0] == 0 && f[1] == 0; }))
        << "no position query";
    EXPECT_EQ(m_driver.messages, QStringList{});

    // A device that vanishes is found by the idle check or the next query, whichever comes
    // first: the link closed, at most one message, and no position shown any more.
    controller().disappearNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app().isConnected() && !frame().isBusy(); }, 10000));
    ASSERT_LE(m_driver.messages.size(), 1);
    for (const QString& message : m_driver.messages)
        EXPECT_TRUE(message.startsWith(QStringLiteral("Die Verbindung zum Controller ist unterbrochen")));
    EXPECT_EQ(panel.positionLabel(0)->text(), QStringLiteral("– mm"));
}

// The whole assistant: the direction check flips exactly the reversed axis, two rounds make
// X's Auflösung the machine's, two jogs give X's travel range (in the new Auflösung), and the
// transfer sends those keys after a backup and puts them into the document.
TEST_F(CommissioningTest, TheAssistantChecksCalibratesTakesTheRangeAndTransfersOnlyWhatChanged)
{
    CommissioningAssistant& assistant = openAssistant();
    ASSERT_TRUE(assistant.ready());
    for (int axis = 0; axis < 4; ++axis) {
        assistant.selectAxis(axis);
        const double before = controller().physicalPositionMm(axis);
        click(child("directionMove"));
        const bool plus = controller().physicalPositionMm(axis) > before;
        click(child(plus ? "directionYes" : "directionNo"));
    }
    assistant.selectAxis(kAxisX);
    EXPECT_EQ(child<QDoubleSpinBox>("calibrationDistance")->value(), 100.0);
    for (const char* start : {"calibrationMove", "calibrateAgain"}) {
        const double before = controller().physicalPositionMm(kAxisX);
        click(child(start));
        const double travel = controller().physicalPositionMm(kAxisX) - before;
        child<QLineEdit>("measuredDistance")->setText(QString::number(travel, 'f', 3).replace('.', ','));
        click(child("computeResolution"));
    }
    EXPECT_TRUE(child<QLabel>("resolutionText")->text().startsWith(QStringLiteral("Alt: 200.000000 Schritte/mm")));
    controller().setPositionSteps({}); // the axes homed
    JogPanel& jog = *assistant.jogPanel();
    jog.stepSizeBox()->setCurrentIndex(3); // 100 mm
    click(jog.jogButton(kAxisX, -1));
    click(child("takeRangeStart"));
    for (int i = 0; i < 3; ++i)
        click(jog.jogButton(kAxisX, +1));
    click(child("takeRangeEnd"));
    EXPECT_EQ(controller().parameters().values(), m_before) << "nothing is sent before the end";

    click(child("showChanges"));
    QTableWidget& table = *assistant.changeTable();
    QStringList rows;
    for (int r = 0; r < table.rowCount(); ++r)
        rows << table.item(r, 0)->text() + " " + table.item(r, 2)->text() + " " + table.item(r, 3)->text();
    ASSERT_EQ(rows.size(), 4) << rows.join('|').toStdString();
    EXPECT_EQ(rows.mid(1), (QStringList{"0408 [0;0;0;0] [0;1;0;0]", "0409 [0;0;0;0] [-100;0;0;0]",
                                        "040a [300;300;100;360] [200;300;100;360]"}));
    click(child("transferChanges"));
    ASSERT_TRUE(assistant.finished()) << assistant.note().toStdString();
    EXPECT_TRUE(assistant.summary().startsWith(QStringLiteral("Der Controller hält die neuen Werte")));
    std::vector<std::uint16_t> sent;
    for (const test::Frame& f : test::requestsOf(controller()))
        if (test::isParameter(f, test::kParameterChange))
            sent.push_back(test::keyOf(f));
    EXPECT_EQ(sent, (std::vector<std::uint16_t>{0x0400, 0x0408, 0x0409, 0x040A})) << "just the changed keys, once";
    auto& p = controller().parameters();
    EXPECT_NEAR(p.getFloat(0x0400) / kTrueX, 1.0, 1e-4);
    EXPECT_EQ(p.getFourLongs(0x0408), (std::array<std::int32_t, 4>{0, 1, 0, 0}));
    EXPECT_EQ(p.getFourLongs(0x0409)[0], -100);
    EXPECT_EQ(p.getFourLongs(0x040A)[0], 200);
    const ParameterSet& set = doc().m_parameterSet;
    EXPECT_EQ(set.aufloesung[kAxisX], p.getFloat(0x0400));
    EXPECT_EQ(set.richtungsumkehr, (std::array<std::int32_t, 4>{0, 1, 0, 0}));
    EXPECT_EQ(set.verfahrbereichVon[kAxisX], -100);
    EXPECT_EQ(set.origin(0x0408), ValueOrigin::Controller);
    EXPECT_TRUE(doc().isModified());
    EXPECT_TRUE(std::filesystem::exists(workFile("data/moravel/backups")));
    EXPECT_EQ(m_driver.messages, QStringList{});
}

// A stop key during a watched move stops it at once; "Abbrechen" during one, or while a jog
// travels, sends NotHalt and closes the assistant, and "Abbrechen" at the list (where an empty range cannot be sent):
// nothing reaches the controller or the document either way.
TEST_F(CommissioningTest, AStopKeyOrAbbrechenDuringAMoveAndAbbrechenAtTheListChangeNothing)
{
    Mechanics m = controller().mechanics();
    m.speedMmPerSecond = 2; // 100 mm take 50 s
    controller().setMechanics(m);
    for (const bool key : {true, false}) {
        SCOPED_TRACE(key ? "F8" : "Abbrechen");
        CommissioningAssistant& assistant = openAssistant();
        const QPointer<CommissioningAssistant> open(&assistant);
        const int stops = controller().machineState().stops;
        child("calibrationMove")->click();
        ASSERT_TRUE(QTest::qWaitFor([] { return controller().moving(); }, 10000));
        ASSERT_TRUE(assistant.moving());
        if (key) {
            assistant.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&assistant));
            QTest::keyClick(&assistant, kNotHaltKey);
        } else {
            child("cancelCommissioning")->click();
        }
        waitIdle();
        EXPECT_FALSE(controller().moving());
        EXPECT_GE(controller().machineState().stops, stops + 1);
        if (key) {
            EXPECT_TRUE(assistant.ready()) << "the stop key leaves the assistant open";
            EXPECT_EQ(assistant.note(), QStringLiteral("Die Bewegung wurde angehalten."));
            assistant.close();
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return open == nullptr; }, 5000));
    }

    // A jog of the assistant's panel still travelling.
    openAssistant().jogPanel()->stepSizeBox()->setCurrentIndex(3);
    click(frame().commissioningAssistant()->jogPanel()->jogButton(kAxisX, +1));
    ASSERT_TRUE(controller().moving());
    const int stops = controller().machineState().stops;
    child("cancelCommissioning")->click();
    waitIdle();
    EXPECT_FALSE(controller().moving());
    EXPECT_EQ(controller().machineState().stops, stops + 1);

    ASSERT_TRUE(QTest::qWaitFor([&] { return frame().commissioningAssistant() == nullptr; }, 5000));
    CommissioningAssistant& assistant = openAssistant();
    const QPointer<CommissioningAssistant> open(&assistant);
    assistant.selectAxis(kAxisZ);
    m.speedMmPerSecond = 0;
    controller().setMechanics(m);
    click(child("directionMove"));
    click(child("directionNo"));
    assistant.selectAxis(kAxisC); // its end taken where it starts: a range that is not sent
    click(child("takeRangeEnd"));
    click(child("showChanges"));
    EXPECT_EQ(assistant.changeTable()->rowCount(), 2);
    EXPECT_FALSE(child("transferChanges")->isEnabled());
    child("cancelCommissioning")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return open == nullptr; }, 5000));
    EXPECT_EQ(controller().parameters().values(), m_before);
    EXPECT_TRUE(std::ranges::none_of(test::requestsOf(controller()),
                                     [](const test::Frame& f) { return test::isParameter(f, test::kParameterChange); }));
    EXPECT_FALSE(doc().isModified());
    EXPECT_FALSE(std::filesystem::exists(workFile("data/moravel/backups")));
    EXPECT_EQ(m_driver.messages, QStringList{});
}

} // namespace
} // namespace moravel::gui
