#include "sim/parameter_store.h"

#include <algorithm>
#include <cstring>

namespace quorlink::sim {
namespace {

struct KeyInfo {
    std::uint16_t key;
    Shape shape;
};

constexpr std::array<KeyInfo, 38> kKeys = {{
    {0x0000, Shape::Long},       {0x0001, Shape::Float},     {0x0002, Shape::Float},     {0x0003, Shape::Long},
    {0x0100, Shape::Float},      {0x0101, Shape::Float},     {0x0102, Shape::Float},     {0x0103, Shape::Float},
    {0x0104, Shape::Float},      {0x0105, Shape::Float},     {0x0106, Shape::Float},     {0x0107, Shape::Long},
    {0x0200, Shape::Long},       {0x0201, Shape::Long},      {0x0202, Shape::Long},      {0x0203, Shape::Long},
    {0x0304, Shape::EightBytes}, {0x0400, Shape::Float},     {0x0401, Shape::Float},     {0x0402, Shape::Float},
    {0x0403, Shape::Float},      {0x0404, Shape::Long},      {0x0405, Shape::Long},      {0x0406, Shape::Long},
    {0x0407, Shape::Long},       {0x0408, Shape::FourLongs}, {0x0409, Shape::FourLongs}, {0x040A, Shape::FourLongs},
    {0x040B, Shape::FourLongs},  {0x040C, Shape::FourLongs}, {0x040D, Shape::FourBytes}, {0x0500, Shape::Long},
    {0x0501, Shape::Long},       {0x0502, Shape::Long},      {0x0503, Shape::Long},      {0x0504, Shape::Long},
    {0x0505, Shape::Name},       {0x0506, Shape::Long},
}};

constexpr std::array<std::uint16_t, 38> kKeyNumbers = [] {
    std::array<std::uint16_t, 38> numbers{};
    for (std::size_t i = 0; i < kKeys.size(); ++i)
        numbers[i] = kKeys[i].key;
    return numbers;
}();

std::optional<std::size_t> indexOf(std::uint16_t key)
{
    const auto it = std::lower_bound(kKeyNumbers.begin(), kKeyNumbers.end(), key);
    if (it == kKeyNumbers.end() || *it != key)
        return std::nullopt;
    return static_cast<std::size_t>(it - kKeyNumbers.begin());
}

std::size_t checkedIndex(std::uint16_t key)
{
    const auto index = indexOf(key);
    return index ? *index : 0;
}

void putWord(ValueArea& area, int at, std::uint32_t word)
{
    for (int i = 0; i < 4; ++i)
        area[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(word >> (8 * i));
}

std::uint32_t getWord(const ValueArea& area, int at)
{
    std::uint32_t word = 0;
    for (int i = 0; i < 4; ++i)
        word |= static_cast<std::uint32_t>(area[static_cast<std::size_t>(at + i)]) << (8 * i);
    return word;
}

ValueArea longArea(std::int32_t v)
{
    ValueArea area{};
    putWord(area, 0, static_cast<std::uint32_t>(v));
    return area;
}

ValueArea floatArea(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    ValueArea area{};
    putWord(area, 0, bits);
    return area;
}

ValueArea fourLongsArea(const std::array<std::int32_t, 4>& v)
{
    ValueArea area{};
    for (int i = 0; i < 4; ++i)
        putWord(area, 4 * i, static_cast<std::uint32_t>(v[static_cast<std::size_t>(i)]));
    return area;
}

ValueArea nameArea(const std::string& name)
{
    ValueArea area;
    area.fill(' ');
    std::memcpy(area.data(), name.data(), std::min(name.size(), area.size()));
    return area;
}

} // namespace

int valueBytes(Shape shape)
{
    switch (shape) {
    case Shape::Long:
    case Shape::Float:
    case Shape::FourBytes:
        return 4;
    case Shape::EightBytes:
        return 8;
    case Shape::FourLongs:
    case Shape::Name:
        return 16;
    }
    return 16;
}

ParameterStore::ParameterStore(const std::string& name) : m_factoryName(name)
{
    const auto put = [this](std::uint16_t key, const ValueArea& area) { m_values[checkedIndex(key)] = area; };
    put(0x0000, longArea(400));
    put(0x0001, floatArea(0.5f));
    put(0x0002, floatArea(10.0f));
    put(0x0003, longArea(10));
    for (std::uint16_t key : {0x0100, 0x0103, 0x0106})
        put(key, floatArea(0.5f));
    put(0x0101, floatArea(4.0f));
    put(0x0102, floatArea(10.0f));
    put(0x0104, floatArea(2.5f));
    put(0x0105, floatArea(2.5f));
    put(0x0107, longArea(4));
    for (std::uint16_t key = 0x0200; key <= 0x0203; ++key)
        put(key, longArea(3));
    // Homing: directions 1, 1, 0, 0 for steps 1-4, axes Z, Y, X, C.
    put(0x0304, ValueArea{1, 1, 0, 0, 2, 1, 0, 3});
    for (std::uint16_t key = 0x0400; key <= 0x0403; ++key)
        put(key, floatArea(100.0f));
    for (std::uint16_t key = 0x0404; key <= 0x0407; ++key)
        put(key, longArea(0));
    put(0x040A, fourLongsArea({100, 100, 50, 50}));
    put(0x0500, longArea(4));
    put(0x0501, longArea(1));
    put(0x0504, longArea(1));
    put(kNameKey, nameArea(name));
}

void ParameterStore::resetToFactory()
{
    const ParameterStore factory(m_factoryName);
    std::lock_guard lock(m_mutex);
    m_values = factory.m_values;
}

std::array<ValueArea, 38> ParameterStore::values() const
{
    std::lock_guard lock(m_mutex);
    return m_values;
}

std::span<const std::uint16_t> ParameterStore::keys() { return kKeyNumbers; }

std::optional<Shape> ParameterStore::shapeOf(std::uint16_t key)
{
    const auto index = indexOf(key);
    if (!index)
        return std::nullopt;
    return kKeys[*index].shape;
}

std::optional<ValueArea> ParameterStore::get(std::uint16_t key) const
{
    const auto index = indexOf(key);
    if (!index)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    return m_values[*index];
}

std::optional<ValueArea> ParameterStore::set(std::uint16_t key, const ValueArea& area)
{
    const auto index = indexOf(key);
    if (!index)
        return std::nullopt;
    ValueArea stored{};
    std::copy_n(area.begin(), valueBytes(kKeys[*index].shape), stored.begin());
    std::lock_guard lock(m_mutex);
    m_values[*index] = stored;
    return stored;
}

std::int32_t ParameterStore::getLong(std::uint16_t key) const
{
    return static_cast<std::int32_t>(getWord(get(key).value_or(ValueArea{}), 0));
}

float ParameterStore::getFloat(std::uint16_t key) const
{
    const std::uint32_t bits = getWord(get(key).value_or(ValueArea{}), 0);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::array<std::int32_t, 4> ParameterStore::getFourLongs(std::uint16_t key) const
{
    const ValueArea area = get(key).value_or(ValueArea{});
    std::array<std::int32_t, 4> values{};
    for (int i = 0; i < 4; ++i)
        values[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(getWord(area, 4 * i));
    return values;
}

std::string ParameterStore::name() const
{
    const ValueArea area = get(kNameKey).value_or(ValueArea{});
    return std::string(area.begin(), area.end());
}

void ParameterStore::setLong(std::uint16_t key, std::int32_t value) { set(key, longArea(value)); }
void ParameterStore::setFloat(std::uint16_t key, float value) { set(key, floatArea(value)); }
void ParameterStore::setFourLongs(std::uint16_t key, const std::array<std::int32_t, 4>& values)
{
    set(key, fourLongsArea(values));
}

void ParameterStore::setBytes(std::uint16_t key, std::span<const std::uint8_t> bytes)
{
    ValueArea area{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), area.size()), area.begin());
    set(key, area);
}

void ParameterStore::setName(const std::string& name) { set(kNameKey, nameArea(name)); }

} // namespace quorlink::sim
