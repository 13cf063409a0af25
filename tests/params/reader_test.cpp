// ParameterSet::ReadText: syntax errors, validation, cutting, duplicates, comments.

#include "params/parameter_set.h"
#include "params/parameter_table.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <iomanip>
#include <sstream>

namespace moravel {
namespace {

using Quad = std::array<std::int32_t, 4>;
using Comments = std::map<std::int32_t, std::string>;
using Messages = std::vector<std::string>;

struct Outcome {
    bool result;
    Messages messages;
};

Outcome read(ParameterSet& set, std::string_view text)
{
    test::RecordingInteraction ui;
    const bool result = set.ReadText(text, ui);
    return {result, ui.messages};
}

std::string syntax(std::string_view what, int line)
{
    return std::string(what) + ". Sieh NC-Travo_USB_Param.ncp, Zeile " + std::to_string(line) +
           ".\nBitte beenden Sie das Programm und korigieren Sie den File";
}

// Also a homing order that does not name every axis once stops the reading.
TEST(Reader, StopsAtFirstSyntaxErrorWithItsMessageAndLineNumber)
{
    const std::string order = "Referenzfahrt -> Reihenfolge war ungültig.\nJede Achse muss GENAU EIN MAL auftreten."
                              "\nBitte beenden Sie das Programm und korigieren Sie den File";
    const std::pair<const char*, std::string> cases[] = {
        {"0100 0.5", syntax("Kein '=' vorhanden", 1)},
        {"% Kopf\n\n \t \n0100 0.5\n0101=1\n", syntax("Kein '=' vorhanden", 4)},
        {"=5", syntax("Kein HB LB vorhanden", 1)},
        {"=", syntax("Kein HB LB vorhanden", 1)},
        {"0100=1\n0100=   % Text", syntax("Kein Wert vorhanden", 2)},
        {"01 00=1", syntax("Syntax Error in HB LB", 1)},
        {"01G0=1", syntax("Syntax Error in HB LB", 1)},
        {"0x=1", syntax("Syntax Error in HB LB", 1)},
        {"0100=0,5", syntax("Syntax Error im Wert", 1)},
        {"0000=12.5", syntax("Syntax Error im Wert", 1)},
        {"0000=0x10", syntax("Syntax Error im Wert", 1)},
        {"0408=[1 ;0;1;0]", syntax("Syntax Error im Wert", 1)},
        {"040b=[1;2;3;4;5]", syntax("Syntax Error im Wert", 1)},
        {"040b=[1; ;1;0]", syntax("Syntax Error im Wert", 1)},
        {"0304=[[1;1;0;0][2;1;0;x]]", syntax("Syntax Error im Wert", 1)},
        {"\r\n0100=1.5\r\n0101=abc\r\n0102=1\r\n", syntax("Syntax Error im Wert", 3)},
        {"0304=[[1;1;0;0][2;2;0;3]]\n0100=x", order},
        {"0304=[[1;1;0;0][3;3;3;3]]", order},
        {"0304=[]", order},
    };
    for (const auto& [text, message] : cases) {
        ParameterSet set;
        const Outcome out = read(set, text);
        EXPECT_FALSE(out.result) << text;
        EXPECT_EQ(out.messages, Messages{message}) << text;
    }
}

// An empty text is refused without a message and changes nothing; any other text changes only
// the keys it names (and the comments), also when a syntax error stops it.
TEST(Reader, ChangesOnlyTheKeysItReadsAlsoBeforeASyntaxError)
{
    ParameterSet set;
    set.lineComments[0x0100] = "% alt";
    set.eilgang = 77;
    set.controllerName = "alt";
    const Outcome empty = read(set, "");
    EXPECT_TRUE(!empty.result && empty.messages.empty());
    EXPECT_EQ(set.lineComments, (Comments{{0x0100, "% alt"}}));
    EXPECT_TRUE(read(set, "% Kopf\n\n \t\r\n   % nur Kommentar").result);
    EXPECT_TRUE(set.lineComments.empty());
    EXPECT_FALSE(read(set, "0100=1.5\n0101=abc % kaputt\n0102=20\n").result);
    EXPECT_FLOAT_EQ(set.startStopGeschwindigkeit, 1.5f);
    EXPECT_FLOAT_EQ(set.eilgang, 77);
    EXPECT_EQ(set.controllerName, "alt");
    EXPECT_EQ(set.lineComments, (Comments{{0x0100, ""}, {0x0101, "% kaputt"}}));
    // A bad key still gets the entry of the number read from its start.
    EXPECT_FALSE(read(set, "01 00=1 % c").result);
    EXPECT_EQ(set.lineComments, (Comments{{0x01, "% c"}}));
    // Inside a quadruple, the elements before the bad one are stored.
    set.parkposition = {9, 9, 9, 9};
    EXPECT_FALSE(read(set, "040b=[1;2;x;4]").result);
    EXPECT_EQ(set.parkposition, (Quad{1, 2, 9, 9}));
}

TEST(Reader, ReadsKeysLikeStrtolBase16KeepsCommentsOfKeysOutsideTheTableAndTheLastOccurrence)
{
    for (const char* text : {"0x0100=1.5", "100=1.5", "0100=+1.5e0", "0X100=1.5", "+100=1.5", " 0100 = 1.5 "}) {
        ParameterSet set;
        EXPECT_TRUE(read(set, text).result) << text;
        EXPECT_FLOAT_EQ(set.startStopGeschwindigkeit, 1.5f) << text;
    }
    ParameterSet set;
    const Outcome out = read(set, "0300=[]\n07ff=irgendwas % x\n-1=a\n10100=b\n100000000=c\n"
                                  "FFFFFFFFFF=d\n-FFFFFFFFFF=e\n0303=1\n040A=[1;2;3;4]\n040a=[5;6;7;8]");
    EXPECT_TRUE(out.result && out.messages.empty());
    EXPECT_EQ(set.verfahrbereichBis, (Quad{5, 6, 7, 8})); // the last occurrence wins
    // Numbers beyond the 32-bit range are clamped, as strtol with a 32-bit long does.
    EXPECT_EQ(set.lineComments, (Comments{{INT32_MIN, ""},
                                          {-1, ""},
                                          {0x0300, ""},
                                          {0x0303, ""},
                                          {0x040A, ""},
                                          {0x07FF, "% x"},
                                          {0x10100, ""},
                                          {INT32_MAX, ""}}));
}

TEST(Reader, TakesCommentsVerbatimWithCarriageReturnAndEightBitBytes)
{
    ParameterSet set;
    EXPECT_TRUE(read(set, "0102=10 % erste\n0102=20\n").result);
    EXPECT_EQ(set.lineComments, (Comments{{0x0102, ""}})); // the last line's comment, also an empty one
    EXPECT_TRUE(read(set, "0100=0.500000 % Startgeschwindigkeit\r\n0101=4\r\n0102=10%a%b  \r\n"
                          "0505=  Fr\xe4se \x80\xff =x  % K\xfchlung \x81\n0103=1.0")
                    .result);
    EXPECT_FLOAT_EQ(set.startStopGeschwindigkeit, 0.5f);
    EXPECT_FLOAT_EQ(set.manuellLangsam, 1); // last line without a line feed
    EXPECT_EQ(set.controllerName, "Fr\xe4se \x80\xff =x");
    EXPECT_EQ(set.lineComments, (Comments{{0x0100, "% Startgeschwindigkeit\r"},
                                          {0x0101, ""},
                                          {0x0102, "%a%b  \r"},
                                          {0x0103, ""},
                                          {0x0505, "% K\xfchlung \x81"}}));
}

// A line for p with every element at its default except target, which is value.
std::string lineWith(const ParameterInfo& p, std::size_t target, double value)
{
    char key[8];
    std::snprintf(key, sizeof key, "%04x=", p.key.value);
    const std::size_t n = p.elementCount;
    std::ostringstream s;
    s << std::setprecision(17) << key << (n == 4 ? "[" : n == 8 ? "[[" : "");
    for (std::size_t i = 0; i < n; ++i)
        s << (i == target ? value : p.element(i).defaultValue) << (i + 1 == n ? "" : i == 3 ? "][" : ";");
    s << (n == 4 ? "]" : n == 8 ? "]]" : "");
    return s.str();
}

// Every element is taken at both bounds of its range, and just beyond them it is replaced by
// its default with its message.
TEST(Reader, TakesEveryElementAtItsBoundsAndReplacesItByItsDefaultBeyond)
{
    for (const ParameterInfo& p : parameterTable())
        for (std::size_t i = 0; i < p.elementCount; ++i) {
            const ElementInfo& e = p.element(i);
            const double step = p.kind == ParameterKind::Float ? e.validMin / 10 : 1;
            for (const double v : {e.validMin, e.validMax, e.validMax + step, e.validMin - step}) {
                const bool valid = v >= e.validMin && v <= e.validMax;
                if (valid && p.kind == ParameterKind::HomingRecord && i >= 4)
                    continue; // a bound would name an axis twice
                const std::string line = lineWith(p, i, v);
                SCOPED_TRACE(line);
                ParameterSet set;
                const Outcome out = read(set, line);
                EXPECT_TRUE(out.result);
                EXPECT_EQ(out.messages, valid ? Messages{} : Messages{validationMessage(p, i)});
                for (std::size_t k = 0; k < p.elementCount; ++k) {
                    const double value = p.kind == ParameterKind::Float ? p.floatValue(set) : p.longValue(set, k);
                    EXPECT_EQ(value, static_cast<float>(k == i && valid ? v : p.element(k).defaultValue)) << k;
                }
            }
        }
}

TEST(Reader, ValidatesInDoublePrecisionWithExactMessagesInFileOrder)
{
    const auto msg = [](std::int32_t key, std::size_t element = 0) {
        return validationMessage(*findParameter(key), element);
    };
    const std::string tail = " initialisiert.\nBitte definieren Sie den Wert richtig im Dialog.";
    const std::pair<const char*, Messages> cases[] = {
        {"0000=65536", {"Motortest -> Weglänge war ungültig\nund ist mit DEFAULT Wert (400 Schritte)" + tail}},
        {"0003=0", {"Motortest -> Motortestbeschleunigung war ungültig\nund ist mit DEFAULT Wert (10 mm/s²)" + tail}},
        {"0103=0",
         {"Geschwindigkeiten -> 'Manuelles Fahren langsam' war ungültig\nund ist mit DEFAULT Wert (0.5 "
          "mm/s)" +
          tail}},
        {"040a=[100;100;32768;50]",
         {"Mechanik -> 'Verfahrbereich bis' Z war ungültig\nund ist mit DEFAULT Wert (50 mm)" + tail}},
        {"0201=0",
         {"Schnittstelle -> Zusatzsignal Kühlung war ungültig\nund ist mit 'deaktiv' initialisiert.\n"
          "Bitte definieren Sie den Signal richtig im Dialog."}},
        {"0500=5",
         {"Sonstige -> Werkzeugwechsel war ungültig und ist mit\nDEFAULT Wert (4-nur Parameter übernehmen)" + tail}},
        {"0505=ABCDEFGHIJKLMNOPQ",
         {"Achtung! Sonstige -> Controllername war länger als 16 char\n"
          "und ist auf genau 16 char gekürzt worden."}},
        {"0304=[[5;1;0;0][2;7;0;3]]", // an invalid axis is replaced first, the order checked afterwards
         {msg(0x0304, 0), "Referenzfahrt -> Reihenfolge[1] war ungültig\nund ist mit DEFAULT Wert (1=Y)" + tail}},
        {"0000=-5\n040b=[99999;0;0;-99999]\n0000=1\n0001=0",
         {msg(0x0000), msg(0x040B, 0), msg(0x040B, 3), msg(0x0001)}},
        {"0100=0.0099999999", {msg(0x0100)}}, // 0.01f as a float, but below 0.01
        {"0000=99999999999999999999", {msg(0x0000)}},
        {"0100=nan", {msg(0x0100)}},
        {"0100=1e400", {msg(0x0100)}},
        {"0100=0x1p-1", {}},
    };
    for (const auto& [text, messages] : cases) {
        ParameterSet set;
        const Outcome out = read(set, text);
        EXPECT_TRUE(out.result) << text;
        EXPECT_EQ(out.messages, messages) << text;
    }
}

TEST(Reader, StoresCutNamesAndHomingRecordsDirectionsFirst)
{
    ParameterSet set;
    read(set, "0505=ABCDEFGHIJKLMNOPQ\n0304=[[5;1;0;0][2;7;0;3]]");
    EXPECT_EQ(set.controllerName, "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(set.Richtung, (Quad{1, 1, 0, 0}));
    EXPECT_EQ(set.Reihenfolge, (Quad{2, 1, 0, 3}));
    EXPECT_TRUE(read(set, "0304=[[0;1;2;0][3;2;1;0]]").result);
    EXPECT_EQ(set.Richtung, (Quad{0, 1, 2, 0}));
    EXPECT_EQ(set.Reihenfolge, (Quad{3, 2, 1, 0}));
    EXPECT_EQ(set.homingStep(0), (HomingStep{0, 3}));
}

TEST(Reader, CutsQuadruplesAtTheirBracketsAndSemicolons)
{
    const std::pair<const char*, Quad> cases[] = {
        {"[1;2;3;4]", {1, 2, 3, 4}},  {"[1;2;3;4]xyz", {1, 2, 3, 4}},   {"1;2;3;4", {1, 2, 3, 0}},
        {"[]", {0, 0, 0, 0}},         {"[1; 2;\t3;  4]", {1, 2, 3, 4}}, {"[1;1;1;1", {1, 1, 1, 0}},
        {"x[1;2;3;4]", {1, 2, 3, 4}}, {"[;;;]", {0, 0, 0, 0}},          {"[-1;+2;3;4]", {-1, 2, 3, 4}},
    };
    for (const auto& [value, expected] : cases) {
        ParameterSet set;
        const Outcome out = read(set, std::string("040b=") + value);
        EXPECT_TRUE(out.result && out.messages.empty()) << value;
        EXPECT_EQ(set.parkposition, expected) << value;
    }
}

} // namespace
} // namespace moravel
