// Arbitrary records and port descriptions through every text the program shows or serves: status line, value
// display texts, DDE items, the port list and its entries. Memory safety and a few shape rules.

#include "app/status_text.h"
#include "dde/dde_items.h"
#include "display/value_text.h"
#include "serial/port_list.h"

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>

namespace {

// A broken invariant is a finding: libFuzzer keeps the input that caused it.
#define require(condition) ((condition) ? (void)0 : (std::fprintf(stderr, "broken: %s\n", #condition), std::abort()))

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    template <typename T> T take() {
        T value{};
        const std::size_t n = std::min(sizeof value, size_ - pos_);
        std::memcpy(&value, data_ + pos_, n);
        pos_ += n;
        return value;
    }
    std::string rest() { return std::string(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    ReadingRecord record = in.take<ReadingRecord>();
    const bool timer = in.take<std::uint8_t>() & 1;
    const int interval = in.take<int>();
    const int port = in.take<int>();
    const bool ddeFailed = in.take<std::uint8_t>() & 1;
    const StatusNotes notes{{timer, interval, FileProblem::None, FileProblem::None}, port, ddeFailed};
    const std::string status = composeStatusText(record, in.take<std::uint8_t>() & 1, notes);
    require(!status.empty() && status.back() == ' ');

    QuantityReading reading;
    reading.rawValue = in.take<double>();
    reading.noData = in.take<std::uint8_t>() & 1;
    reading.flagged = in.take<std::uint8_t>() & 1;
    reading.twoDecimalPlaces = in.take<std::uint8_t>() & 1;
    QuantityView view;
    view.sourceQuantity = in.take<int>();
    view.displayQuantity = in.take<int>();
    view.showUnits = in.take<std::uint8_t>() & 1;
    const std::string shown = displayText(reading, view);
    require(shown.size() < 400);
    for (int item = -1; item <= 3; ++item)
        require(formatDdeItem(item, reading, view).size() < 400);
    require(!truncateToTenth(reading.rawValue).empty());
    require(!ddeTopicName(in.take<int>() & 1, in.take<long>()).empty());

    PortTable table;
    const std::string text = in.rest();
    for (std::size_t i = 0; i < table.size() && i < text.size(); ++i)
        if (text[i] & 1)
            table[i] = text.substr(i, static_cast<unsigned char>(text[i]) % 40);
    const PortListText list = buildPortListText(table);
    const std::vector<std::string> entries = portEntriesFromListText(list.text);
    require(static_cast<int>(entries.size()) == list.count);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int port = portNumberFromEntry(entries[i]);
        require(port >= 1 && port <= 256 && findEntryForPort(entries, port) == static_cast<int>(i));
    }
    portEntriesFromListText(text);
    portNumberFromEntry(text);
    portNumberFromPortName(text, true, 256);
    return 0;
}
