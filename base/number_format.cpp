#include "base/number_format.h"

#include "base/ascii_text.h"

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Just enough of an unsigned big integer (little-endian 32-bit limbs) to scale a double's mantissa exactly.
// A double stays below 2^1024 and at most 1074 decimals matter, so the numbers stay within a few thousand bits.
class BigUnsigned {
public:
    explicit BigUnsigned(std::uint64_t v) {
        while (v != 0) {
            limbs_.push_back(static_cast<std::uint32_t>(v));
            v >>= 32;
        }
    }

    void multiplyBy(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (auto& limb : limbs_) {
            const std::uint64_t product = static_cast<std::uint64_t>(limb) * factor + carry;
            limb = static_cast<std::uint32_t>(product);
            carry = product >> 32;
        }
        if (carry != 0)
            limbs_.push_back(static_cast<std::uint32_t>(carry));
    }

    void shiftLeft(unsigned bits) {
        if (limbs_.empty())
            return;
        const unsigned whole = bits / 32;
        const unsigned part = bits % 32;
        if (part != 0) {
            std::uint32_t carry = 0;
            for (auto& limb : limbs_) {
                const std::uint32_t next = limb >> (32 - part);
                limb = (limb << part) | carry;
                carry = next;
            }
            if (carry != 0)
                limbs_.push_back(carry);
        }
        limbs_.insert(limbs_.begin(), whole, 0u);
    }

    void shiftRight(unsigned bits) {
        const unsigned whole = bits / 32;
        const unsigned part = bits % 32;
        if (whole >= limbs_.size()) {
            limbs_.clear();
            return;
        }
        limbs_.erase(limbs_.begin(), limbs_.begin() + whole);
        if (part != 0) {
            for (std::size_t i = 0; i < limbs_.size(); ++i) {
                const std::uint32_t high = i + 1 < limbs_.size() ? limbs_[i + 1] << (32 - part) : 0u;
                limbs_[i] = (limbs_[i] >> part) | high;
            }
        }
        trim();
    }

    bool bit(unsigned index) const {
        const unsigned limb = index / 32;
        return limb < limbs_.size() && ((limbs_[limb] >> (index % 32)) & 1u) != 0;
    }

    void increment() {
        for (auto& limb : limbs_) {
            if (++limb != 0)
                return;
        }
        limbs_.push_back(1);
    }

    // Decimal digits, most significant first; "0" for zero.
    std::string toDecimal() const {
        std::vector<std::uint32_t> rest = limbs_;
        std::string reversed;
        while (!rest.empty()) {
            std::uint64_t remainder = 0;
            for (std::size_t i = rest.size(); i-- > 0;) {
                const std::uint64_t current = (remainder << 32) | rest[i];
                rest[i] = static_cast<std::uint32_t>(current / 1000000000u);
                remainder = current % 1000000000u;
            }
            while (!rest.empty() && rest.back() == 0)
                rest.pop_back();
            for (int i = 0; i < 9; ++i) {
                reversed.push_back(static_cast<char>('0' + remainder % 10));
                remainder /= 10;
                if (rest.empty() && remainder == 0)
                    break;
            }
        }
        if (reversed.empty())
            return "0";
        return std::string(reversed.rbegin(), reversed.rend());
    }

private:
    void trim() {
        while (!limbs_.empty() && limbs_.back() == 0)
            limbs_.pop_back();
    }

    std::vector<std::uint32_t> limbs_;
};

// The smallest subnormal is 2^-1074, so no double has a non-zero digit past the 1074th decimal.
constexpr int kExactDecimals = 1074;

} // namespace

