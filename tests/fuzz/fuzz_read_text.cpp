// libFuzzer target for ParameterSet::ReadText.
//
// Besides crashes, sanitizer reports and hangs it checks that reader and writer agree on
// every text the reader accepts: the written text reads back without a message, and from
// then on writing and reading change nothing. (The first round may still change the text: a
// controller name cut to 16 characters can end in white space, which the next reading trims.)

#include "params/parameter_set.h"
#include "tests/support/test_support.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Reads text into set; true when it was accepted without a message.
bool readsQuietly(std::string_view text, moravel::ParameterSet& set)
{
    moravel::test::RecordingInteraction ui;
    return set.ReadText(text, ui) && ui.messages.empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    moravel::ParameterSet set, back, third;
    moravel::test::RecordingInteraction ui;
    if (!set.ReadText(std::string_view(reinterpret_cast<const char*>(data), size), ui))
        return 0;
    const std::string written = set.WriteText();
    if (written.empty())
        return 0; // no key of the table: nothing to read back
    if (!readsQuietly(written, back))
        std::abort(); // a written file must read without any message
    const std::string again = back.WriteText();
    if (!readsQuietly(again, third) || third.WriteText() != again)
        std::abort(); // writing is a fixed point after one round trip
    return 0;
}
