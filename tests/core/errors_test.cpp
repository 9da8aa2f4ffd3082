// SPDX-License-Identifier: BSD-3-Clause
// Result codes, their texts and exception classes, and the per-thread last error.
#include <corvid2_genicam.h>
#include <corvid2_genicam_c.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/last_error.h"
#include "core/result_codes.h"
#include "gentl/gentl_errors.h"

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
    EXPECT_STREQ(ErrorCodeDescription(Result::Success, false), "success");
    EXPECT_EQ(ErrorCodeDescription(Result::Success, true), nullptr);
    EXPECT_STREQ(ErrorCodeDescription(Result::Timeout, false), "timeout");
    // GenTL values the library never returns, and values of no meaning at all.
    EXPECT_STREQ(ErrorCodeDescription(fromCode(GenTL::GC_ERR_INVALID_ID), false), "undefined error code");
    EXPECT_STREQ(ErrorCodeDescription(fromCode(GenTL::GC_ERR_IO), false), "undefined error code");
    EXPECT_STREQ(ErrorCodeDescription(fromCode(42), false), "undefined error code");
    EXPECT_STREQ(ErrorCodeDescription(Result::LowLevelError, true), "low level error from GenTL producer");

    // Every result that has a text of its own finds itself again from that text.
    for (Result result : {Result::NotInitialized, Result::NotImplemented, Result::ResourceInUse, Result::AccessDenied,
                          Result::InvalidHandle, Result::NoData, Result::InvalidParameter, Result::Abort,
                          Result::InvalidBuffer, Result::NotAvailable, Result::ObjectInvalid, Result::LowLevelError})
        EXPECT_EQ(ErrorCodeFromText(ErrorCodeDescription(result, false)), result);
    EXPECT_EQ(ErrorCodeFromText("'ExposureTime' - value 7 is an invalid parameter here"), Result::InvalidParameter);
    EXPECT_EQ(ErrorCodeFromText("timeout"), Result::Error);
    EXPECT_EQ(ErrorCodeFromText("not available and access denied"), Result::AccessDenied);
    EXPECT_EQ(ErrorCodeFromText(""), Result::Error);
    EXPECT_EQ(ErrorCodeFromText(nullptr), Result::Error);
}

