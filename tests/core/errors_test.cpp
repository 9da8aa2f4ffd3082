// SPDX-License-Identifier: BSD-3-Clause
// Result codes, their texts and exception classes, and the per-thread last error.
#include <corvid2_genicam.h>
#include <corvid2_genicam_c.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/last_error.h"
#include "core/result_codes.h"

using namespace corvid2;
namespace X = CORVID2::Exceptions;

namespace {

// Reads the calling thread's last error through the C interface, the way a C application would.
std::string lastErrorThroughC(CORVID2_RESULT* code = nullptr) {
    uint64_t size = 0;
    EXPECT_EQ(CORVID2_GetLastError(code, nullptr, &size), 0);
    std::string text(size, '\0');
    EXPECT_EQ(CORVID2_GetLastError(nullptr, text.data(), &size), 0);
    text.resize(size - 1);
    return text;
}

}  // namespace

TEST(ResultCodes, DescriptionsAndTheirReverseLookup) {
    EXPECT_STREQ(ErrorCodeDescription(0, false), "success");
    EXPECT_EQ(ErrorCodeDescription(0, true), nullptr);
    EXPECT_STREQ(ErrorCodeDescription(-1011, false), "timeout");
    EXPECT_STREQ(ErrorCodeDescription(-1007, false), "undefined error code");
    EXPECT_STREQ(ErrorCodeDescription(-1010, false), "undefined error code");
    EXPECT_STREQ(ErrorCodeDescription(42, false), "undefined error code");
    EXPECT_STREQ(ErrorCodeDescription(-1099, true), "low level error from GenTL producer");

    // Every code that has a text of its own finds itself again from that text.
    for (std::int32_t code : {-1002, -1003, -1004, -1005, -1006, -1008, -1009, -1012, -1013, -1014, -1098, -1099})
        EXPECT_EQ(ErrorCodeFromText(ErrorCodeDescription(code, false)), code) << code;
    EXPECT_EQ(ErrorCodeFromText("'ExposureTime' - value 7 is an invalid parameter here"), -1009);
    EXPECT_EQ(ErrorCodeFromText("timeout"), -1001);
    EXPECT_EQ(ErrorCodeFromText("not available and access denied"), -1005);
    EXPECT_EQ(ErrorCodeFromText(""), -1001);
    EXPECT_EQ(ErrorCodeFromText(nullptr), -1001);
}

TEST(ResultCodes, GenTLErrorNames) {
    EXPECT_EQ(GenTLErrorName(-1001), "GC_ERR_ERROR");
    EXPECT_EQ(GenTLErrorName(-1007), "GC_ERR_INVALID_ID");
    EXPECT_EQ(GenTLErrorName(-1015), "GC_ERR_INVALID_ADDRESS");
    EXPECT_EQ(GenTLErrorName(-1016).size(), 0);
    EXPECT_EQ(GenTLErrorName(0).size(), 0);
    EXPECT_EQ(GenTLErrorName(5).size(), 0);
    EXPECT_EQ(GenTLErrorName(-9999).size(), 0);
    EXPECT_EQ(GenTLErrorName(-10000), "GC_ERR_CUSTOM_ID -10000");
    EXPECT_EQ(GenTLErrorName(-10005), "GC_ERR_CUSTOM_ID -10005");
}

TEST(Exceptions, EachCodeThrowsItsClassCatchableFourWays) {
    struct Case {
        std::int32_t code;
        const char* type;
    };
    const Case cases[] = {
        {-1001, "ErrorException"},         {-1002, "NotInitializedException"},   {-1003, "NotImplementedException"},
        {-1004, "ResourceInUseException"}, {-1005, "AccessDeniedException"},     {-1006, "InvalidHandleException"},
        {-1008, "NoDataException"},        {-1009, "InvalidParameterException"}, {-1011, "ErrorException"},
        {-1012, "AbortException"},         {-1013, "InvalidBufferException"},    {-1014, "NotAvailableException"},
        {-1098, "ObjectInvalidException"}, {-1099, "LowLevelException"},         {-1234, "ErrorException"},
    };
    for (const Case& c : cases) {
        SetLastError(c.code, "Test", "Method", "failure %d", c.code);
        const std::string expected = "failure " + std::to_string(c.code);
        try {
            ThrowForCode(c.code, __FILE__, __LINE__, "CORVID2::Device::GetID");
            ADD_FAILURE() << "no exception for " << c.code;
        } catch (const X::IException& e) {
            EXPECT_EQ(e.GetType(), c.type) << c.code;
            EXPECT_EQ(e.GetFunctionName(), "CORVID2::Device::GetID");
            EXPECT_EQ(e.GetErrorDescription(), expected.c_str());
            EXPECT_EQ(e.GetErrorDescription(), lastErrorThroughC().c_str());
            EXPECT_NE(dynamic_cast<const Corvid_BaseException*>(&e), nullptr);
        }
    }
    EXPECT_NO_THROW(ThrowForCode(0, __FILE__, __LINE__, "CORVID2::Device::GetID"));

    SetLastError(-1009, "Node", "SetInt", "bad value");
    try {
        ThrowForCode(-1009, __FILE__, __LINE__, "CORVID2::Node::SetInt");
    } catch (const Corvid_InvalidParameterException& e) {
        EXPECT_EQ(e.GetType(), "InvalidParameterException");
    }
    try {
        ThrowForCode(-1009, __FILE__, __LINE__, "CORVID2::Node::SetInt");
    } catch (const X::InvalidParameterException& e) {
        EXPECT_EQ(e.GetErrorDescription(), "bad value");
    }
    try {
        ThrowForCode(-1009, __FILE__, __LINE__, "CORVID2::Node::SetInt");
    } catch (const Corvid_BaseException&) {
        SUCCEED();
    }
}

