// libFuzzer target for ParameterSet::ReadText.
//
// Besides crashes, sanitizer reports and hangs it checks that reader and writer agree on
// every text the reader accepts: the written text reads back without a message, and from
// then on writing and reading change nothing. (The first round may still change the text: a
// controller name cut to 16 characters can end in white space, which the next reading trims.)

#include "params/parameter_set.h"
#include "params/user_interaction.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

class CountingInteraction : public moravel::UserInteraction {
public:
    void showMessage(std::string_view) override { ++count; }
    int count = 0;
};

// Reads text into a fresh set; true when it was accepted without a message.
bool readsQuietly(const std::string& text, moravel::ParameterSet& set)
{
    CountingInteraction ui;
    return set.ReadText(text, ui) && ui.count == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    moravel::ParameterSet set;
    CountingInteraction ui;
    const std::string written = set.ReadText(std::string_view(reinterpret_cast<const char*>(data), size), ui)
                                    ? set.WriteText()
                                    : std::string();
    if (written.empty())
        return 0; // refused, or no key of the table: nothing to read back
    moravel::ParameterSet back, third;
    if (!readsQuietly(written, back))
        std::abort(); // a written file must read without any message
    const std::string again = back.WriteText();
    if (!readsQuietly(again, third) || third.WriteText() != again)
        std::abort(); // writing is a fixed point after one round trip
    return 0;
}
