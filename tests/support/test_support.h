#pragma once
// Helpers shared by the tests: a user interaction that records messages, temporary
// directories, whole-file access, text checks and the current folder for a scope.

#include "params/user_interaction.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace moravel::test {

// Records every message, then calls onMessage (when set).
class RecordingInteraction : public UserInteraction {
public:
    void showMessage(std::string_view text) override
    {
        messages.emplace_back(text);
        if (onMessage)
            onMessage();
    }
    std::vector<std::string> messages;
    std::function<void()> onMessage;
};

inline void writeFile(const std::string& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "moravel-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(std::string_view name) const { return (m_path / name).string(); }
    // Writes a file of the directory (or of dir) and returns its path.
    std::string write(std::string_view name, std::string_view bytes) const
    {
        return writeIn(m_path.string(), name, bytes);
    }
    static std::string writeIn(const std::string& dir, std::string_view name, std::string_view bytes)
    {
        const std::string path = (std::filesystem::path(dir) / name).string();
        writeFile(path, bytes);
        return path;
    }
    // How many entries the directory has (to see that no temporary file was left behind).
    long entries() const { return std::distance(std::filesystem::directory_iterator(m_path), {}); }

private:
    std::filesystem::path m_path;
};

// Whether text contains part, or begins with it; a failure shows both.
inline testing::AssertionResult contains(const std::string& text, const std::string& part)
{
    if (text.find(part) != std::string::npos)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
}
inline testing::AssertionResult startsWith(const std::string& text, const std::string& prefix)
{
    if (text.starts_with(prefix))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "\"" << prefix << "\" does not begin:\n" << text;
}

// The current folder changed for one scope.
class InFolder {
public:
    explicit InFolder(const std::filesystem::path& dir) : m_old(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~InFolder() { std::filesystem::current_path(m_old); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::filesystem::path m_old;
};

} // namespace moravel::test
