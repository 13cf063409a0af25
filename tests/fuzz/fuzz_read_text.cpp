// libFuzzer target for ParameterSet::ReadText.
//
// Besides finding crashes, sanitizer reports and hangs, it checks the agreement of reader and
// writer on every text the reader accepts: the written text reads back without a message,
// and from then on writing and reading change nothing. (The first round may still change
// the text: a controller name cut to 16 characters can end in white space, which the next
// reading trims.)

#include "params/parameter_set.h"
#include "params/user_interaction.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class CountingInteraction : public moravel::UserInteraction {
public:
    void showMessage(std::string_view text) override
    {
        if (text.empty())
            std::abort(); // every message has a text
        ++count;
    }
    int count = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    moravel::ParameterSet set;
    CountingInteraction ui;
    if (!set.ReadText(text, ui))
        return 0;

    const std::string written = set.WriteText();
    moravel::ParameterSet back;
    CountingInteraction quiet;
    const bool accepted = back.ReadText(written, quiet);
    if (written.empty() ? accepted : !accepted)
        std::abort(); // only an empty text (no key of the table) may be refused
    if (quiet.count != 0)
        std::abort(); // a written file must read without any message

    const std::string again = back.WriteText();
    moravel::ParameterSet third;
    if (!again.empty() && (!third.ReadText(again, quiet) || quiet.count != 0 || third.WriteText() != again))
        std::abort(); // writing is a fixed point after one round trip
    return 0;
}
