#include "tools/hx350_decode/record_json.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Each field lands under its own name: a record whose every field differs catches swapped fields.
TEST(RecordJson, EveryFieldInRecordOrder) {
    ReadingRecord r;
    r.kind = 3;
    r.thermoHygro = {4, 2, 1, 1.5, -2.5, 3};
    r.fineThermo = {5, 6, 7, 8.25, 9};
    r.quantity = {10, -1, 12, 13, 14.5, 15};
    r.scaled = {16, 17, 18, 19, -0.0, 20};
    r.code3 = {21, 22, 23, 24, 25.75, 65535};
    LineOutcome outcome;
    outcome.length = 999;
    outcome.result = 0;
    outcome.good = false;
    EXPECT_EQ(recordJson(outcome, r),
              "{\"n\":999,\"result\":0,\"good\":false,\"kind\":3,"
              "\"thermoHygro\":{\"calibrationError\":4,\"temperatureError\":2,\"humidityError\":1,"
              "\"humidity\":1.5,\"temperature\":-2.5,\"serialNumber\":3},"
              "\"fineThermo\":{\"calibrationError\":5,\"temperatureError\":6,\"twoDecimals\":7,\"temperature\":8.25,"
              "\"serialNumber\":9},"
              "\"quantity\":{\"hundredths\":10,\"quantityIndex\":-1,\"statusBit2\":12,\"statusBit1\":13,"
              "\"value\":14.5,\"serialNumber\":15},"
              "\"scaled\":{\"statusBit0\":16,\"milliScale\":17,\"statusBit2\":18,\"statusBit3\":19,\"value\":-0,"
              "\"serialNumber\":20},"
              "\"code3\":{\"wholeUnits\":21,\"statusBit2\":22,\"statusBit1\":23,\"statusBit0\":24,\"value\":25.75,"
              "\"serialNumber\":65535}}");
}

TEST(RecordJson, DoublesUseSeventeenSignificantDigits) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0.0, "0"},
        {-0.0, "-0"},
        {150.0, "150"},
        {-5.2000000000000002, "-5.2000000000000002"},
        {23.450000000000003, "23.450000000000003"},
        {0.0007000000000000001, "0.0007000000000000001"},
        {7e-05, "6.9999999999999994e-05"},
        {-4799952.0, "-4799952"},
        {1e17, "1e+17"},
    };
    for (const Case& c : cases) {
        ReadingRecord r;
        r.code3.value = c.value;
        const std::string json = recordJson(LineOutcome{}, r);
        const std::string expected = std::string("\"statusBit0\":0,\"value\":") + c.text + ",";
        EXPECT_NE(json.find(expected), std::string::npos) << c.text << " in " << json;
    }
}

} // namespace
