// ParameterSet::ReadText: syntax errors, validation, cutting, duplicates, comments.

#include "params/parameter_set.h"
#include "params/parameter_table.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <iomanip>
#include <sstream>
#include <stdexcept>
#include <cmath>

namespace moravel {
namespace {

using test::RecordingInteraction;

struct Outcome {
    bool result;
    std::vector<std::string> messages;
};

Outcome read(ParameterSet& set, std::string_view text)
{
    RecordingInteraction ui;
    const bool result = set.ReadText(text, ui);
    return {result, ui.messages};
}

const ParameterInfo& row(std::int32_t key)
{
    const ParameterInfo* p = findParameter(key);
    if (p == nullptr)
        throw std::runtime_error("no row for key");
    return *p;
}

std::string syntaxMessage(std::string_view what, int line)
{
    return std::string(what) + ". Sieh NC-Travo_USB_Param.ncp, Zeile " + std::to_string(line) +
           ".\nBitte beenden Sie das Programm und korigieren Sie den File";
}

// ---- Syntax errors.

struct SyntaxCase {
    const char* text;
    const char* what;
    int line;
};

TEST(Reader, StopsAtFirstSyntaxErrorWithItsMessageAndLineNumber)
{
    const SyntaxCase cases[] = {
        {"0100 0.5", "Kein '=' vorhanden", 1},
        {"% Kopf\n\n \t \n0100 0.5\n0101=1\n", "Kein '=' vorhanden", 4},
        {"=5", "Kein HB LB vorhanden", 1},
        {"=", "Kein HB LB vorhanden", 1},
        {"0100=", "Kein Wert vorhanden", 1},
        {"0100=1\n0100=   % Text", "Kein Wert vorhanden", 2},
        {"01 00=1", "Syntax Error in HB LB", 1},
        {"01G0=1", "Syntax Error in HB LB", 1},
        {"0x=1", "Syntax Error in HB LB", 1},
        {"G=1", "Syntax Error in HB LB", 1},
        {"0100=0,5", "Syntax Error im Wert", 1},
        {"0000=12.5", "Syntax Error im Wert", 1},
        {"0000=0x10", "Syntax Error im Wert", 1},
        {"0000=+", "Syntax Error im Wert", 1},
        {"0408=[1 ;0;1;0]", "Syntax Error im Wert", 1},
        {"040b=[1;2;3;4;5]", "Syntax Error im Wert", 1},
        {"0408=[1; ;1;0]", "Syntax Error im Wert", 1},
        {"0304=[[1;1;0;0][2;1;0;x]]", "Syntax Error im Wert", 1},
        {"\r\n0100=1.5\r\n0101=abc\r\n0102=1\r\n", "Syntax Error im Wert", 3},
    };
    for (const SyntaxCase& c : cases) {
        SCOPED_TRACE(c.text);
        ParameterSet set;
        const Outcome out = read(set, c.text);
        EXPECT_FALSE(out.result);
        ASSERT_EQ(out.messages.size(), 1u);
        EXPECT_EQ(out.messages[0], syntaxMessage(c.what, c.line));
    }
}

TEST(Reader, KeepsWhatEarlierLinesSetWhenItStops)
{
    ParameterSet set;
    set.eilgang = 77;
    const Outcome out = read(set, "0100=1.5\n0101=abc % kaputt\n0102=20\n");
    EXPECT_FALSE(out.result);
    EXPECT_FLOAT_EQ(set.startStopGeschwindigkeit, 1.5f);
    EXPECT_FLOAT_EQ(set.eilgang, 77); // never reached
    // The failing line's key has its entry too; the later line's key has none.
    EXPECT_EQ(set.lineComments, (std::map<std::int32_t, std::string>{{0x0100, ""}, {0x0101, "% kaputt"}}));
}

TEST(Reader, MakesTheCommentEntryForTheNumberReadFromABadKey)
{
    ParameterSet set;
    EXPECT_FALSE(read(set, "01 00=1 % c").result);
    EXPECT_EQ(set.lineComments, (std::map<std::int32_t, std::string>{{0x01, "% c"}}));
}

TEST(Reader, StopsInsideAQuadrupleAfterStoringTheEarlierElements)
{
    ParameterSet set;
    set.parkposition = {9, 9, 9, 9};
    EXPECT_FALSE(read(set, "040b=[1;2;x;4]").result);
    EXPECT_EQ(set.parkposition, (std::array<std::int32_t, 4>{1, 2, 9, 9}));

    set.richtungsumkehr = {7, 7, 7, 7};
    EXPECT_FALSE(read(set, "0408=[1 ;0;1;0]").result);
    EXPECT_EQ(set.richtungsumkehr, (std::array<std::int32_t, 4>{7, 7, 7, 7}));
}

// ---- Empty text, partial files.

TEST(Reader, EmptyTextIsRejectedSilentlyAndTouchesNothing)
{
    ParameterSet set;
    set.lineComments[0x0100] = "% alt";
    set.eilgang = 3;
    const Outcome out = read(set, "");
    EXPECT_FALSE(out.result);
    EXPECT_TRUE(out.messages.empty());
    EXPECT_EQ(set.lineComments.at(0x0100), "% alt");
    EXPECT_FLOAT_EQ(set.eilgang, 3);
}

TEST(Reader, BlankAndCommentOnlyLinesAreAcceptedButKeepNoComment)
{
    ParameterSet set;
    set.lineComments[0x0100] = "% alt";
    const Outcome out = read(set, "% Kopf\n\n \t\r\n   % nur Kommentar");
    EXPECT_TRUE(out.result);
    EXPECT_TRUE(out.messages.empty());
    EXPECT_TRUE(set.lineComments.empty());
}

TEST(Reader, FileWithSomeKeysChangesOnlyThoseMembers)
{
    ParameterSet set;
    set.eilgang = 12;
    set.nullpunkt = {1, 2, 3, 4};
    set.controllerName = "alt";
    const Outcome out = read(set, "0100=0.5\n");
    EXPECT_TRUE(out.result);
    EXPECT_TRUE(out.messages.empty());
    EXPECT_FLOAT_EQ(set.startStopGeschwindigkeit, 0.5f);
    EXPECT_FLOAT_EQ(set.eilgang, 12);
    EXPECT_EQ(set.nullpunkt, (std::array<std::int32_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(set.controllerName, "alt");
    EXPECT_EQ(set.lineComments, (std::map<std::int32_t, std::string>{{0x0100, ""}}));
}

// ---- Keys.

TEST(Reader, ReadsKeysAsHexadecimalNumbersInEveryAcceptedSpelling)
{
    for (const char* text : {"0x0100=1.5", "100=1.5", "0100=+1.5e0", "0X100=1.5", "+100=1.5", "  0100  =  1.5  "}) {
        SCOPED_TRACE(text);
        ParameterSet set;
        const Outcome out = read(set, text);
        EXPECT_TRUE(out.result);
        EXPECT_FLOAT_EQ(set.startStopGeschwindigkeit, 1.5f);
        EXPECT_EQ(set.lineComments.count(0x0100), 1u);
    }
    ParameterSet set;
    EXPECT_TRUE(read(set, "040A=[1;2;3;4]\n040a=[5;6;7;8]").result);
    EXPECT_EQ(set.verfahrbereichBis, (std::array<std::int32_t, 4>{5, 6, 7, 8}));
    EXPECT_EQ(set.lineComments.size(), 1u);
}

TEST(Reader, AcceptsReservedAndUnknownKeysSilentlyAndKeepsTheirComments)
{
    ParameterSet set;
    const Outcome out = read(set, "0300=[]\n07ff=irgendwas % x\n-1=a\n10100=b\n"
                                  "100000000=c\nFFFFFFFFFF=d\n-FFFFFFFFFF=e\n0303=1\n");
    EXPECT_TRUE(out.result);
    EXPECT_TRUE(out.messages.empty());
    // Numbers beyond the 32-bit range are clamped, as strtol with a 32-bit long does.
    EXPECT_EQ(set.lineComments, (std::map<std::int32_t, std::string>{{INT32_MIN, ""},
                                                                      {-1, ""},
                                                                      {0x0300, ""},
                                                                      {0x0303, ""},
                                                                      {0x07FF, "% x"},
                                                                      {0x10100, ""},
                                                                      {INT32_MAX, ""}}));
}

TEST(Reader, LastOccurrenceOfAKeyWinsAndReplacesTheComment)
{
    ParameterSet set;
    EXPECT_TRUE(read(set, "0102=10 % erste\n0102=20 % zweite\n").result);
    EXPECT_FLOAT_EQ(set.eilgang, 20);
    EXPECT_EQ(set.lineComments.at(0x0102), "% zweite");

    EXPECT_TRUE(read(set, "0102=10 % erste\n0102=20\n").result);
    EXPECT_EQ(set.lineComments.at(0x0102), "");

    const Outcome out = read(set, "0102=20\n0102=5000\n");
    EXPECT_TRUE(out.result);
    EXPECT_FLOAT_EQ(set.eilgang, 10); // the invalid last value gives the default
    EXPECT_EQ(out.messages.size(), 1u);
}

// ---- Comments and carriage returns.

TEST(Reader, TakesCommentsVerbatimWithTheirCarriageReturn)
{
    ParameterSet set;
    EXPECT_TRUE(read(set, "0100=0.500000 % Startgeschwindigkeit\r\n0101=4\r\n0102=10%a%b  \r\n0103=1.0").result);
    EXPECT_FLOAT_EQ(set.startStopGeschwindigkeit, 0.5f);
    EXPECT_FLOAT_EQ(set.fahrGeschwindigkeit, 4);
    EXPECT_FLOAT_EQ(set.manuellLangsam, 1); // last line without a line feed
    EXPECT_EQ(set.lineComments.at(0x0100), "% Startgeschwindigkeit\r");
    EXPECT_EQ(set.lineComments.at(0x0101), "");
    EXPECT_EQ(set.lineComments.at(0x0102), "%a%b  \r");
    EXPECT_EQ(set.lineComments.at(0x0103), "");
}

TEST(Reader, KeepsEightBitBytesOfCommentsAndControllerName)
{
    ParameterSet set;
    EXPECT_TRUE(read(set, "0505=Fr\xe4se \x80\xff % K\xfchlung \x81\x8d\n").result);
    EXPECT_EQ(set.controllerName, "Fr\xe4se \x80\xff");
    EXPECT_EQ(set.lineComments.at(0x0505), "% K\xfchlung \x81\x8d");
}

// ---- Controller name.

TEST(Reader, CutsALongControllerNameToSixteenCharacters)
{
    ParameterSet set;
    const Outcome out = read(set, "0505=ABCDEFGHIJKLMNOPQ\n");
    EXPECT_TRUE(out.result);
    EXPECT_EQ(set.controllerName, "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(out.messages, (std::vector<std::string>{"Achtung! Sonstige -> Controllername war länger als 16 char\n"
                                                      "und ist auf genau 16 char gekürzt worden."}));

    const Outcome exact = read(set, "0505=  Fraese 1  =x  \n");
    EXPECT_TRUE(exact.messages.empty());
    EXPECT_EQ(set.controllerName, "Fraese 1  =x");
    read(set, "0505=ABCDEFGHIJKLMNOP");
    EXPECT_EQ(set.controllerName, "ABCDEFGHIJKLMNOP");
}

// ---- Validation.

// A value text for element `target` of p that is valid everywhere except there.
std::string valueText(const ParameterInfo& p, std::size_t target, const std::string& invalid)
{
    auto element = [&](std::size_t i) {
        if (i == target)
            return invalid;
        std::ostringstream s;
        s << p.element(i).defaultValue;
        return s.str();
    };
    switch (p.kind) {
    case ParameterKind::Long:
    case ParameterKind::Float:
        return element(0);
    case ParameterKind::AxisQuadruple:
    case ParameterKind::EnumQuadruple:
        return "[" + element(0) + ";" + element(1) + ";" + element(2) + ";" + element(3) + "]";
    case ParameterKind::HomingRecord:
        return "[[" + element(0) + ";" + element(1) + ";" + element(2) + ";" + element(3) + "][" + element(4) +
               ";" + element(5) + ";" + element(6) + ";" + element(7) + "]]";
    default:
        return {};
    }
}

double valueOf(const ParameterInfo& p, const ParameterSet& set, std::size_t i)
{
    return p.kind == ParameterKind::Float ? p.floatValue(set) : p.longValue(set, i);
}

TEST(Reader, ReplacesEveryInvalidElementByItsDefaultWithItsMessage)
{
    for (const ParameterInfo& p : parameterTable()) {
        for (std::size_t i = 0; i < p.elementCount; ++i) {
            const ElementInfo& e = p.element(i);
            const bool isFloat = p.kind == ParameterKind::Float;
            for (const double bad : {e.validMax + (isFloat ? 0.01 : 1), e.validMin - (isFloat ? e.validMin / 10 : 1)}) {
                std::ostringstream badText;
                badText << std::setprecision(17) << bad;
                char key[8];
                std::snprintf(key, sizeof key, "%04x", p.key.value);
                const std::string line = std::string(key) + "=" + valueText(p, i, badText.str());
                SCOPED_TRACE(line);
                ParameterSet set;
                const Outcome out = read(set, line);
                EXPECT_TRUE(out.result);
                EXPECT_EQ(out.messages, std::vector<std::string>{validationMessage(p, i)});
                for (std::size_t k = 0; k < p.elementCount; ++k)
                    EXPECT_EQ(valueOf(p, set, k), static_cast<float>(p.element(k).defaultValue)) << "element " << k;
            }
        }
    }
}

TEST(Reader, ValidationMessagesHaveTheirExactTexts)
{
    struct Case {
        const char* line;
        const char* message;
    };
    const Case cases[] = {
        {"0000=65536", "Motortest -> Weglänge war ungültig\nund ist mit DEFAULT Wert (400 Schritte) initialisiert.\n"
                       "Bitte definieren Sie den Wert richtig im Dialog."},
        {"0003=0", "Motortest -> Motortestbeschleunigung war ungültig\nund ist mit DEFAULT Wert (10 mm/s²) "
                   "initialisiert.\nBitte definieren Sie den Wert richtig im Dialog."},
        {"0103=0", "Geschwindigkeiten -> 'Manuelles Fahren langsam' war ungültig\nund ist mit DEFAULT Wert (0.5 "
                   "mm/s) initialisiert.\nBitte definieren Sie den Wert richtig im Dialog."},
        {"040a=[100;100;32768;50]", "Mechanik -> 'Verfahrbereich bis' Z war ungültig\nund ist mit DEFAULT Wert (50 "
                                    "mm) initialisiert.\nBitte definieren Sie den Wert richtig im Dialog."},
        {"0201=0", "Schnittstelle -> Zusatzsignal Kühlung war ungültig\nund ist mit 'deaktiv' initialisiert.\n"
                   "Bitte definieren Sie den Signal richtig im Dialog."},
        {"0500=5", "Sonstige -> Werkzeugwechsel war ungültig und ist mit\nDEFAULT Wert (4-nur Parameter übernehmen) "
                   "initialisiert.\nBitte definieren Sie den Wert richtig im Dialog."},
        {"0504=4", "Sonstige -> 'Unbekannte Programmbefehle' war ungültig\nund ist mit DEFAULT Wert (1-ignorieren) "
                   "initialisiert.\nBitte definieren Sie den Wert richtig im Dialog."},
        {"0304=[[1;1;0;0][2;7;0;3]]", "Referenzfahrt -> Reihenfolge[1] war ungültig\nund ist mit DEFAULT Wert (1=Y) "
                                      "initialisiert.\nBitte definieren Sie den Wert richtig im Dialog."},
        {"040d=[0;0;0;3]", "Mechanik -> Achsenconfiguration C war ungültig\nund ist mit DEFAULT Wert (0-linear) "
                           "initialisiert.\nBitte definieren Sie den Wert richtig im Dialog."},
        {"0106=0", "Geschwindigkeiten -> Referenzfahrt (freifahren) war ungültig\nund ist mit DEFAULT Wert (0.5 "
                   "mm/s) initialisiert.\nBitte definieren Sie den Wert richtig im Dialog."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ParameterSet set;
        const Outcome out = read(set, c.line);
        EXPECT_TRUE(out.result);
        EXPECT_EQ(out.messages, std::vector<std::string>{c.message});
    }
}

TEST(Reader, AcceptsTheBoundsOfEveryRangeAndNothingBeyond)
{
    struct Case {
        const char* line;
        std::size_t messages;
    };
    const Case cases[] = {
        {"0409=[-32767;32767;0;0]", 0}, {"0409=[-32768;0;0;32768]", 2}, {"0400=0.1", 0},
        {"0400=0.09", 1},               {"0100=0.01", 0},               {"0100=0.009", 1},
        {"0100=999", 0},                {"0100=999.01", 1},             {"0000=65535", 0},
        {"0000=65536", 1},              {"0000=-1", 1},                 {"0000=99999999999999999999", 1},
        {"0507=0", 0},                  {"0507=1", 1},                  {"0507=-1", 1},
        {"0100=nan", 1},                {"0100=inf", 1},                {"0100=1e400", 1},
        {"0100=0x1p-1", 0},             {"0408=[1;0;1;0]", 0},          {"0408=[2;0;-1;0]", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ParameterSet set;
        const Outcome out = read(set, c.line);
        EXPECT_TRUE(out.result);
        EXPECT_EQ(out.messages.size(), c.messages);
    }
}

TEST(Reader, ChecksFloatsInDoublePrecisionBeforeNarrowing)
{
    ParameterSet set;
    // 0.0099999999 narrows to the same float as 0.01 but lies below the bound.
    EXPECT_EQ(read(set, "0100=0.0099999999").messages.size(), 1u);
    EXPECT_FLOAT_EQ(set.startStopGeschwindigkeit, 0.5f);
    EXPECT_TRUE(read(set, "0101=0.1").messages.empty());
    EXPECT_EQ(set.fahrGeschwindigkeit, static_cast<float>(0.1));
}

TEST(Reader, ShowsMessagesInTheOrderOfLinesAndElements)
{
    ParameterSet set;
    const Outcome out = read(set, "040b=[99999;0;0;-99999]\n0000=-5\n");
    ASSERT_EQ(out.messages.size(), 3u);
    EXPECT_EQ(out.messages[0], validationMessage(row(0x040B), AxisX));
    EXPECT_EQ(out.messages[1], validationMessage(row(0x040B), AxisC));
    EXPECT_EQ(out.messages[2], validationMessage(row(0x0000)));
}

// ---- Cutting of quadruples and the homing record.

TEST(Reader, CutsQuadruplesAtTheirBracketsAndSemicolons)
{
    struct Case {
        const char* value;
        std::array<std::int32_t, 4> expected;
    };
    const Case cases[] = {
        {"[1;2;3;4]", {1, 2, 3, 4}},    {"[1;2;3;4]xyz", {1, 2, 3, 4}}, {"1;2;3;4", {1, 2, 3, 0}},
        {"[]", {0, 0, 0, 0}},           {"[1; 2;\t3;  4]", {1, 2, 3, 4}}, {"[1;1;1;1", {1, 1, 1, 0}},
        {"x[1;2;3;4]", {1, 2, 3, 4}},   {"[;;;]", {0, 0, 0, 0}},        {"[-1;+2;3;4]", {-1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        ParameterSet set;
        set.parkposition = {9, 9, 9, 9};
        const Outcome out = read(set, std::string("040b=") + c.value);
        EXPECT_TRUE(out.result);
        EXPECT_TRUE(out.messages.empty());
        EXPECT_EQ(set.parkposition, c.expected);
    }
}

TEST(Reader, ReadsTheHomingRecordDirectionsFirstThenAxes)
{
    ParameterSet set;
    EXPECT_TRUE(read(set, "0304=[[0;1;2;0][3;2;1;0]]").result);
    EXPECT_EQ(set.Richtung, (std::array<std::int32_t, 4>{0, 1, 2, 0}));
    EXPECT_EQ(set.Reihenfolge, (std::array<std::int32_t, 4>{3, 2, 1, 0}));
    EXPECT_EQ(set.homingStep(0), (HomingStep{0, 3}));

    const Outcome replaced = read(set, "0304=[[1;1;0;0][2;7;0;3]]");
    EXPECT_TRUE(replaced.result);
    EXPECT_EQ(replaced.messages.size(), 1u);
    EXPECT_EQ(set.Reihenfolge, (std::array<std::int32_t, 4>{2, 1, 0, 3}));

    const Outcome direction = read(set, "0304=[[5;1;0;0][2;1;0;3]]");
    EXPECT_EQ(direction.messages, std::vector<std::string>{validationMessage(row(0x0304), 0)});
    EXPECT_EQ(set.Richtung[0], 1);
}

TEST(Reader, StopsWhenTheHomingOrderDoesNotNameEveryAxisOnce)
{
    for (const char* line : {"0304=[[1;1;0;0][2;2;0;3]]\n0100=1", "0304=[[1;1;0;0][3;3;3;3]]",
                             "0304=[[1;1;0;0][0;0;1;2]]", "0304=[]"}) {
        SCOPED_TRACE(line);
        ParameterSet set;
        const Outcome out = read(set, line);
        EXPECT_FALSE(out.result);
        ASSERT_FALSE(out.messages.empty());
        EXPECT_EQ(out.messages.back(), "Referenzfahrt -> Reihenfolge war ungültig.\n"
                                       "Jede Achse muss GENAU EIN MAL auftreten.\n"
                                       "Bitte beenden Sie das Programm und korigieren Sie den File");
        EXPECT_EQ(set.lineComments.count(0x0100), 0u);
    }
}

TEST(Reader, HomingOrderRule)
{
    EXPECT_TRUE(IsValidHomingOrder({2, 1, 0, 3}));
    EXPECT_TRUE(IsValidHomingOrder({0, 1, 2, 3}));
    EXPECT_FALSE(IsValidHomingOrder({0, 0, 1, 2}));
    EXPECT_FALSE(IsValidHomingOrder({3, 3, 3, 3}));
    EXPECT_FALSE(IsValidHomingOrder({-1, 1, 2, 3})); // a dialog column without a selection
    EXPECT_FALSE(IsValidHomingOrder({0, 1, 2, 8}));
    EXPECT_FALSE(IsValidHomingOrder({0, 1, 2, 4}));
}

} // namespace
} // namespace moravel
