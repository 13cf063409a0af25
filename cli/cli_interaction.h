#pragma once
// The ways moravel-cli shows the program's messages.

#include "params/user_interaction.h"

#include <cstdio>
#include <string>
#include <vector>

namespace moravel::cli {

// Prints each message to stderr followed by a blank line, so that messages with inner line
// breaks stay apart.
class StderrInteraction : public UserInteraction {
public:
    void showMessage(std::string_view text) override
    {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fputs("\n\n", stderr);
        std::fflush(stderr);
    }
};

// Keeps the messages in order, for output as JSON.
class CollectingInteraction : public UserInteraction {
public:
    void showMessage(std::string_view text) override { m_messages.emplace_back(text); }
    const std::vector<std::string>& messages() const { return m_messages; }

private:
    std::vector<std::string> m_messages;
};

} // namespace moravel::cli