TEST(Exceptions, CopiesKeepAllTextsAndNullTextsBecomeEmpty) {
    Corvid_AbortException original("file.cpp", 12, "CORVID2::DataStream::GetFilledBuffer", "aborted");
    Corvid_AbortException copy(original);
    EXPECT_EQ(copy.GetFunctionName(), "CORVID2::DataStream::GetFilledBuffer");
    EXPECT_EQ(copy.GetErrorDescription(), "aborted");
    Corvid_AbortException assigned(nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(assigned.GetErrorDescription().size(), 0);
    EXPECT_EQ(assigned.GetFunctionName().size(), 0);
    assigned = original;
    EXPECT_EQ(assigned.GetErrorDescription(), "aborted");
    EXPECT_FALSE((std::is_base_of<std::exception, Corvid_AbortException>::value));
}

TEST(LastError, LongMessagesAreCutAndUnknownThreadsReadEmpty) {
    std::thread fresh([] {
        std::string text = "not touched";
        std::int32_t code = 5;
        GetLastErrorText(text, &code);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(text, "");
    });
    fresh.join();

    const std::string huge(5000, 'x');
    EXPECT_EQ(SetLastError(-1001, "Test", "Long", "%s", huge.c_str()), -1001);
    std::string text;
    GetLastErrorText(text);
    EXPECT_EQ(text.size(), kMaxLastErrorLength);

    SetLastError(-1009, "Test", "Null", nullptr);
    std::int32_t code = 0;
    GetLastErrorText(text, &code);
    EXPECT_EQ(code, -1009);
    EXPECT_EQ(text, "");

    SetLastErrorText(-1013, "as it stands %d");
    GetLastErrorText(text, &code);
    EXPECT_EQ(code, -1013);
    EXPECT_EQ(text, "as it stands %d");
}

TEST(LastError, ThreadsFailingTogetherEachReadTheirOwnText) {
    constexpr int kThreads = 8, kRounds = 500;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &mismatches] {
            for (int round = 0; round < kRounds; ++round) {
                SetLastError(-1001 - t, "Worker", "Fail", "thread %d round %d", t, round);
                std::string text;
                std::int32_t code = 0;
                GetLastErrorText(text, &code);
                if (code != -1001 - t || text != "thread " + std::to_string(t) + " round " + std::to_string(round))
                    ++mismatches;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(LastError, CInterfaceStringConvention) {
    SetLastError(-1005, "Test", "C", "0123456789");
    uint64_t size = 0;
    CORVID2_RESULT code = 0;
    ASSERT_EQ(CORVID2_GetLastError(&code, nullptr, &size), 0);
    EXPECT_EQ(code, -1005);
    EXPECT_EQ(size, 11u);

    char exact[10];
    std::memset(exact, '#', sizeof exact);
    size = sizeof exact;  // room for the text but not its NUL: nothing is copied, still success
    EXPECT_EQ(CORVID2_GetLastError(nullptr, exact, &size), 0);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(exact[0], '#');

    char roomy[32];
    size = sizeof roomy;
    EXPECT_EQ(CORVID2_GetLastError(nullptr, roomy, &size), 0);
    EXPECT_EQ(size, 11u);
    EXPECT_STREQ(roomy, "0123456789");

    EXPECT_EQ(CORVID2_GetLastError(nullptr, roomy, nullptr), CORVID2_RESULT_INVALID_PARAMETER);
}
