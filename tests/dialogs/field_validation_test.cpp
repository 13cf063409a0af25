// The standard field checks of the dialogs and the way a dialog shows a float.

#include "app/dialogs/field_validation.h"

#include <gtest/gtest.h>

#include <cmath>

namespace moravel {
namespace {

struct IntegerCase {
    const char* text;
    std::int64_t min, max;
    std::optional<std::int32_t> value;
    std::string message; // when value is empty
};

TEST(FieldValidation, IntegerFieldsTakeDecimalDigitsInTheirRangeBoundsIncluded)
{
    const std::string integer = "Bitte geben Sie eine ganze Zahl ein.";
    const IntegerCase cases[] = {
        {"-32767", -32767, 32767, -32767, {}},
        {"32767", -32767, 32767, 32767, {}},
        {"-32768", -32767, 32767, {}, "Bitte geben Sie eine ganze Zahl zwischen -32767 und 32767 ein."},
        {"32768", -32767, 32767, {}, "Bitte geben Sie eine ganze Zahl zwischen -32767 und 32767 ein."},
        {" +12 ", 0, 500, 12, {}},
        {"1", 0, 0, {}, "Bitte geben Sie eine ganze Zahl zwischen 0 und 0 ein."},
        {"99999999999999999999", 0, 65535, {}, "Bitte geben Sie eine ganze Zahl zwischen 0 und 65535 ein."},
        {"", 0, 500, {}, integer},
        {"1.0", 0, 500, {}, integer},
        {"12a", 0, 500, {}, integer},
        {"0x10", 0, 500, {}, integer},
        {"1 2", 0, 500, {}, integer},
    };
    for (const IntegerCase& c : cases) {
        const FieldCheck<std::int32_t> check = checkIntegerField(c.text, c.min, c.max);
        EXPECT_EQ(check.value, c.value) << c.text;
        EXPECT_EQ(check.message, c.message) << c.text;
    }
    // The baud-rate field takes digits only.
    EXPECT_EQ(checkUnsignedField("115200", 100000, 120000).value, 115200u);
    EXPECT_EQ(checkUnsignedField("+115200", 100000, 120000).message, integer);
    EXPECT_EQ(checkUnsignedField("99999999999999999999999", 100000, 120000).message,
              "Bitte geben Sie eine ganze Zahl zwischen 100000 und 120000 ein.");
}

TEST(FieldValidation, FloatFieldsTakeAPointNotACommaAndCheckTheRangeInSinglePrecision)
{
    const std::string range = "Bitte geben Sie eine Zahl zwischen 0.1 und 999 ein.";
    const std::string number = "Bitte geben Sie eine Zahl ein.";
    const struct {
        const char* text;
        std::optional<float> value;
        std::string message;
    } cases[] = {
        {"0.1", 0.1f, {}},
        {"999", 999.0f, {}},
        {"2.5", 2.5f, {}},
        {" .5 ", 0.5f, {}},
        {"1e2", 100.0f, {}},
        {"999.00001", 999.0f, {}}, // the same float as 999
        {"0.09", {}, range},
        {"999.5", {}, range},
        {"1e39", {}, range},
        {"2,5", {}, number},
        {"", {}, number},
        {"inf", {}, number},
        {"nan", {}, number},
    };
    for (const auto& c : cases) {
        const FieldCheck<float> check = checkFloatField(c.text, 0.1, 999);
        EXPECT_EQ(check.value, c.value) << c.text;
        EXPECT_EQ(check.message, c.message) << c.text;
    }
}

TEST(FieldValidation, TextsAreCountedInCharactersAndMustFitCodePage1252)
{
    EXPECT_TRUE(checkCp1252Text("nur Parameter übernehmen", 24).ok()); // 24 characters, 25 bytes
    EXPECT_EQ(checkCp1252Text("nur Parameter übernehmen!", 24).message,
              "Bitte geben Sie nicht mehr als 24 Zeichen ein.");
    EXPECT_TRUE(checkCp1252Text("Fräse €1", 16).ok());
    EXPECT_EQ(checkCp1252Text("Ωmega Ω ✓", 16).message,
              "Bitte geben Sie nur Zeichen des Zeichensatzes Windows-1252 (Westeuropäisch) ein.\n"
              "Nicht möglich: „Ω“ „✓“");
    EXPECT_NE(checkCp1252Text("\xC3", 16).message.find("„\xEF\xBF\xBD“"), std::string::npos);
}

TEST(FieldValidation, FloatsAreShownWithAtMostSixSignificantDigitsAndAPoint)
{
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {0.5f, "0.5"},         {2.5f, "2.5"},           {100.0f, "100"},        {0.1f, "0.1"},
        {999.0f, "999"},       {2.1234567f, "2.12346"}, {123456.7f, "123457"}, {1234567.0f, "1.23457e+06"},
        {0.00001f, "1e-05"},   {-32.75f, "-32.75"},     {0.0f, "0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatDialogFloat(c.value), c.text) << c.value;
    EXPECT_EQ(checkFloatField(formatDialogFloat(2.1234567f), 0.1, 999).value, 2.12346f);
}

} // namespace
} // namespace moravel
