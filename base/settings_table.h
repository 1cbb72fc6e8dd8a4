#pragma once

#include "base/cp1250.h"
#include "base/number_format.h"
#include "base/settings_store.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

// The keys of a settings file as one table: each entry names its section and key, where its value lives in the
// program's settings struct and how its text reads and is written (its codec). The struct's own initial values are
// the defaults that absent keys take, so a default is written once. A feature adds its settings by adding entries.

// Codecs: `Value` is what the setting holds; read() takes the key's text as the store gives it (up to a comment)
// and the default, for a text that says nothing; write() gives the text the file keeps, `stored` being the text
// the file has (null when the key is absent).

// A number of the program's own keys: decimal, read as far as its digits go (none: 0), wrapped to 32 bits.
struct IntCodec {
    using Value = int;
    static Value read(const std::string& text, Value) { return settingsToInt(text); }
    static std::string write(Value value, const std::string*) { return std::to_string(value); }
};

struct UIntCodec {
    using Value = std::uint32_t;
    static Value read(const std::string& text, Value) { return static_cast<Value>(settingsToInt(text)); }
    static std::string write(Value value, const std::string*) { return std::to_string(value); }
};

// A one-byte number (a font's italic flag): the low 8 bits of what is read, so 257 reads as 1.
struct ByteCodec {
    using Value = std::uint8_t;
    static Value read(const std::string& text, Value) {
        return static_cast<Value>(static_cast<std::uint32_t>(settingsToInt(text)) & 0xFFu);
    }
    static std::string write(Value value, const std::string*) { return std::to_string(value); }
};

// A switch: any number but 0 is on; written as 1 or 0.
struct SwitchCodec {
    using Value = bool;
    static Value read(const std::string& text, Value) { return settingsToInt(text) != 0; }
    static std::string write(Value value, const std::string*) { return value ? "1" : "0"; }
};

// A switch whose file keeps the number it holds while it means the same (a file may say 4 for on), so a file whose
// switch nobody changed is written back as it was.
struct KeptSwitchCodec {
    using Value = bool;
    static Value read(const std::string& text, Value) { return settingsToInt(text) != 0; }
    static std::string write(Value value, const std::string* stored) {
        if (stored && (settingsToInt(*stored) != 0) == value)
            return std::to_string(settingsToInt(*stored));
        return value ? "1" : "0";
    }
};

// Text up to a zero byte, which would end it for the system anyway; at most MaxLength bytes when that is not 0.
template <std::size_t MaxLength> struct TextCodec {
    using Value = std::string;
    static Value read(const std::string& text, const Value&) {
        std::string value = text.substr(0, text.find('\0'));
        if (MaxLength != 0 && value.size() > MaxLength)
            value.resize(MaxLength);
        return value;
    }
    static std::string write(const Value& value, const std::string*) { return value; }
};

// Text the program holds in UTF-8 (a host or user name), which the file keeps as its Windows-1250 bytes; at most
// MaxLength bytes of UTF-8, never cut inside a character.
template <std::size_t MaxLength> struct Utf8TextCodec {
    using Value = std::string;
    static Value read(const std::string& text, const Value&) {
        std::string value = cp1250ToUtf8(text.substr(0, text.find('\0')));
        cutUtf8(value, MaxLength);
        return value;
    }
    static std::string write(const Value& value, const std::string*) { return utf8ToCp1250(value); }
};

// The codecs of keys that read leniently: a text that is not a number of the key's kind leaves the default, and a
// number beyond the key's bounds is brought to the nearest one.

struct LenientSwitchCodec {
    using Value = bool;
    static Value read(const std::string& text, Value fallback) {
        const std::optional<std::int64_t> number = parseWholeNumber(text);
        return number ? *number != 0 : fallback;
    }
    static std::string write(Value value, const std::string*) { return value ? "1" : "0"; }
};

// Any 32-bit number, a negative one wrapped as the store's own look-up does.
struct LenientUIntCodec {
    using Value = std::uint32_t;
    static Value read(const std::string& text, Value fallback) {
        const std::optional<std::int64_t> number = parseWholeNumber(text);
        return number ? static_cast<Value>(*number) : fallback;
    }
    static std::string write(Value value, const std::string*) { return std::to_string(value); }
};

template <int Low, int High> struct BoundedIntCodec {
    using Value = int;
    static Value read(const std::string& text, Value fallback) {
        const std::optional<std::int64_t> number = parseWholeNumber(text);
        return number ? static_cast<Value>(std::clamp<std::int64_t>(*number, Low, High)) : fallback;
    }
    static std::string write(Value value, const std::string*) { return std::to_string(value); }
};