// The digits are computed from the exact binary value instead of with printf: C runtimes disagree on halves
// (glibc rounds them to even, Microsoft's runtimes differ between versions), and the texts in files and DDE data
// must be the same bytes everywhere. |value| = mantissa * 2^exponent exactly, so
// round(|value| * 10^decimals) is an integer shift of mantissa * 10^decimals, rounded up when the first bit
// shifted out is set (that is, half away from zero).
std::string formatFixed(double value, int decimals) {
    if (std::isnan(value))
        return "nan";
    const bool negative = std::signbit(value);
    if (std::isinf(value))
        return negative ? "-inf" : "inf";
    if (decimals < 0)
        decimals = 0;
    const int trailingZeros = decimals > kExactDecimals ? decimals - kExactDecimals : 0;
    decimals -= trailingZeros;

    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const int biasedExponent = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    int exponent = 0;
    if (biasedExponent == 0) {
        exponent = -1074; // subnormal or zero
    } else {
        mantissa |= std::uint64_t{1} << 52;
        exponent = biasedExponent - 1075;
    }

    BigUnsigned scaled(mantissa);
    for (int i = 0; i < decimals; ++i)
        scaled.multiplyBy(10);
    if (exponent >= 0) {
        scaled.shiftLeft(static_cast<unsigned>(exponent));
    } else {
        const unsigned dropped = static_cast<unsigned>(-exponent);
        const bool roundUp = scaled.bit(dropped - 1);
        scaled.shiftRight(dropped);
        if (roundUp)
            scaled.increment();
    }

    std::string digits = scaled.toDecimal();
    const std::size_t wanted = static_cast<std::size_t>(decimals) + 1;
    if (digits.size() < wanted)
        digits.insert(0, wanted - digits.size(), '0');
    std::string text = negative ? "-" : "";
    text.append(digits, 0, digits.size() - static_cast<std::size_t>(decimals));
    if (decimals > 0) {
        text.push_back('.');
        text.append(digits, digits.size() - static_cast<std::size_t>(decimals), std::string::npos);
    }
    text.append(static_cast<std::size_t>(trailingZeros), '0');
    return text;
}

namespace {

// Far above every bound, yet far from overflowing when multiplied by ten once more.
constexpr std::int64_t kSaturation = 1000000000000000LL;

// Reads digits, saturating, from `text` at `i`; false when there is none.
bool readDigits(const std::string& text, std::size_t& i, std::int64_t& value) {
    const std::size_t first = i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(kSaturation, value * 10 + (text[i] - '0'));
    return i > first;
}

bool readSign(const std::string& text, std::size_t& i) {
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        return text[i++] == '-';
    return false;
}

} // namespace

std::optional<std::int64_t> parseWholeNumber(const std::string& raw) {
    // A value read from a settings file keeps the blank before a comment.
    const std::string text(trimBlanks(raw));
    std::size_t i = 0;
    const bool negative = readSign(text, i);
    std::int64_t value = 0;
    if (!readDigits(text, i, value) || i != text.size())
        return std::nullopt;
    return negative ? -value : value;
}

std::string takeWholeNumber(int& value, const std::string& typed, int low, int high, const std::string& refusal) {
    const auto number = parseWholeNumber(typed);
    if (!number || *number < low || *number > high)
        return refusal;
    value = static_cast<int>(*number);
    return {};
}

std::optional<int> parseTenths(const std::string& raw) {
    const std::string text(trimBlanks(raw));
    std::size_t i = 0;
    const bool negative = readSign(text, i);
    std::int64_t whole = 0;
    bool digits = readDigits(text, i, whole);
    std::int64_t tenths = whole * 10;
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        ++i;
        // Decided on the digits themselves, so that 0.25 rounds to 0.3 as written, not as a double holds it.
        std::size_t place = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++place) {
            digits = true;
            if (place == 0)
                tenths += text[i] - '0';
            else if (place == 1 && text[i] >= '5')
                tenths += 1;
        }
    }
    if (!digits || i != text.size() || tenths > kLargestTenths)
        return std::nullopt;
    return static_cast<int>(negative ? -tenths : tenths);
}

std::string tenthsText(int tenths) {
    const int magnitude = tenths < 0 ? -tenths : tenths;
    return (tenths < 0 ? "-" : "") + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
}
