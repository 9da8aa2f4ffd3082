// SPDX-License-Identifier: BSD-3-Clause
// The last error, public exceptions and CGenAPIException turned into text for the tests.
#include "support/errors.h"

#include <gtest/gtest.h>

#include "core/last_error.h"

namespace corvid2::test {

std::string lastErrorText(Result* code) {
    std::string text;
    GetLastErrorText(text, code);
    return text;
}

std::string exceptionText(const std::function<void()>& call) {
    try {
        call();
    } catch (const CORVID2::Exceptions::IException& e) {
        return std::string(e.GetType().get()) + ": " + e.GetErrorDescription().get();
    }
    return "no exception";
}

std::optional<CGenAPIException> genAPIErrorOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const CGenAPIException& e) {
        return e;
    }
    return std::nullopt;
}

std::string genAPIClassOf(const std::function<void()>& operation) {
    const auto error = genAPIErrorOf(operation);
    return error ? error->className() : "(none)";
}

std::string genAPIErrorText(const std::function<void()>& operation) {
    const auto error = genAPIErrorOf(operation);
    return error ? error->className() + ": " + error->description() : "no exception";
}

void expectGenAPIError(const std::function<void()>& operation, const std::string& message,
                       const std::string& className) {
    const auto error = genAPIErrorOf(operation);
    if (!error) {
        ADD_FAILURE() << "no exception; expected '" << message << "'";
        return;
    }
    EXPECT_EQ(error->description(), message);
    EXPECT_STREQ(error->what(), message.c_str());
    EXPECT_EQ(error->className(), className);
}

}  // namespace corvid2::test
