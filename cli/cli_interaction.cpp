#include "cli/cli_interaction.h"

#include "cli/console.h"
#include "cli/stop_signal.h"

#include <cstdio>

namespace moravel::cli {

StderrInteraction::StderrInteraction() : m_terminal(stderrIsTerminal()) {}

void StderrInteraction::showMessage(std::string_view text)
{
    endBar();
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputs("\n\n", stderr);
    std::fflush(stderr);
}

void StderrInteraction::setStatusText(std::string_view text)
{
    endBar();
    m_started = false; // the next progress belongs to a new step
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputs("\n", stderr);
    std::fflush(stderr);
}

bool StderrInteraction::stopRequested() const { return stopSignal() != 0; }

void StderrInteraction::setProgressUnits(std::string_view unit, std::string_view plainLabel)
{
    m_unit = unit;
    m_plainLabel = plainLabel;
}

void StderrInteraction::reportProgress(std::int64_t done, std::int64_t total)
{
    if (total <= 0)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!m_started) {
        m_started = true;
        m_start = now;
    }
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    const int percent = static_cast<int>(done * 100 / total);
    if (!m_terminal) {
        if (!m_plainLabel.empty())
            std::fprintf(stderr, "%s: %lld / %lld %s (%d %%), %.1f s\n", m_plainLabel.c_str(),
                         static_cast<long long>(done), static_cast<long long>(total), m_unit.c_str(), percent, seconds);
        std::fflush(stderr);
        return;
    }
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(done * kWidth / total);
    const int whole = static_cast<int>(seconds);
    std::fprintf(stderr, "\r[%.*s%.*s] %3d %%  %lld / %lld %s  %d:%02d", filled, "##############################",
                 kWidth - filled, "..............................", percent, static_cast<long long>(done),
                 static_cast<long long>(total), m_unit.c_str(), whole / 60, whole % 60);
    m_barOpen = true;
    if (done >= total) {
        endBar();
        m_started = false;
    }
    std::fflush(stderr);
}

void StderrInteraction::endBar()
{
    if (m_barOpen)
        std::fputs("\n", stderr);
    m_barOpen = false;
}

FlashInteraction::FlashInteraction(bool assumeYes) : m_assumeYes(assumeYes) { setProgressUnits("bytes", "Firmware"); }

bool FlashInteraction::confirm(std::string_view text)
{
    endBar();
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    if (m_assumeYes) {
        std::fputs("\n", stderr);
        return stopSignal() == 0;
    }
    std::fprintf(stderr, "Press Enter when the bootloader is active (%s cancels). ", kCancelKeys);
    std::fflush(stderr);
    const bool confirmed = waitForEnter();
    std::fputs(confirmed ? "\n" : "\n\n", stderr);
    return confirmed;
}

} // namespace moravel::cli
