#pragma once
// The standard checks of dialog fields and their German messages.
//
// Every dialog of the program (the six parameter dialogs and "Com Port Settings") checks its
// fields with these functions when OK is pressed, in the dialog's exchange order; the first
// field that fails shows its message and gets the focus. GUI-free, so that the rules can be
// tested and used without widgets. Texts are UTF-8; numbers in messages use a point.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace moravel {

// The outcome of a field check: the value, or the message to show.
template <typename T>
struct FieldCheck {
    std::optional<T> value;
    std::string message; // empty when value is set
    bool ok() const { return value.has_value(); }
};

// An integer field: optional blanks around an optional sign and decimal digits, nothing
// else; then the range [min, max], bounds included. A well-formed integer of any size outside
// the range gets the range message.
FieldCheck<std::int32_t> checkIntegerField(std::string_view text, std::int64_t min, std::int64_t max);

// An unsigned field (digits only, as in the baud-rate field), range [min, max].
FieldCheck<std::uint32_t> checkUnsignedField(std::string_view text, std::uint32_t min, std::uint32_t max);

// A number field: optional blanks around a decimal number with "." as decimal separator and
// an optional exponent (no comma, no hexadecimal, no inf or nan); then the range check,
// made in single precision: float(value) must lie in [float(min), float(max)]. A well-formed
// number too large for a float gets the range message.
FieldCheck<float> checkFloatField(std::string_view text, double min, double max);

// A text field or combo box of at most maxChars characters (counted as the user sees them).
FieldCheck<std::string> checkTextLength(std::string_view utf8Text, std::size_t maxChars);

// A text the program keeps as code page 1252 bytes (the controller name, combo texts): first
// checkTextLength, then every character must be one that code page 1252 holds. The value is
// the UTF-8 text unchanged.
FieldCheck<std::string> checkCp1252Text(std::string_view utf8Text, std::size_t maxChars);

// The messages themselves.
std::string integerExpectedMessage(); // not an integer
std::string numberExpectedMessage();  // not a number
std::string integerRangeMessage(std::int64_t min, std::int64_t max);
std::string numberRangeMessage(double min, double max);
std::string tooManyCharactersMessage(std::size_t maxChars);
std::string unsupportedCharactersMessage(std::string_view utf8Characters); // names each once

// A float as a dialog shows it: the shortest form with at most 6 significant digits and a
// point ("0.5", "2.5", "100", "1e+30").
std::string formatDialogFloat(float value);

} // namespace moravel
