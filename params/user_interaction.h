#pragma once
// How the GUI-free parts of the program talk to the user.
//
// The parameter reader, the document and the controller operations never show anything
// themselves; they call this interface. The Qt window, moravel-cli and the tests each
// provide their own implementation. All texts are UTF-8 (the program's own German strings).
//
// Calls come from the thread that runs the operation; an implementation that shows widgets
// must hand them over to its GUI thread and, for showMessage and confirm, wait there.

#include <cstdint>
#include <string_view>

namespace moravel {

class UserInteraction {
public:
    virtual ~UserInteraction() = default;

    // A modal message with an OK button; returns once the user has closed it.
    virtual void showMessage(std::string_view text) = 0;

    // Asks the user to do something at the machine and confirm it (OK).
    // Returns false when the user declined; the operation then ends without doing anything more.
    virtual bool confirm(std::string_view text)
    {
        showMessage(text);
        return true;
    }

    // The failure of one step of a multi-step operation (one key of a parameter sweep), as a
    // modal message. Returns false when the user chose to end the whole operation
    // ("Abbrechen"); the default shows the message and lets the operation go on.
    virtual bool showStepFailure(std::string_view text)
    {
        showMessage(text);
        return true;
    }

    // True once the user asked the running operation to stop (a signal to moravel-cli). Long
    // operations look between their steps (the keys of a sweep, the blocks of an upload)
    // and end there, leaving the controller in a defined state.
    virtual bool stopRequested() const { return false; }

    // The status-bar text; shown at once and kept until the next one.
    virtual void setStatusText(std::string_view /*text*/) {}

    // Busy indicator (the wait cursor); calls nest like begin/end pairs.
    virtual void setBusy(bool /*busy*/) {}

    // Progress of a long operation: done of total units (keys, bytes). total > 0.
    virtual void reportProgress(std::int64_t /*done*/, std::int64_t /*total*/) {}
};

// Keeps the busy indicator on for one scope, also when an exception passes.
class BusyScope {
public:
    explicit BusyScope(UserInteraction& ui) : m_ui(ui) { m_ui.setBusy(true); }
    ~BusyScope() { m_ui.setBusy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    UserInteraction& m_ui;
};

} // namespace moravel