TEST(ResultCodes, NumbersAgreeWithTheCInterfaceAndGenTL) {
    // The numbers are the ones C applications and producers see; they must never move.
    EXPECT_EQ(toCode(Result::InvalidParameter), CORVID2_RESULT_INVALID_PARAMETER);
    EXPECT_EQ(toCode(Result::InvalidParameter), GenTL::GC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(toCode(Result::NotAvailable), GenTL::GC_ERR_NOT_AVAILABLE);
    EXPECT_EQ(fromCode(CORVID2_RESULT_OBJECT_INVALID), Result::ObjectInvalid);
    std::ostringstream printed;
    printed << Result::LowLevelError << ", " << Result::Success << ", " << fromCode(7);
    EXPECT_EQ(printed.str(),
              "LowLevelError (" + std::to_string(CORVID2_RESULT_LOWLEVEL_ERROR) + "), Success (0), Result (7)");
}

TEST(ResultCodes, GenTLErrorNames) {
    using namespace GenTL;
    EXPECT_EQ(GenTLErrorName(GC_ERR_ERROR), "GC_ERR_ERROR");
    EXPECT_EQ(GenTLErrorName(GC_ERR_INVALID_ID), "GC_ERR_INVALID_ID");
    EXPECT_EQ(GenTLErrorName(GC_ERR_INVALID_ADDRESS), "GC_ERR_INVALID_ADDRESS");
    // Values after the first fifteen have no name of their own here; custom ones carry their number.
    EXPECT_EQ(GenTLErrorName(GC_ERR_BUFFER_TOO_SMALL), "");
    EXPECT_EQ(GenTLErrorName(GC_ERR_SUCCESS), "");
    EXPECT_EQ(GenTLErrorName(5), "");
    EXPECT_EQ(GenTLErrorName(GC_ERR_CUSTOM_ID + 1), "");
    EXPECT_EQ(GenTLErrorName(GC_ERR_CUSTOM_ID), "GC_ERR_CUSTOM_ID -10000");
    EXPECT_EQ(GenTLErrorName(GC_ERR_CUSTOM_ID - 5), "GC_ERR_CUSTOM_ID -10005");
}

TEST(Exceptions, EachCodeThrowsItsClassCatchableFourWays) {
    struct Case {
        Result result;
        const char* type;
    };
    const Case cases[] = {
        {Result::Error, "ErrorException"},
        {Result::NotInitialized, "NotInitializedException"},
        {Result::NotImplemented, "NotImplementedException"},
        {Result::ResourceInUse, "ResourceInUseException"},
        {Result::AccessDenied, "AccessDeniedException"},
        {Result::InvalidHandle, "InvalidHandleException"},
        {Result::NoData, "NoDataException"},
        {Result::InvalidParameter, "InvalidParameterException"},
        {Result::Timeout, "ErrorException"},
        {Result::Abort, "AbortException"},
        {Result::InvalidBuffer, "InvalidBufferException"},
        {Result::NotAvailable, "NotAvailableException"},
        {Result::ObjectInvalid, "ObjectInvalidException"},
        {Result::LowLevelError, "LowLevelException"},
        {fromCode(-1234), "ErrorException"},
    };
    for (const Case& c : cases) {
        SetLastError(c.result, "Test", "Method", "failure %d", toCode(c.result));
        const std::string expected = "failure " + std::to_string(toCode(c.result));
        try {
            ThrowForCode(c.result, __FILE__, __LINE__, "CORVID2::Device::GetID");
            ADD_FAILURE() << "no exception for " << c.result;
        } catch (const X::IException& e) {
            EXPECT_EQ(e.GetType(), c.type) << c.result;
            EXPECT_EQ(e.GetFunctionName(), "CORVID2::Device::GetID");
            EXPECT_EQ(e.GetErrorDescription(), expected.c_str());
            EXPECT_EQ(e.GetErrorDescription(), lastErrorThroughC().c_str());
            EXPECT_NE(dynamic_cast<const Corvid_BaseException*>(&e), nullptr);
        }
    }
    EXPECT_NO_THROW(ThrowForCode(Result::Success, __FILE__, __LINE__, "CORVID2::Device::GetID"));

    SetLastError(Result::InvalidParameter, "Node", "SetInt", "bad value");
    try {
        ThrowForCode(Result::InvalidParameter, __FILE__, __LINE__, "CORVID2::Node::SetInt");
    } catch (const Corvid_InvalidParameterException& e) {
        EXPECT_EQ(e.GetType(), "InvalidParameterException");
    }
    try {
        ThrowForCode(Result::InvalidParameter, __FILE__, __LINE__, "CORVID2::Node::SetInt");
    } catch (const X::InvalidParameterException& e) {
        EXPECT_EQ(e.GetErrorDescription(), "bad value");
    }
    try {
        ThrowForCode(Result::InvalidParameter, __FILE__, __LINE__, "CORVID2::Node::SetInt");
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
        Result code = Result::Abort;
        GetLastErrorText(text, &code);
        EXPECT_EQ(code, Result::Success);
        EXPECT_EQ(text, "");
    });
    fresh.join();

    const std::string huge(5000, 'x');
    EXPECT_EQ(SetLastError(Result::Error, "Test", "Long", "%s", huge.c_str()), Result::Error);
    std::string text;
    GetLastErrorText(text);
    EXPECT_EQ(text.size(), kMaxLastErrorLength);

    SetLastError(Result::InvalidParameter, "Test", "Null", nullptr);
    Result code = Result::Success;
    GetLastErrorText(text, &code);
    EXPECT_EQ(code, Result::InvalidParameter);
    EXPECT_EQ(text, "");

    SetLastErrorText(Result::InvalidBuffer, "as it stands %d");
    GetLastErrorText(text, &code);
    EXPECT_EQ(code, Result::InvalidBuffer);
    EXPECT_EQ(text, "as it stands %d");
}

TEST(LastError, ThreadsFailingTogetherEachReadTheirOwnText) {
    constexpr int kThreads = 8, kRounds = 500;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &mismatches] {
            // Each thread records a result of its own.
            const Result own = fromCode(toCode(Result::Error) - t);
            for (int round = 0; round < kRounds; ++round) {
                SetLastError(own, "Worker", "Fail", "thread %d round %d", t, round);
                std::string text;
                Result code = Result::Success;
                GetLastErrorText(text, &code);
                if (code != own || text != "thread " + std::to_string(t) + " round " + std::to_string(round))
                    ++mismatches;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(LastError, CInterfaceStringConvention) {
    SetLastError(Result::AccessDenied, "Test", "C", "0123456789");
    uint64_t size = 0;
    CORVID2_RESULT code = CORVID2_RESULT_SUCCESS;
    ASSERT_EQ(CORVID2_GetLastError(&code, nullptr, &size), CORVID2_RESULT_SUCCESS);
    EXPECT_EQ(code, CORVID2_RESULT_ACCESS_DENIED);
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
