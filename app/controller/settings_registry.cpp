// The connection settings in the Windows registry without Qt (moravel-cli.exe): the key
// HKEY_CURRENT_USER\Software\korvex-travo\MoravelSDI\COMSettings, read and written in the
// forms QSettings uses there, so that the program's window (which keeps them through
// QSettings) and moravel-cli.exe share them: numbers as REG_DWORD, strings as REG_SZ whose
// leading '@' is doubled. A number stored as text counts as QSettings would convert it.

#include "app/controller/settings_store.h"

#include "app/controller/moravel_app.h"

#include "params/cp1252.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <optional>
#include <string>
#include <vector>

namespace moravel {
namespace {

std::wstring settingsKey()
{
    const std::string key = std::string("Software\\") + kSettingsOrganisation + "\\" + kSettingsApplication + "\\" +
                            kSettingsGroup;
    return std::wstring(key.begin(), key.end()); // ASCII
}

std::string narrow(const std::wstring& wide)
{
    if (wide.empty())
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
    return text;
}

std::wstring widen(const std::string& text)
{
    if (text.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

// One stored value: a number (REG_DWORD, REG_QWORD) or a text (REG_SZ, REG_EXPAND_SZ, as
// UTF-8); nothing when it is missing or of another type.
struct StoredValue {
    std::optional<std::int64_t> number;
    std::optional<std::string> text;
};

StoredValue readValue(HKEY key, const wchar_t* name)
{
    StoredValue value;
    DWORD type = 0;
    DWORD size = 0;
    if (key == nullptr || ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return value;
    std::vector<BYTE> data(size + sizeof(wchar_t));
    if (::RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return value;
    if (type == REG_DWORD && size >= sizeof(std::uint32_t)) {
        std::int32_t n = 0;
        std::memcpy(&n, data.data(), sizeof n);
        value.number = n;
    } else if (type == REG_QWORD && size >= sizeof(std::uint64_t)) {
        std::int64_t n = 0;
        std::memcpy(&n, data.data(), sizeof n);
        value.number = n;
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
        // Up to the first NUL, as QSettings reads a string value.
        std::wstring wide(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
        wide = wide.substr(0, wide.find(L'\0'));
        std::string text = narrow(wide);
        // QSettings' own marks: "@@" is a leading '@', "@Invalid()" no value, "@String(...)"
        // and "@ByteArray(...)" their content.
        if (text.starts_with("@@")) {
            text.erase(0, 1);
        } else if (text == "@Invalid()") {
            return value;
        } else if (text.ends_with(")")) {
            for (const std::string_view mark : {"@String(", "@ByteArray("})
                if (text.starts_with(mark)) {
                    text = text.substr(mark.size(), text.size() - mark.size() - 1);
                    break;
                }
        }
        value.text = std::move(text);
    }
    return value;
}

// A text as QString::toInt/toUInt read it: blanks around, an optional sign, decimal digits,
// within the type's range.
template <typename T>
std::optional<T> numberInText(std::string_view text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || (negative && !std::is_signed_v<T>))
        return std::nullopt;
    std::int64_t magnitude = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > std::int64_t{std::numeric_limits<std::uint32_t>::max()} + 1)
            return std::nullopt;
    }
    const std::int64_t n = negative ? -magnitude : magnitude;
    if (n < std::int64_t{std::numeric_limits<T>::min()} || n > std::int64_t{std::numeric_limits<T>::max()})
        return std::nullopt;
    return static_cast<T>(n);
}

template <typename T>
T storedNumber(HKEY key, const wchar_t* name, T fallback)
{
    const StoredValue value = readValue(key, name);
    if (value.number)
        return static_cast<T>(*value.number); // a 32-bit value as it is, as QVariant converts it
    if (value.text)
        return numberInText<T>(*value.text).value_or(fallback);
    return fallback;
}

std::string storedBytes(HKEY key, const wchar_t* name, std::string_view fallback)
{
    const StoredValue value = readValue(key, name);
    if (value.text)
        return utf8ToCp1252(*value.text).bytes;
    if (value.number)
        return std::to_string(*value.number);
    return std::string(fallback);
}

bool writeNumber(HKEY key, const wchar_t* name, std::uint32_t n)
{
    return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), sizeof n) == ERROR_SUCCESS;
}

bool writeText(HKEY key, const wchar_t* name, std::string_view bytes)
{
    std::string text = cp1252ToUtf8(bytes);
    if (text.starts_with('@'))
        text.insert(0, 1, '@');
    const std::wstring wide = widen(text);
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                            static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

} // namespace

std::string settingsFilePath()
{
    return std::string("HKEY_CURRENT_USER\\Software\\") + kSettingsOrganisation + "\\" + kSettingsApplication;
}

ComPortChoice readStoredSettings()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, settingsKey().c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        key = nullptr;
    ComPortChoice stored;
    stored.connectionMode = storedNumber(key, L"Connection", kDefaultConnectionMode);
    stored.portName = storedBytes(key, L"DeviceName", kDefaultPortName);
    stored.controllerName = storedBytes(key, L"Controller", kDefaultControllerName);
    stored.baudRate = storedNumber(key, L"BaudeRate", kDefaultBaudRate);
    if (key != nullptr)
        ::RegCloseKey(key);
    return stored;
}

bool writeStoredSettings(const ComPortChoice& values)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, settingsKey().c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return false;
    const bool written = writeNumber(key, L"Connection", static_cast<std::uint32_t>(values.connectionMode)) &&
                         writeText(key, L"DeviceName", values.portName) &&
                         writeText(key, L"Controller", values.controllerName) &&
                         writeNumber(key, L"BaudeRate", values.baudRate);
    ::RegCloseKey(key);
    return written;
}

} // namespace moravel