template <int Low, int High> struct BoundedTenthsCodec {
    using Value = int;
    static Value read(const std::string& text, Value fallback) {
        const std::optional<int> tenths = parseTenths(text);
        return tenths ? std::clamp(*tenths, Low, High) : fallback;
    }
    static std::string write(Value value, const std::string*) { return tenthsText(value); }
};

// Tenths or none: none is the default, so an unreadable or absurd number simply means none.
struct OptionalTenthsCodec {
    using Value = std::optional<int>;
    static Value read(const std::string& text, const Value&) { return parseTenths(text); }
    static std::string write(const Value& value, const std::string*) { return value ? tenthsText(*value) : ""; }
};

template <typename Settings> struct SettingEntry {
    const char* section;
    const char* key;
    // Reads the key's text into its holder; null (the key is absent) gives the holder its default.
    void (*read)(Settings& settings, const std::string* text);
    // The holder's value as the file keeps it.
    std::string (*text)(const Settings& settings, const std::string* stored);
    bool (*holdsDefault)(const Settings& settings);
    // Null for the keys written at every exit. A key of a feature beyond them names its group (one key, or a whole
    // section of them): the group is written once one of its keys is in the file or differs from its default, and
    // not at all before, so the file of a user who never sets it stays as it was.
    const char* optionalGroup = nullptr;
};

namespace settings_table {

// One step along a holder's path: a member pointer, or an index into an array.
template <auto Step, typename Holder> auto& step(Holder& holder) {
    if constexpr (std::is_integral_v<decltype(Step)>)
        return holder[Step];
    else
        return holder.*Step;
}

// The holder that a path of steps leads to.
template <auto First, auto... Rest, typename Settings> auto& holder(Settings& settings) {
    if constexpr (sizeof...(Rest) == 0)
        return step<First>(settings);
    else
        return holder<Rest...>(step<First>(settings));
}

template <typename Settings> const Settings& defaults() {
    static const Settings values{};
    return values;
}

} // namespace settings_table

// The entry of the setting at the end of `Path` in `Settings`: member pointers, and indexes into arrays.
template <typename Settings, typename Codec, auto... Path>
SettingEntry<Settings> settingEntry(const char* section, const char* key, const char* optionalGroup = nullptr) {
    using settings_table::defaults;
    using settings_table::holder;
    return {section,
            key,
            [](Settings& settings, const std::string* text) {
                const typename Codec::Value& fallback = holder<Path...>(defaults<Settings>());
                holder<Path...>(settings) = text ? Codec::read(*text, fallback) : fallback;
            },
            [](const Settings& settings, const std::string* stored) {
                return Codec::write(holder<Path...>(settings), stored);
            },
            [](const Settings& settings) {
                return Codec::write(holder<Path...>(settings), nullptr) ==
                       Codec::write(holder<Path...>(defaults<Settings>()), nullptr);
            },
            optionalGroup};
}

// Reads every entry in table order into `settings`.
template <typename Settings>
void loadSettingsTable(const CSettingsStore& store, const std::vector<SettingEntry<Settings>>& table,
                       Settings& settings) {
    for (const SettingEntry<Settings>& entry : table) {
        if (store.contains(entry.section, entry.key)) {
            const std::string text = store.getString(entry.section, entry.key, "");
            entry.read(settings, &text);
        } else {
            entry.read(settings, nullptr);
        }
    }
}

// Writes every entry in table order, the optional groups only as their rule says.
template <typename Settings>
void saveSettingsTable(CSettingsStore& store, const std::vector<SettingEntry<Settings>>& table,
                       const Settings& settings) {
    const auto groupWritten = [&](const std::string& group) {
        return std::any_of(table.begin(), table.end(), [&](const SettingEntry<Settings>& entry) {
            return entry.optionalGroup != nullptr && group == entry.optionalGroup &&
                   (store.contains(entry.section, entry.key) || !entry.holdsDefault(settings));
        });
    };
    for (const SettingEntry<Settings>& entry : table) {
        if (entry.optionalGroup != nullptr && !groupWritten(entry.optionalGroup))
            continue;
        if (store.contains(entry.section, entry.key)) {
            const std::string stored = store.getString(entry.section, entry.key, "");
            store.setString(entry.section, entry.key, entry.text(settings, &stored));
        } else {
            store.setString(entry.section, entry.key, entry.text(settings, nullptr));
        }
    }
}
