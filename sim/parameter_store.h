#pragma once
// The simulated controller's parameters: the 38 keys that a host reads and changes, with
// the controller's factory values.

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorlink::sim {

// The 16-byte value area of a parameter request or reply (bytes 4..19).
using ValueArea = std::array<std::uint8_t, 16>;

// How a parameter's value lies in the value area.
enum class Shape {
    Long,       // bytes 0-3: signed 32-bit
    Float,      // bytes 0-3: IEEE-754 single precision
    FourLongs,  // bytes 0-15: X, Y, Z, C as signed 32-bit
    FourBytes,  // bytes 0-3: X, Y, Z, C
    EightBytes, // bytes 0-7: homing directions of steps 1-4, then their axes
    Name,       // bytes 0-15: the controller name, not terminated
};

// Number of value-area bytes a shape uses; the rest of the area is zero.
int valueBytes(Shape shape);

class ParameterStore {
public:
    static constexpr std::uint16_t kNameKey = 0x0505;

    // Factory values; name is the controller name (cut or blank-padded to 16 bytes).
    explicit ParameterStore(const std::string& name = "NC-Travo USB    ");

    // The exchangeable keys, ascending (group in the high byte, item in the low byte).
    static std::span<const std::uint16_t> keys();
    static std::optional<Shape> shapeOf(std::uint16_t key);

    // Every call is thread-safe.
    std::optional<ValueArea> get(std::uint16_t key) const;
    // Stores the bytes the key's shape uses (the rest becomes 0) and returns what is now
    // stored; nothing for a key the controller does not know.
    std::optional<ValueArea> set(std::uint16_t key, const ValueArea& area);

    std::int32_t getLong(std::uint16_t key) const;
    float getFloat(std::uint16_t key) const;
    std::array<std::int32_t, 4> getFourLongs(std::uint16_t key) const;
    std::string name() const; // the 16 name bytes

    void setLong(std::uint16_t key, std::int32_t value);
    void setFloat(std::uint16_t key, float value);
    void setFourLongs(std::uint16_t key, const std::array<std::int32_t, 4>& values);
    void setBytes(std::uint16_t key, std::span<const std::uint8_t> bytes);
    void setName(const std::string& name); // cut or blank-padded to 16 bytes

    // Every value at once, in keys() order.
    std::array<ValueArea, 38> values() const;

    // Every key back to its factory value, the name to the one the store was made with.
    void resetToFactory();

private:
    std::string m_factoryName;
    mutable std::mutex m_mutex;
    std::array<ValueArea, 38> m_values{};
};

} // namespace quorlink::sim
